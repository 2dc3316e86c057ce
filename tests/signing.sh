#!/usr/bin/env bash
# Signs kestrel.exe with a throwaway certificate through scripts/sign.sh and
# checks that the signature verifies, that taking it off gives back the very
# bytes that were signed, and that the signed program still presents itself
# as before and takes the launch and wrong-model roads under Wine.
#   signing.sh SOURCE_DIR KESTREL_EXE XP_IMPORTS PREFIX BOXDRIVER STANDIN
set -u
source_dir=$1 exe=$(realpath "$2") xp_imports=$3 prefix=$4 boxdriver=$5 standin=$6
source "$(dirname "$0")/e2e/common.sh"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 2 \
  -subj "/CN=Tarn throwaway signing test" > /dev/null 2>&1 || { echo "FAIL: openssl could not make a certificate"; exit 1; }
mkdir "$work/signed"
step "sign.sh signs" env SIGN_CAFILE="$work/cert.pem" \
  bash "$source_dir/scripts/sign.sh" "$exe" "$work/signed/kestrel.exe" -certs "$work/cert.pem" -key "$work/key.pem"
signed=$work/signed/kestrel.exe
step "osslsigncode verify accepts it" osslsigncode verify -CAfile "$work/cert.pem" -in "$signed"
step "it carries a SHA-256 signature described as tarn" \
  bash -c 'v=$(osslsigncode verify -CAfile "$2" -in "$1") && grep -q "^Message digest algorithm *: SHA256" <<< "$v" &&
           grep -q "Text description: tarn$" <<< "$v"' _ "$signed" "$work/cert.pem"
step "another signature verifies only with its own authority" \
  bash -c '! osslsigncode verify -CAfile /dev/null -in "$1"' _ "$signed"
osslsigncode remove-signature -in "$signed" -out "$work/unsigned.exe" > /dev/null 2>&1
step "without its signature it is the same file" cmp "$exe" "$work/unsigned.exe"
step "the signed file presents itself as before" bash "$source_dir/tests/identity.sh" "$signed" "$xp_imports"
for road in accepted wrong_model; do
  step "the signed file takes the $road road" \
    bash "$source_dir/tests/e2e/gate_case.sh" "$prefix" "$signed" "$boxdriver" "$standin" "$road"
done
# A signature that no longer matches the bytes is refused.
cp "$signed" "$work/tampered.exe"
printf 'x' | dd of="$work/tampered.exe" bs=1 seek=1024 conv=notrunc 2> /dev/null
step "a changed byte breaks the signature" \
  bash -c '! osslsigncode verify -CAfile "$1" -in "$2"' _ "$work/cert.pem" "$work/tampered.exe"
summary
