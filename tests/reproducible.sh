#!/usr/bin/env bash
# Builds kestrel a second time, from a copy of the source tree in another
# folder, and checks that it is the same file, byte for byte, as this build's;
# for the Windows build also the generated icons and logo that go into it,
# the release check with what it carries, and the release archive.
# Prints the file's SHA-256, which docs/releasing.md gives too.
#   reproducible.sh SOURCE_DIR PRESET BUILT_FILE
set -u
source_dir=$1 preset=$2 built=$3
source "$(dirname "$0")/e2e/common.sh"
copy=$work/another/folder/kestrel-src
mkdir -p "$copy"
tar -C "$source_dir" --exclude=./build --exclude=./.git -cf - . | tar -C "$copy" -xf -
if ! { cmake -S "$copy" --preset "$preset" -DKESTREL_TESTS=OFF &&
       cmake --build "$copy/build/$preset" --target kestrel $([ "$preset" = windows ] && echo kestrel-check bundle) \
             -j "$(nproc)"; } > "$work/build.log" 2>&1; then
  echo "FAIL: the second build failed"; tail -20 "$work/build.log"; exit 1
fi
again=$copy/build/$preset/$(basename "$built")
name=$(basename "$built")
status=0
if cmp "$built" "$again"; then
  echo "ok   $name is the same from $copy"
else
  echo "FAIL $name differs between $(dirname "$built") and $(dirname "$again")"; status=1
fi
if [ "$preset" = windows ]; then
  build_dir=$(dirname "$built")
  for generated in forms/logo.jpg resources/group.bin resources/icon1.bin resources/icon2.bin resources/icon3.bin \
                   kestrel-check.exe check/probe.dll check/standin.exe check/standin-admin.exe \
                   "$(cd "$build_dir" && ls kestrel-*-win32.zip)"; do
    if cmp -s "$build_dir/$generated" "$copy/build/$preset/$generated"; then
      echo "ok   $generated is the same"
    else
      echo "FAIL $generated differs"; status=1
    fi
  done
fi
sum=$(sha256sum "$built" | cut -d' ' -f1)
echo "SHA-256 of $name: $sum"
if [ "$preset" = windows ]; then
  echo "SHA-256 of kestrel-check.exe: $(sha256sum "$(dirname "$built")/kestrel-check.exe" | cut -d' ' -f1)"
  for archive in "$(dirname "$built")"/kestrel-*-win32.zip; do
    echo "SHA-256 of $(basename "$archive"): $(sha256sum "$archive" | cut -d' ' -f1) ($(stat -c %s "$archive") bytes)"
  done
fi
if [ "$preset" = windows ] && ! grep -q "$sum" "$source_dir/docs/releasing.md"; then
  echo "note: docs/releasing.md gives another SHA-256 for kestrel.exe; this build's is the one above"
fi
exit $status
