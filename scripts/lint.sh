#!/usr/bin/env bash
# The style and lint checks of the test command, on both builds' sources
# (configure both presets first):
#  - clang-format --dry-run -Werror on every C++ file in the tree;
#  - clang-tidy with .clang-tidy on the program's sources: the Linux ones
#    through the host build's compile database, the Windows ones through the
#    Windows build's, parsed for the mingw target with its own headers; with
#    clang's -Wcomma, so that no result is made through the comma operator.
# Prints each file that is off and fails; says "lint: clean" otherwise.
#   lint.sh [SOURCE_DIR]
set -u
cd "${1:-$(dirname "$0")/..}"
status=0
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT

mapfile -t cxx < <(find . -path ./build -prune -o -type f \( -name '*.cpp' -o -name '*.h' \) -print | sort)
for file in "${cxx[@]}"; do
  clang-format --dry-run -Werror "$file" > /dev/null 2>&1 || { echo "lint: $file is not formatted (clang-format -i $file)"; status=1; }
done

# One compile command a source (the product's, not the sanitized copy's),
# without GCC's own optimisation switches, which clang does not know.
one_command_each() {  # COMPILE_COMMANDS OUT_DIR
  mkdir -p "$2"
  awk 'BEGIN { RS = "\n},?\n"; print "[" }
       /"file":/ && !/fsanitize/ { match($0, /"file": "[^"]*"/); f = substr($0, RSTART, RLENGTH)
                                   if (!(f in seen)) { seen[f] = 1; sub(/^\[?\n?/, ""); gsub(/ -fno-ipa-[a-z-]+| -ffat-lto-objects/, "")
                                                       printf "%s%s\n}", sep, $0; sep = ",\n" } }
       END { print "\n]" }' "$1" > "$2/compile_commands.json"
}
one_command_each build/host/compile_commands.json "$work/host"
one_command_each build/windows/compile_commands.json "$work/windows"

mingw=$(dirname "$(i686-w64-mingw32-g++-win32 -print-libgcc-file-name)")/include/c++
windows_args=(--extra-arg=--target=i686-w64-mingw32 --extra-arg=-nostdinc++)
for dir in "$mingw" "$mingw/i686-w64-mingw32" "$mingw/backward" /usr/i686-w64-mingw32/include; do
  windows_args+=("--extra-arg=-isystem$dir")
done
tidy() {  # DATABASE_DIR [ARGS...] -- FILES...
  local db=$1; shift
  local args=(); while [ "$1" != -- ]; do args+=("$1"); shift; done; shift
  printf '%s\n' "$@" | xargs -P "$(nproc)" -n 2 clang-tidy --quiet -p "$db" --extra-arg=-Wcomma "${args[@]}" 2> /dev/null
}
{
  tidy "$work/host" -- gate/*.cpp gate/linux/*.cpp fleet/*.cpp fleet/linux/*.cpp forms/*.cpp check/*.cpp
  tidy "$work/windows" "${windows_args[@]}" -- gate/windows/*.cpp fleet/windows/*.cpp forms/windows/*.cpp check/windows/*.cpp
} > "$work/tidy.log"
if grep -qE '(warning|error): ' "$work/tidy.log"; then
  grep -E '(warning|error): ' "$work/tidy.log" | sed 's/^/lint: /'; status=1
fi
[ $status = 0 ] && echo "lint: clean (${#cxx[@]} files formatted; clang-tidy on both builds)"
exit $status
