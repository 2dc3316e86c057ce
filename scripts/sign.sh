#!/usr/bin/env bash
# Signs kestrel.exe with Authenticode (Debian's osslsigncode): a SHA-256
# digest, "tarn" as the description, and whatever key options are passed on,
# so that a PEM key and certificate, a PKCS#12 file or a PKCS#11 token work
# alike. A time stamp is added only when a server is given (-ts URL).
#   sign.sh IN OUT [osslsigncode key options...]
# For example:
#   bash scripts/sign.sh build/windows/kestrel.exe dist/kestrel.exe -certs cert.pem -key key.pem
#   bash scripts/sign.sh build/windows/kestrel.exe dist/kestrel.exe -pkcs12 release.p12 -readpass pass.txt \
#        -ts http://timestamp.example
# The signature is then verified against the system's certificate
# authorities, or against the file that SIGN_CAFILE names, and taken off a
# copy again to show that it is the only difference: the unsigned bytes are
# the reproducible build's. Any failure leaves no OUT and exits non-zero.
set -eu
if [ $# -lt 2 ]; then
  echo "usage: sign.sh IN OUT [osslsigncode key options...]" >&2; exit 64
fi
in=$1 out=$2; shift 2
command -v osslsigncode > /dev/null || { echo "sign.sh: osslsigncode is missing (apt-get install osslsigncode)" >&2; exit 1; }
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
fail() { echo "sign.sh: FAILED: $*" >&2; exit 1; }

osslsigncode sign -h sha256 -n tarn "$@" -in "$in" -out "$work/signed.exe" > "$work/sign.log" 2>&1 ||
  { cat "$work/sign.log" >&2; fail "osslsigncode could not sign $in"; }
cafile=${SIGN_CAFILE:-/etc/ssl/certs/ca-certificates.crt}
osslsigncode verify -CAfile "$cafile" -in "$work/signed.exe" > "$work/verify.log" 2>&1 ||
  { cat "$work/verify.log" >&2; fail "the signature on $out does not verify"; }
osslsigncode remove-signature -in "$work/signed.exe" -out "$work/unsigned.exe" > /dev/null 2>&1 ||
  fail "the signature cannot be taken off again"
cmp -s "$in" "$work/unsigned.exe" || fail "the signed file differs from $in beyond its signature"

mkdir -p "$(dirname "$out")"
mv "$work/signed.exe" "$out"
echo "signed $out; unsigned SHA-256 $(sha256sum "$in" | cut -d' ' -f1)"
