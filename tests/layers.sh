#!/usr/bin/env bash
# The folders keep their order: the fleet mode (fleet/) may use the probe and
# the plain routine (gate/), never the other way round. A file under gate/
# fails here when it includes a header of fleet/: by a path into it (quoted
# or in angle brackets, "#  include" as the preprocessor reads it too), by a
# name that only fleet/ has, or through a header outside gate/ (check/, say)
# that does. A library of gate/ that links one of fleet/, or a source of one
# folder built into the other's library, fails too.
#   layers.sh SOURCE_DIR
set -u
cd "$1" || exit 1
source tests/e2e/common.sh
fleet_names=$(find fleet -name '*.h' -printf '%f\n' | sort -u)
gate_names=$(find gate -name '*.h' -printf '%f\n' | sort -u)
only_fleet=$(comm -23 <(echo "$fleet_names") <(echo "$gate_names"))
check "fleet/ has headers to look for" "$([ -n "$only_fleet" ] && echo yes)" yes

# The include folders gate/'s libraries compile with.
gate_dirs=(gate gate/windows gate/linux)
# The header `name` included by `file`, as the compiler finds it: beside the
# file first, then in the include folders; nothing when none has it.
resolve() {
  local file=$1 name=$2 dir
  for dir in "$(dirname "$file")" "${gate_dirs[@]}"; do
    if [ -f "$dir/$name" ]; then realpath --relative-to=. -m "$dir/$name"; return; fi
  done
}
declare -A seen
# Prints "FILE:LINE: NAME" for each include of `file` that reaches fleet/,
# following the headers it reaches outside gate/ and fleet/ (`via`: the
# includes that led there).
reaches_fleet() {
  local file=$1 via=${2:-} hit line name header
  while IFS= read -r hit; do
    line=${hit%%:*}
    name=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]([^">]+)[">].*/\1/' <<< "${hit#*:}")
    header=$(resolve "$file" "$name")
    if [[ $name == *fleet/* || $header == fleet/* ]] ||
       { [ -z "$header" ] && grep -qxF "$(basename "$name")" <<< "$only_fleet"; }; then
      echo "$via$file:$line: $name"
    elif [ -n "$header" ] && [[ $header != gate/* ]] && [ -z "${seen[$header]:-}" ]; then
      seen[$header]=1
      reaches_fleet "$header" "$via$file:$line: $name -> "
    fi
  done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]' "$file")
}
found=$(find gate -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.rc' \) | sort | while IFS= read -r file; do
  reaches_fleet "$file"
done)
check "no file under gate/ includes a header of fleet/" "$found" ""

# The build follows the folders: gate/'s libraries link none of fleet/'s,
# and hold sources of their own folder alone.
cmake_text=$(tr '\n' ' ' < CMakeLists.txt | sed -E 's/\)/)\n/g')
links=$(grep -oE 'target_link_libraries\(gate_[a-z_]+[^)]*\bfleet_[a-z_]+' <<< "$cmake_text")
check "no library of gate/ links one of fleet/" "$links" ""
mixed=$(grep -oE '(add_library\(gate_[a-z_]+|set\(GATE_[A-Z_]+)[^)]*' <<< "$cmake_text" | grep -oE '\bfleet/[^ )]+'
        grep -oE '(add_library\(fleet_[a-z_]+|set\(FLEET_[A-Z_]+)[^)]*' <<< "$cmake_text" | grep -oE '\bgate/[^ )]+')
check "each library of gate/ and fleet/ builds its own folder's sources" "$mixed" ""

# kestrel.exe looks functions up at run time through its one table alone.
lookups=$(grep -rnE 'ExportOf<|GetProcAddress\(' gate fleet forms |
          grep -vE '^gate/windows/(dll_search|late_bound)\.h:')
check "every lookup at run time through gate/windows/late_bound.h" "$lookups" ""
summary
