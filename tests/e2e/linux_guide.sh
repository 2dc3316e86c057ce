#!/usr/bin/env bash
# The deployers' guide against the real kestrel: every command line in it
# names the versions its detection rule names, and the rule counts a machine
# as installed exactly where kestrel, given those versions, would flash
# nothing (11, 15), and as not installed where it would flash (10). No
# PowerShell here: the rule's condition is read from the guide and each of
# its operators stands for its bash equivalent; one it does not know fails.
#   linux_guide.sh KESTREL MKDMI CHROOTEXEC
guide=$(dirname "$0")/../../docs/deploying.md
source "$(dirname "$0")/linux_run.sh" "$@"

# The detection rule: its target, its list and its condition.
rule=$(sed -n '/^    # Installed: the BIOS reports/,/^    }$/p' "$guide")
target=$(sed -n "s/^ *\$target = '\([^']*\)'.*/\1/p" <<< "$rule")
from=$(sed -n "s/^ *\$from = @(\(.*\)).*/\1/p" <<< "$rule" | tr -d "' ")
condition=$(sed -n "s/^ *if (\(.*\)) { 'installed' }$/\1/p" <<< "$rule")
check "the rule names a target and a list" "$([ -n "$target" ] && [ -n "$from" ] && echo yes)" yes
listed() { [[ ",$from," == *",$1,"* ]]; }
condition=$(sed -e 's/\$version -ceq \$target/[[ "$version" == "$target" ]]/g' \
                -e 's/(\$from -ccontains \$version)/listed "$version"/g' \
                -e 's/-or /|| /g; s/-and /\&\& /g; s/-not /! /g' <<< "$condition")
check "the rule's condition is read" \
  "$(sed -e 's/\[\[ "$version" == "$target" \]\]//g; s/listed "$version"//g; s/||//g; s/&&//g; s/!//g' \
     <<< "$condition" | tr -d ' ')" ""
installed() { local version=$1; eval "$condition"; }

# Every command line of the guide that names a target names the rule's
# target and list (a wrapped command goes on on the next line).
named=$(grep -A1 -E 'kestrel\.exe|\$rollout' "$guide" | grep -oE "/(target|from):[^ '\"\`]+" | sort -u)
check "the command lines' versions" "$named" "/from:$from
/target:$target"

# The requirement script's board prefix is the one kestrel accepts.
prefix=$(sed -n "s/.*Substring(0, 2) -ceq '\([^']*\)'.*/\1/p" "$guide")
args=(--check --quiet)
run_case "the requirement's board ($prefix) is accepted" beside 10 "" "${prefix}B"

# The rule against kestrel, on the target, each version listed and a later one.
rollout=(--check --quiet "--target=$target" "--from=$from")
for version in "$target" ${from//,/ } "$target-later"; do
  want=10
  installed "$version" && want=$([ "$version" = "$target" ] && echo 11 || echo 15)
  mkdmi_args=(--bios "$version") args=("${rollout[@]}")
  run_case "BIOS $version: $([ $want = 10 ] && echo 'not detected, flashed' || echo "installed, $want")" \
    beside "$want" "" "${prefix}B"
done
# A BIOS not read: the rule does not detect it, and kestrel refuses it.
args=("${rollout[@]}")
run_case "no BIOS: not detected, 15" beside 15 "" "${prefix}B"

summary
