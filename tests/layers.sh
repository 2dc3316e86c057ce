#!/usr/bin/env bash
# The folders keep their order: the fleet mode (fleet/) may use the probe and
# the plain routine (gate/), never the other way round. A file under gate/
# that includes a header of fleet/, by a path into it or by a name that only
# fleet/ has, fails here.
#   layers.sh SOURCE_DIR
set -u
cd "$1"
source tests/e2e/common.sh
fleet_names=$(find fleet -name '*.h' -printf '%f\n' | sort -u)
gate_names=$(find gate -name '*.h' -printf '%f\n' | sort -u)
only_fleet=$(comm -23 <(echo "$fleet_names") <(echo "$gate_names"))
check "fleet/ has headers to look for" "$([ -n "$only_fleet" ] && echo yes)" yes
found=$(find gate -type f \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z |
  xargs -0 grep -HnE '^#include "' | while IFS= read -r hit; do
    name=$(sed -E 's/.*#include "([^"]+)".*/\1/' <<< "$hit")
    if [[ $name == *fleet/* ]] || grep -qxF "$(basename "$name")" <<< "$only_fleet"; then echo "${hit%%:#*}: $name"; fi
  done)
check "no file under gate/ includes a header of fleet/" "$found" ""
summary
