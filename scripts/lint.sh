#!/usr/bin/env bash
# The style and lint checks of the test command, on both builds' sources
# (configure both presets first):
#  - clang-format --dry-run -Werror on every C++ file in the tree;
#  - clang-tidy with .clang-tidy on the program's sources: the Linux ones
#    through the host build's compile database, the Windows ones through the
#    Windows build's, parsed for the mingw target with its own headers; with
#    clang's -Wcomma, so that no result is made through the comma operator.
#    By default only the sources changed since the branch left its upstream
#    (committed or not), or every one where a header, the checks or the build
#    changed; with KESTREL_LINT=all (CI) every one.
# Prints each file that is off and fails; says "lint: clean" otherwise. With
# --sources it only prints the sources clang-tidy would read, one a line.
#   [KESTREL_LINT=all] lint.sh [--sources] [SOURCE_DIR]
set -u
list=no
[ "${1:-}" = --sources ] && { list=yes; shift; }
cd "${1:-$(dirname "$0")/..}"
status=0
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT

# The sources clang-tidy reads: those changed since the upstream branch (the
# tree as it stands, new files too), and every one where a change reaches
# more than its own file, or where there is no upstream to compare with.
# A fresh clone of the upstream has none changed. Those changed since the
# remote's default branch too: a branch pushed to its own upstream has
# nothing changed since that, though its commits were never linted.
changed_files() {
  local upstream base compared=no
  for upstream in '@{upstream}' origin/HEAD; do
    base=$(git rev-parse -q --verify "$upstream" 2> /dev/null) && base=$(git merge-base HEAD "$base" 2> /dev/null) ||
      continue
    git diff --name-only --relative "$base" -- || return 1
    compared=yes
  done
  [ $compared = yes ] && git ls-files --others --exclude-standard
}
lint_all=yes
if [ "${KESTREL_LINT:-}" != all ] && changed=$(changed_files) &&
   ! grep -qE '\.h$|^\.clang-tidy$|^scripts/lint\.sh$|CMakeLists\.txt$|\.cmake$|^CMakePresets\.json$' <<< "$changed"; then
  lint_all=no
