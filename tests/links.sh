#!/usr/bin/env bash
# Every relative link in the README and in docs/ names a file or folder that
# is there.
#   links.sh SOURCE_DIR
set -u
cd "$1"
source tests/e2e/common.sh
for doc in README.md docs/*.md; do
  # The targets of [text](target) and ![alt](target), without an #anchor;
  # addresses with a scheme are not ours to check.
  missing=$(grep -oE '\]\([^)]+\)' "$doc" | sed -E 's/^\]\(//; s/\)$//; s/#.*//' | grep -vE '^[a-z]+:|^$' |
    while read -r target; do [ -e "$(dirname "$doc")/$target" ] || echo "$target"; done)
  check "links in $doc" "$missing" ""
done
summary
