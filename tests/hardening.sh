#!/usr/bin/env bash
# Checks the Linux kestrel as a release reviewer would: Debian's checksec on
# the product (full RELRO, no-execute stack, position independent), and, as
# checksec cannot see them in a stripped static binary, the compile flags of
# every source that goes into it (stack protector, fortified calls with
# optimisation, CET) from the build's own compile database; then what those
# flags leave in the code (CET's landing pads).
#   hardening.sh KESTREL BUILD_DIR
set -u
exe=$1 build=$2
source "$(dirname "$0")/e2e/common.sh"
command -v checksec > /dev/null || { echo "SKIP: checksec is missing"; exit 77; }

report=$(checksec --file="$exe" --output=csv)
IFS=, read -r relro _ nx pie _ <<< "$report"
check "checksec: RELRO" "$relro" "Full RELRO"
check "checksec: NX" "$nx" "NX enabled"
check "checksec: PIE" "$pie" "PIE enabled"
check "static: no interpreter" "$(readelf -l "$exe" | grep -c 'Requesting program interpreter')" "0"
check "static PIE: a dynamic section for its own relocations" "$(readelf -d "$exe" | grep -cE '\(FLAGS_1\).*PIE')" "1"
check "bind now" "$(readelf -d "$exe" | grep -cE '\(FLAGS\).*BIND_NOW')" "1"

# The objects of the product: every source of the kestrel target and of the
# libraries it links (not the tests' sanitized copies).
database=$build/compile_commands.json
sources=$(grep -oE '"file": "[^"]*"' "$database" | cut -d'"' -f4 | grep -E '/(gate|fleet)/(linux/)?[a-z_A-Z]+\.cpp$' | sort -u)
check "product sources found" "$([ "$(wc -l <<< "$sources")" -ge 9 ] && echo yes)" "yes"
missing=""
for source in $sources; do
  # The product's command for that source (the one without the sanitizers).
  command=$(grep -F "\"file\": \"$source\"" -B3 "$database" | grep '"command"' | grep -v 'fsanitize' | head -1)
  [ -n "$command" ] || continue
  for flag in -fstack-protector-strong -D_FORTIFY_SOURCE=2 -fcf-protection -fPIE; do
    grep -q -- " $flag\b" <<< "$command" || missing+="$(basename "$source") lacks $flag"$'\n'
  done
  # Fortified calls need the optimiser.
  grep -qE -- ' -O[23s]\b' <<< "$command" || missing+="$(basename "$source") is not optimised"$'\n'

done
check "every product source is compiled hardened" "$missing" ""
check "CET landing pads in the code" "$([ "$(objdump -d "$exe" | grep -c endbr64)" -gt 100 ] && echo yes)" "yes"

summary
