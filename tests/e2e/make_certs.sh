#!/usr/bin/env bash
# Makes the certificates of one test run in OUTDIR:
#   ca.pem ca.key ca.der           the test CA the Wine prefix is told to trust
#   server.pem server.key          localhost / 127.0.0.1, signed by the test CA
#   other-ca.pem other-ca.key      a CA nobody trusts
#   untrusted.pem untrusted.key    localhost, signed by that untrusted CA
#   codesign.pem codesign.key      "ZELK Test Publisher", code signing, test CA
#   other-codesign.pem .key        "Other Publisher", code signing, test CA
# Quiet on success; on failure prints what openssl said and exits non-zero.
set -euo pipefail

if [ $# -ne 1 ]; then
    echo "usage: $0 OUTDIR" >&2
    exit 2
fi
out=$1
mkdir -p "$out"
cd "$out"

# openssl chatters on stderr even when it succeeds; keep that only for failures.
quietly() {
    local log
    log=$(mktemp)
    if ! "$@" >"$log" 2>&1; then
        echo "make_certs.sh: failed: $*" >&2
        cat "$log" >&2
        rm -f "$log"
        exit 1
    fi
    rm -f "$log"
}

serial() {
    echo "0x$(openssl rand -hex 12)"
}

self_signed_ca() {  # NAME SUBJECT_CN
    quietly openssl req -x509 -newkey rsa:2048 -sha256 -nodes -days 365 \
        -subj "/CN=$2" -set_serial "$(serial)" \
        -addext "basicConstraints=critical,CA:TRUE" \
        -addext "keyUsage=critical,keyCertSign,cRLSign" \
        -addext "subjectKeyIdentifier=hash" \
        -keyout "$1.key" -out "$1.pem"
}

signed_by() {  # NAME SUBJECT_CN ISSUER EXTENSIONS
    quietly openssl req -new -newkey rsa:2048 -sha256 -nodes -subj "/CN=$2" \
        -keyout "$1.key" -out "$1.csr"
    printf '%s\n' "$4" "subjectKeyIdentifier=hash" "authorityKeyIdentifier=keyid" >"$1.ext"
    quietly openssl x509 -req -sha256 -days 365 -in "$1.csr" -CA "$3.pem" -CAkey "$3.key" \
        -set_serial "$(serial)" -extfile "$1.ext" -out "$1.pem"
    rm -f "$1.csr" "$1.ext"
}

# Wine checks the host of a URL only against DNS names, so 127.0.0.1 is listed
# as one as well as an IP address.
server_extensions='basicConstraints=critical,CA:FALSE
keyUsage=critical,digitalSignature,keyEncipherment
extendedKeyUsage=serverAuth
subjectAltName=DNS:localhost,IP:127.0.0.1,DNS:127.0.0.1'

signing_extensions='basicConstraints=critical,CA:FALSE
keyUsage=critical,digitalSignature
extendedKeyUsage=codeSigning'

self_signed_ca ca "DA_Razi Test CA"
quietly openssl x509 -in ca.pem -outform DER -out ca.der
signed_by server localhost ca "$server_extensions"

self_signed_ca other-ca "Other CA"
signed_by untrusted localhost other-ca "$server_extensions"

signed_by codesign "ZELK Test Publisher" ca "$signing_extensions"
signed_by other-codesign "Other Publisher" ca "$signing_extensions"
