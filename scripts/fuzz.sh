#!/usr/bin/env bash
# Fuzzes the SMBIOS reader with libFuzzer for SECONDS (default 600), starting
# from crafted tables, then the command line and the log line for a quarter
# of that. Installs clang when missing.
#   fuzz.sh [SECONDS]
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-600}
bash scripts/deps.sh fuzz
cmake -S . -B build/fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTREL_FUZZ=ON > /dev/null
cmake --build build/fuzz -j "$(nproc)" --target smbios_fuzz command_line_fuzz
cmake -S . -B build/host-tools -DKESTREL_TESTS=ON > /dev/null
cmake --build build/host-tools -j "$(nproc)" --target mkdmi
corpus=build/fuzz/corpus
mkdir -p "$corpus"
seed=$(mktemp -d); trap 'rm -rf "$seed"' EXIT
# Each input: a byte giving the entry point's length, the entry point, the table.
for entry in smbios3 smbios2; do
  for versions in "34B" "12B 34A" "-" "" "34A -" "^34B"; do
    # shellcheck disable=SC2086
    build/host-tools/tests/mkdmi "$seed" --entry $entry $versions
    { printf "\\$(printf %03o "$(stat -c %s "$seed/smbios_entry_point")")"; cat "$seed/smbios_entry_point" "$seed/DMI"; } \
      > "$corpus/seed-$entry-$(echo "$versions" | tr ' ^' _e)"
  done
done
build/fuzz/tests/fuzz/smbios_fuzz -max_total_time="$seconds" -print_final_stats=1 "$corpus"
lines=build/fuzz/command-line-corpus
mkdir -p "$lines"
# Seeds: command lines in UTF-16LE.
for line in 'k.exe /quiet /wait "/log:C:\\a b\\k.log" -- /s /f "x y.bin"' 'k /? -' 'k \\\"a""" b' '"k" --'; do
  printf '%s' "$line" | iconv -t UTF-16LE > "$lines/seed-$(printf '%s' "$line" | md5sum | cut -c1-8)"
done
build/fuzz/tests/fuzz/command_line_fuzz -max_total_time="$((seconds / 4))" -print_final_stats=1 "$lines"
