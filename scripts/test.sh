#!/usr/bin/env bash
# Builds both presets and runs every test. Installs what is missing first.
set -eu
cd "$(dirname "$0")/.."
bash scripts/deps.sh all
jobs=$(nproc)
cmake --preset host
# The host preset's own build is the product alone; the tests are built too.
cmake --build --preset host --target all -j "$jobs"
cmake --preset windows
cmake --build --preset windows -j "$jobs"
status=0
# The formatter and the linter, on both builds' sources.
bash scripts/lint.sh || status=1
# The tests side by side: one more than the cores, as most of them wait (on
# boxes, time limits and process ends) more than they compute.
ctest --preset host -j $((jobs + 1)) || status=1
ctest --preset windows -j $((jobs + 1)) || status=1
exit $status