fi
# FILES...: those of them clang-tidy reads.
to_lint() {
  local file
  for file; do
    if [ $lint_all = yes ] || grep -qxF "$file" <<< "$changed"; then printf '%s\n' "$file"; fi
  done
}
mapfile -t host_sources < <(to_lint gate/*.cpp gate/linux/*.cpp fleet/*.cpp fleet/linux/*.cpp forms/*.cpp check/*.cpp)
mapfile -t windows_sources < <(to_lint gate/windows/*.cpp fleet/windows/*.cpp forms/windows/*.cpp check/windows/*.cpp)
if [ $list = yes ]; then
  for file in "${host_sources[@]}" "${windows_sources[@]}"; do printf '%s\n' "$file"; done
  exit 0
fi

mapfile -t cxx < <(find . -path ./build -prune -o -type f \( -name '*.cpp' -o -name '*.h' \) -print | sort)
# One run over them all (one process a file took ten times as long); where
# it fails, one a file, to name each that is off.
if ! clang-format --dry-run -Werror "${cxx[@]}" > /dev/null 2>&1; then
  for file in "${cxx[@]}"; do
    clang-format --dry-run -Werror "$file" > /dev/null 2>&1 || { echo "lint: $file is not formatted (clang-format -i $file)"; status=1; }
  done
  [ $status != 0 ] || { echo "lint: clang-format could not be run"; status=1; }
fi

# One compile command a source (the product's, not the sanitized copy's),
# without GCC's own optimisation switches, which clang does not know.
one_command_each() {  # COMPILE_COMMANDS OUT_DIR
  mkdir -p "$2"
  awk 'BEGIN { RS = "\n},?\n"; print "[" }
       /"file":/ && !/fsanitize/ { match($0, /"file": "[^"]*"/); f = substr($0, RSTART, RLENGTH)
                                   if (!(f in seen)) { seen[f] = 1; sub(/^\[?\n?/, ""); gsub(/ -fno-ipa-[a-z-]+| -ffat-lto-objects/, "")
                                                       printf "%s%s\n}", sep, $0; sep = ",\n" } }
       END { print "\n]" }' "$1" > "$2/compile_commands.json"
  # A target built in unity sources names only those in the database: each
  # source a unity source includes gets its command, as if built alone.
  python3 - "$2/compile_commands.json" <<'PYTHON'
import json, os, re, sys
entries = json.load(open(sys.argv[1]))
known = {os.path.abspath(os.path.join(e["directory"], e["file"])) for e in entries}
for entry in list(entries):
    unity = os.path.join(entry["directory"], entry["file"])
    if not re.search(r"/Unity/unity_[^/]*\.cxx$", unity) or not os.path.isfile(unity):
        continue
    for source in re.findall(r'^#include "([^"]+)"', open(unity).read(), re.M):
        if os.path.abspath(source) not in known:
            known.add(os.path.abspath(source))
            entries.append(dict(entry, file=source, command=entry["command"].replace(" " + entry["file"], " " + source)))
json.dump(entries, open(sys.argv[1], "w"), indent=1)
PYTHON
}

one_command_each build/host/compile_commands.json "$work/host"
one_command_each build/windows/compile_commands.json "$work/windows"

mingw=$(dirname "$(i686-w64-mingw32-g++-win32 -print-libgcc-file-name)")/include/c++
windows_args=(--extra-arg=--target=i686-w64-mingw32 --extra-arg=-nostdinc++)
for dir in "$mingw" "$mingw/i686-w64-mingw32" "$mingw/backward" /usr/i686-w64-mingw32/include; do
  windows_args+=("--extra-arg=-isystem$dir")
done
# The sources that compile alike (one command but for the file) go to
# clang-tidy together, as one unit that includes each: the headers, Windows'
# above all, are parsed and walked once a unit rather than once a file,
# which was half of the time. The analyzer is told to look into the included
# files, as it does into a main file. A unit that does not compile as one (two
# files with a constant of one name) is linted file by file instead.
units() {  # DATABASE_DIR FILES...
  python3 - "$@" <<'PYTHON'
import collections, json, os, re, sys
db_dir, files = sys.argv[1], {os.path.abspath(f) for f in sys.argv[2:]}
groups = collections.defaultdict(list)
for entry in json.load(open(os.path.join(db_dir, "compile_commands.json"))):
    path = os.path.abspath(os.path.join(entry["directory"], entry["file"]))
    if path in files:
        files.discard(path)
        command = re.sub(r" -o \S+", "", entry["command"]).replace(" " + entry["file"], " ")
        groups[(entry["directory"], command)].append(path)
# Eight sources a unit at most, so that the processors share the work evenly.
units = []
for (directory, command), paths in sorted(groups.items()):
    paths.sort()
    for first in range(0, len(paths), 8):
        unit = os.path.join(db_dir, "unit%d.cpp" % len(units))
        with open(unit, "w") as out:
            out.writelines('#include "%s"  // NOLINT(bugprone-suspicious-include)\n' % p for p in paths[first:first + 8])
        units.append({"directory": directory, "file": unit, "command": command.rstrip() + " " + unit})
        print(unit)
# A source that no command compiles is linted on its own, and fails there.
for path in sorted(files):
    print(path)
json.dump(units, open(os.path.join(db_dir, "units.json"), "w"))
PYTHON
}
tidy() {  # DATABASE_DIR [ARGS...] -- FILES...
  local db=$1; shift
  local args=(); while [ "$1" != -- ]; do args+=("$1"); shift; done; shift
  mkdir -p "$db/units"
  units "$db" "$@" > "$db/list" && cp "$db/units.json" "$db/units/compile_commands.json" || return 1
  args+=(--quiet --extra-arg=-Wcomma "--config-file=$PWD/.clang-tidy" --extra-arg=-Xclang --extra-arg=-analyzer-opt-analyze-headers)
  # Each line of the list: a unit (its database in units/) or a source.
  sed "s|^$db/unit|$db/units $db/unit|; t; s|^|$db |" "$db/list" |
    xargs -P "$(nproc)" -n 2 bash -c '
      file=${@: -1} db=${@: -2:1}; set -- "${@:1:$#-2}"
      out=$(clang-tidy -p "$db" "$@" "$file" 2> /dev/null)
      if [ "${db##*/}" = units ] && grep -q "\[clang-diagnostic-error\]" <<< "$out"; then
        sed -n "s/^#include \"\(.*\)\" .*/\1/p" "$file" | while read -r source; do
          clang-tidy -p "${db%/units}" "$@" "$source" 2> /dev/null
        done
      else
        printf "%s\n" "$out"
      fi' _ "${args[@]}"
}
{
  { [ ${#host_sources[@]} = 0 ] || tidy "$work/host" -- "${host_sources[@]}"; } &&
    { [ ${#windows_sources[@]} = 0 ] || tidy "$work/windows" "${windows_args[@]}" -- "${windows_sources[@]}"; }
} > "$work/tidy.log" || { echo "lint: clang-tidy could not be run"; status=1; }
if grep -qE '(warning|error): ' "$work/tidy.log"; then
  grep -E '(warning|error): ' "$work/tidy.log" | sed 's/^/lint: /'; status=1
fi
linted="clang-tidy on both builds"
[ $lint_all = no ] &&
  linted="clang-tidy on the $((${#host_sources[@]} + ${#windows_sources[@]})) sources changed since the upstream branch; KESTREL_LINT=all for every one"
[ $status = 0 ] && echo "lint: clean (${#cxx[@]} files formatted; $linted)"
exit $status
