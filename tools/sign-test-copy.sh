#!/usr/bin/env bash
# tools/sign-test-copy.sh PROGRAM OUTDIR: signs a copy of PROGRAM as a vendor would (tools/sign.sh),
# with a code-signing certificate made here and now, into OUTDIR/uninstall.exe, and checks that the
# check is real: the signature verifies, and a copy with one byte changed does not.
set -euo pipefail
program=$1 out=$2
root=$(cd "$(dirname "$0")/.." && pwd)
rm -rf "$out"
mkdir -p "$out"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Sample Vendor Test Signing" \
    -addext "extendedKeyUsage=codeSigning" -keyout "$out/key.pem" -out "$out/cert.pem" 2>/dev/null
# The same certificate as a password-protected PKCS#12 file, the other form a vendor may hold.
openssl pkcs12 -export -inkey "$out/key.pem" -in "$out/cert.pem" -passout pass:test-only -out "$out/cert.p12"

SIGN_CERT="$out/cert.pem" SIGN_KEY="$out/key.pem" SIGN_CAFILE="$out/cert.pem" \
    bash "$root/tools/sign.sh" "$program" "$out/uninstall.exe"
SIGN_PKCS12="$out/cert.p12" SIGN_PASS=test-only SIGN_CAFILE="$out/cert.pem" \
    bash "$root/tools/sign.sh" "$program" "$out/uninstall-p12.exe"
# Against the system's roots alone the test certificate is not trusted: the check must say so.
if SIGN_CERT="$out/cert.pem" SIGN_KEY="$out/key.pem" bash "$root/tools/sign.sh" "$program" "$out/untrusted.exe" \
    2>/dev/null; then
    echo "sign-test: a self-signed certificate passed the check against the system's roots" >&2
    exit 1
fi
# One byte of the program's code changed after signing: the digest no longer matches.
cp "$out/uninstall.exe" "$out/changed.exe"
printf '\x90' | dd of="$out/changed.exe" bs=1 seek=4096 conv=notrunc status=none
if osslsigncode verify -CAfile "$out/cert.pem" -in "$out/changed.exe" >/dev/null 2>&1; then
    echo "sign-test: a changed program still verified" >&2
    exit 1
fi
# Without a certificate nothing is signed.
if env -u SIGN_CERT -u SIGN_KEY -u SIGN_PKCS12 bash "$root/tools/sign.sh" "$program" "$out/none.exe" 2>/dev/null ||
    [ -e "$out/none.exe" ]; then
    echo "sign-test: signing without a certificate did not refuse" >&2
    exit 1
fi
rm -f "$out/changed.exe" "$out/untrusted.exe" "$out/uninstall-p12.exe"
cmp -s "$program" "$out/uninstall.exe" && { echo "sign-test: the signed copy is the program unchanged" >&2; exit 1; }
echo "sign-test: signed and verified $out/uninstall.exe"
