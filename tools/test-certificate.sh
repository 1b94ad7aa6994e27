#!/usr/bin/env bash
# Makes a throwaway self-signed code-signing certificate for tests, valid for a day, in DIR:
# cert.pem (the certificate, the root to verify against), cert.pfx (it with its key) and
# password (the PFX's password, random). Never use it for a release.
# usage: test-certificate.sh DIR
set -euo pipefail
dir=${1:?usage: test-certificate.sh DIR}
mkdir -p "$dir"
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=uiext2 throwaway test signing" \
    -addext "extendedKeyUsage=codeSigning" -addext "keyUsage=critical,digitalSignature" \
    -keyout "$dir/key.pem" -out "$dir/cert.pem" 2>/dev/null
( umask 077; openssl rand -hex 12 > "$dir/password" )
openssl pkcs12 -export -inkey "$dir/key.pem" -in "$dir/cert.pem" -out "$dir/cert.pfx" \
    -passout "file:$dir/password"
rm -f "$dir/key.pem"
