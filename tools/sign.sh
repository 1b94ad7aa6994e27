#!/usr/bin/env bash
# Signs a DLL in place with Authenticode (osslsigncode, SHA-256) and verifies the signature.
#   UIEXT2_SIGN_PFX       the signing certificate and its key, a PKCS #12 file (required)
#   UIEXT2_SIGN_PASSWORD  its password (required; may be empty only if the file has none)
#   UIEXT2_SIGN_TIMESTAMP_URL  an RFC 3161 time-stamping service (optional, recommended: a
#                              time-stamped signature stays valid after the certificate expires)
#   UIEXT2_SIGN_CAFILE    the roots to verify against (optional; default: the system's roots)
# usage: sign.sh DLL [DESCRIPTION]
set -euo pipefail
dll=${1:?usage: sign.sh DLL [DESCRIPTION]}
description=${2:-}

: "${UIEXT2_SIGN_PFX:?set UIEXT2_SIGN_PFX to the signing certificate (a .pfx file)}"
[ -n "${UIEXT2_SIGN_PASSWORD+set}" ] || { echo "set UIEXT2_SIGN_PASSWORD to the certificate's password" >&2; exit 2; }
[ -f "$UIEXT2_SIGN_PFX" ] || { echo "no such certificate file: $UIEXT2_SIGN_PFX" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The password goes through a private file, never the command line (which others can read).
( umask 077; printf '%s' "$UIEXT2_SIGN_PASSWORD" > "$work/password" )

# A DLL signed before (a rebuild that changed nothing) is signed afresh, not twice.
input=$dll
if osslsigncode extract-signature -in "$dll" -out "$work/old.sig" >/dev/null 2>&1; then
    osslsigncode remove-signature -in "$dll" -out "$work/unsigned.dll" >/dev/null
    input=$work/unsigned.dll
fi

args=(sign -pkcs12 "$UIEXT2_SIGN_PFX" -readpass "$work/password" -h sha256 -in "$input" -out "$work/signed.dll")
[ -z "$description" ] || args+=(-n "$description")
[ -z "${UIEXT2_SIGN_TIMESTAMP_URL:-}" ] || args+=(-ts "$UIEXT2_SIGN_TIMESTAMP_URL")
osslsigncode "${args[@]}" >/dev/null

verify=(verify -in "$work/signed.dll")
[ -z "${UIEXT2_SIGN_CAFILE:-}" ] || verify+=(-CAfile "$UIEXT2_SIGN_CAFILE")
if ! osslsigncode "${verify[@]}" > "$work/verify.log" 2>&1; then
    cat "$work/verify.log" >&2
    echo "the signature of $dll does not verify" >&2
    exit 1
fi
cp "$work/signed.dll" "$dll"
echo "signed and verified: $dll"
