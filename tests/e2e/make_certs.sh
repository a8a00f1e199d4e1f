#!/usr/bin/env bash
# Makes the test run's own certificates in $1: a test CA, a server
# certificate for localhost signed by it, an untrusted CA with its own
# localhost certificate, and two code-signing certificates of the test CA.
set -euo pipefail
out=$1
mkdir -p "$out"
cd "$out"

ca() {  # name subject
    openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=$2" \
        -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign \
        -keyout "$1.key" -out "$1.pem" 2>/dev/null
}

leaf() {  # name subject issuer extensions
    openssl req -newkey rsa:2048 -nodes -subj "/CN=$2" -keyout "$1.key" -out "$1.csr" 2>/dev/null
    printf '%s\n' "$4" > "$1.ext"
    openssl x509 -req -in "$1.csr" -CA "$3.pem" -CAkey "$3.key" -CAcreateserial -days 30 \
        -extfile "$1.ext" -out "$1.pem" 2>/dev/null
    rm -f "$1.csr" "$1.ext"
}

server_ext='basicConstraints=CA:FALSE
keyUsage=digitalSignature,keyEncipherment
extendedKeyUsage=serverAuth
subjectAltName=DNS:localhost,IP:127.0.0.1'
signing_ext='basicConstraints=CA:FALSE
keyUsage=digitalSignature
extendedKeyUsage=codeSigning'

ca ca "DA_Razi Test CA"
openssl x509 -in ca.pem -outform der -out ca.der
leaf server localhost ca "$server_ext"
ca other-ca "Untrusted Test CA"
leaf untrusted localhost other-ca "$server_ext"
leaf codesign "ZELK Test Publisher" ca "$signing_ext"
leaf other-codesign "Other Publisher" ca "$signing_ext"
