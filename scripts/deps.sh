#!/usr/bin/env bash
# Installs, as root on Debian 12, what a build needs, when it is missing.
#   deps.sh host       this machine's build and its tests
#   deps.sh all        both builds and every test (Wine, Xvfb, the file tools,
#                      the formatter and the linter)
#   deps.sh fuzz       the fuzz target (clang and its libFuzzer runtime)
#   deps.sh bench      the benchmark (dmidecode, hyperfine)
#   deps.sh shots      the screenshots (a Traditional Chinese font)
set -eu
host=(cmake make g++ libgtest-dev googletest jq)
lint=(clang-format clang-tidy python3)
windows=(g++-mingw-w64-i686-win32 binutils-mingw-w64-i686 mingw-w64-i686-dev wine wine32:i386 wine64 xvfb xauth
         icoutils libimage-exiftool-perl libjpeg-turbo-progs imagemagick pev osslsigncode openssl checksec zip python3)
fuzz=(clang libclang-rt-14-dev)
bench=(dmidecode hyperfine)
shots=(fonts-arphic-uming fonts-wine)

wanted=()
for what in "$@"; do
  case $what in
    host) wanted+=("${host[@]}") ;;
    all) wanted+=("${host[@]}" "${windows[@]}" "${lint[@]}") ;;
    fuzz) wanted+=("${host[@]}" "${fuzz[@]}") ;;
    bench) wanted+=("${host[@]}" "${bench[@]}") ;;
    shots) wanted+=("${shots[@]}") ;;
    *) echo "deps.sh: unknown set '$what' (host, all, fuzz, bench, shots)" >&2; exit 64 ;;
  esac
done

missing=()
for package in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2> /dev/null | grep -q 'install ok installed' || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" != 0 ]; then
  echo "deps.sh: missing ${missing[*]}; run as root to install them" >&2
  exit 1
fi
for package in "${missing[@]}"; do
  if [[ $package == *:i386 ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
done
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" > /dev/null
