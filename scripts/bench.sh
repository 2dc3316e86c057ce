#!/usr/bin/env bash
# Measures, in one run: kestrel against `dmidecode -s baseboard-version` on the
# same crafted table (each in a private mount namespace that shows the table
# where the kernel would), the SMBIOS reader on 1, 100 and 10,000 baseboard
# structures, and the size of kestrel.exe when it has been built. As root.
set -eu
cd "$(dirname "$0")/.."
bash scripts/deps.sh bench
cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build build/bench -j "$(nproc)" --target kestrel mkdmi reader_bench > /dev/null

work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
mkdir -p "$work/dmi"
build/bench/tests/mkdmi "$work/dmi" 12B
echo "== one run of each, the table holding one baseboard (version 12B)"
unshare -m bash -c '
  mount -t tmpfs none /sys/firmware && mkdir -p /sys/firmware/dmi/tables &&
  cp "$1"/* /sys/firmware/dmi/tables/ &&
  echo "kestrel says:   $("$2" 2>&1)" && echo "dmidecode says: $(dmidecode -s baseboard-version)" &&
  hyperfine -N --warmup 20 --runs 300 --style basic -i "$2" "dmidecode -s baseboard-version" 2>&1
' _ "$work/dmi" "$PWD/build/bench/kestrel" | grep -vE '^\s*$|Warning|ignore-failure|non-zero exit'

echo; echo "== the SMBIOS reader"
build/bench/tests/reader_bench

if [ -f build/windows/kestrel.exe ]; then
  echo; echo "== kestrel.exe: $(stat -c %s build/windows/kestrel.exe) bytes (budget 131072)"
fi
