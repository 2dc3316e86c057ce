#!/usr/bin/env bash
# Builds both presets and runs every test. Installs what is missing first.
# Once both builds are done, the linter and both test presets run side by
# side: most tests wait (on boxes, time limits and process ends) more than
# they compute, and the linter computes without waiting. Each one's output
# is shown whole once it is done, in this order.
set -eu
cd "$(dirname "$0")/.."
bash scripts/deps.sh all
jobs=$(nproc)
cmake --preset host
cmake --preset windows
# The host preset's own build is the product alone; the tests are built too.
cmake --build --preset host --target all -j "$jobs"
cmake --build --preset windows -j "$jobs"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
# The formatter on every file, the linter on the sources changed since the
# upstream branch (KESTREL_LINT=all: on every one, as CI does).
bash scripts/lint.sh > "$out/lint" 2>&1 &
lint=$!
ctest --preset host -j "$jobs" > "$out/host" 2>&1 &
host=$!
# The Wine tests wait the most: four cases a core.
ctest --preset windows -j $((jobs * 4)) > "$out/windows" 2>&1 &
windows=$!
status=0
for part in lint:$lint host:$host windows:$windows; do
  wait "${part#*:}" || status=1
  cat "$out/${part%%:*}"
done
exit $status
