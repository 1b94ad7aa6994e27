#!/usr/bin/env bash
# Writes tests/data/password_vectors.txt: stored password forms computed with the openssl
# command line, independently of the library, for the Windows tests to reproduce.
#
# Configuration (what CryptoAPI's default PROV_RSA_FULL provider does for this library's
# CryptDeriveKey(CALG_RC2, MD5 hash, CRYPT_EXPORTABLE) with no key parameter set):
#   key     = MD5 of the 22 pass-phrase bytes 82 6F 82 70 ... 82 79 (no terminator),
#             used whole as a 128-bit RC2 key, effective key length 128 bits, no salt;
#   cipher  = RC2 (RFC 2268) in CBC mode, all-zero IV, PKCS #5 padding;
#   text    = standard base64 of the ciphertext, "=" pads, no line breaks.
# The library's Windows tests check that the derived key has exactly this length, effective
# length and salt. A provider with other defaults (the old Base provider: 40-bit keys with
# 11 zero salt bytes) writes other stored forms; they would not match these vectors.
#
# Each line: the password as hex ("-" for the empty one), a space, its stored form. Lengths
# 0..95 bytes can be stored; the lines of 96 bytes and more are for the refusal tests (their
# stored forms are too long for the password field). Password bytes are spread over 1..255.
#
# Needs bash, openssl 3 with its legacy provider (RC2), od and coreutils' base64.
set -euo pipefail
cd "$(dirname "$0")/.."
out=tests/data/password_vectors.txt

bytes() { printf '%b' "$(printf '%s' "$1" | sed 's/../\\x&/g')"; }
hex() { od -An -v -tx1 | tr -d ' \n'; }

passphrase=826f8270827182728273827482758276827782788279
key=$(bytes "$passphrase" | openssl dgst -md5 -r | cut -c1-32)
rc2() { openssl enc "$@" -provider legacy -provider default; }

# This openssl's RC2 is RFC 2268's: its 128-bit-key vector (effective length 128).
kat=$(bytes 0000000000000000 | rc2 -rc2-ecb -nopad -K 88bca90e90875a7f0f79c384627bafb2 | hex)
if [ "$kat" != 2269552ab0f85ca6 ]; then
    echo "openssl RC2 does not reproduce RFC 2268's vector (got $kat)" >&2
    exit 1
fi

{
    echo "# Stored password forms: hex of the password (- when empty), a space, the stored form."
    echo "# Written by tools/password-vectors.sh with openssl: RC2-CBC, 128-bit key = MD5 of the"
    echo "# pass phrase, effective key length 128, zero IV, PKCS #5 padding, then base64."
    for n in $(seq 0 95) 96 100 139 140 200; do
        plain=
        for ((i = 0; i < n; i++)); do
            plain+=$(printf '%02x' $(((n * 37 + i * 101) % 255 + 1)))
        done
        stored=$(bytes "$plain" | rc2 -e -rc2-cbc -K "$key" -iv 0000000000000000 | base64 -w0)
        echo "${plain:--} $stored"
    done
} >"$out.tmp"
mv "$out.tmp" "$out"
echo "wrote $out ($(grep -vc '^#' "$out") vectors)"
