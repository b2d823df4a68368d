#!/usr/bin/env bash
# tools/sign.sh IN OUT: signs a program with the vendor's code-signing certificate (Authenticode,
# SHA-256) and checks the signature. The certificate comes from the environment:
#   SIGN_PKCS12=file.p12                      or   SIGN_CERT=cert.pem SIGN_KEY=key.pem
#   SIGN_PASS=...       the password of the key or of the PKCS#12 file, if it has one
#   SIGN_TIMESTAMP=URL  an RFC 3161 time-stamp server: the signature then outlives the certificate
#   SIGN_CAFILE=file    the chain to check against (default: the system's trusted roots)
# Exit 1 without a certificate in the environment, 2 when signing or checking fails.
set -euo pipefail
in=$1 out=$2
args=(sign -h sha256 -n "Uninstaller")
if [ -n "${SIGN_PKCS12:-}" ]; then
    args+=(-pkcs12 "$SIGN_PKCS12")
elif [ -n "${SIGN_CERT:-}" ] && [ -n "${SIGN_KEY:-}" ]; then
    args+=(-certs "$SIGN_CERT" -key "$SIGN_KEY")
else
    exit 1
fi
[ -n "${SIGN_PASS:-}" ] && args+=(-pass "$SIGN_PASS")
[ -n "${SIGN_TIMESTAMP:-}" ] && args+=(-ts "$SIGN_TIMESTAMP")
rm -f "$out"
if ! osslsigncode "${args[@]}" -in "$in" -out "$out" >"$out.log" 2>&1; then
    cat "$out.log" >&2
    rm -f "$out" "$out.log"
    echo "sign: signing $in failed" >&2
    exit 2
fi
verify=(verify -in "$out")
[ -n "${SIGN_CAFILE:-}" ] && verify+=(-CAfile "$SIGN_CAFILE")
# A self-signed test certificate is its own root; a vendor's chain is checked against the system's.
if ! osslsigncode "${verify[@]}" >"$out.log" 2>&1; then
    cat "$out.log" >&2
    rm -f "$out" "$out.log"
    echo "sign: the signature of $out does not verify" >&2
    exit 2
fi
rm -f "$out.log"
