#!/usr/bin/env bash
# Measures, in one run: kestrel as the README's run command builds it against
# `dmidecode -s baseboard-version` on the same crafted table (in a private
# mount namespace that shows the table where the kernel would), in pairs; the
# same program against a static PIE that does nothing (the floor of a process
# start); the SMBIOS reader on 1, 100 and 10,000 baseboard structures; the size of
# kestrel, and of kestrel.exe when it has been built. As root.
set -eu
cd "$(dirname "$0")/.."
bash scripts/deps.sh bench
cmake --preset host > /dev/null
cmake --build --preset host > /dev/null
cmake --build --preset host -j "$(nproc)" --target mkdmi reader_bench pairbench noop > /dev/null

work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
mkdir -p "$work/dmi"
build/host/tests/mkdmi "$work/dmi" 12B
echo "== kestrel against dmidecode, the table holding one baseboard (version 12B)"
unshare -m bash -c '
  mount -t tmpfs none /sys/firmware && mkdir -p /sys/firmware/dmi/tables &&
  cp "$1"/* /sys/firmware/dmi/tables/ &&
  echo "kestrel says:   $("$2" 2>&1)" && echo "dmidecode says: $(dmidecode -s baseboard-version)" &&
  "$3" 2000 "$2" -- "$(command -v dmidecode)" -s baseboard-version &&
  echo && echo "== kestrel against a static PIE that does nothing" &&
  "$3" 2000 "$2" -- "$4"
' _ "$work/dmi" "$PWD/build/host/kestrel" "$PWD/build/host/tests/pairbench" "$PWD/build/host/tests/noop"
echo "kestrel: $(stat -c %s build/host/kestrel) bytes"

echo; echo "== the SMBIOS reader"
build/host/tests/reader_bench

if [ -f build/windows/kestrel.exe ]; then
  echo; echo "== kestrel.exe: $(stat -c %s build/windows/kestrel.exe) bytes (budget 131072)"
fi
