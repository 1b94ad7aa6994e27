#!/usr/bin/env bash
# The signing step, proven with a throwaway self-signed certificate made here: the signed
# DLL verifies against that certificate, while a changed byte, an unsigned DLL or a wrong
# password fail, and so does a signature the roots given do not trust.
# usage: signing_check.sh SIGN_SH DLL
set -uo pipefail
sign=$1
dll=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

bash "$(dirname "$sign")/test-certificate.sh" "$work" || { echo "no test certificate"; exit 1; }
password=$(cat "$work/password")
export UIEXT2_SIGN_PFX=$work/cert.pfx UIEXT2_SIGN_CAFILE=$work/cert.pem

failures=0
expect() { # expect ok|fail DESCRIPTION COMMAND...
    local want=$1 what=$2
    shift 2
    if "$@" >"$work/out.log" 2>&1; then got=ok; else got=fail; fi
    if [ "$got" = "$want" ]; then
        echo "ok: $what"
    else
        echo "FAILED: $what (expected $want, got $got)"; cat "$work/out.log"; failures=$((failures + 1))
    fi
}
verify() { osslsigncode verify -in "$1" -CAfile "$work/cert.pem"; }

cp "$dll" "$work/signed.dll"
cp "$dll" "$work/unsigned.dll"
expect ok "signing with the right password signs and verifies" \
    env UIEXT2_SIGN_PASSWORD="$password" bash "$sign" "$work/signed.dll" "signing check"
expect ok "the signed DLL verifies on its own" verify "$work/signed.dll"
expect fail "an unsigned DLL does not verify" verify "$work/unsigned.dll"

# One byte of code changed after signing (0x800 lies in .text, inside the signed hash).
cp "$work/signed.dll" "$work/tampered.dll"
printf '\xcc' | dd of="$work/tampered.dll" bs=1 seek=$((0x800)) conv=notrunc 2>/dev/null
cmp -s "$work/signed.dll" "$work/tampered.dll" && { echo "FAILED: the byte did not change"; failures=$((failures + 1)); }
expect fail "a changed byte makes verification fail" verify "$work/tampered.dll"

# The step verifies what it signed: a signature that does not chain to the roots given fails
# it, and the DLL is left unsigned.
bash "$(dirname "$sign")/test-certificate.sh" "$work/other" || { echo "no second certificate"; exit 1; }
cp "$dll" "$work/untrusted.dll"
expect fail "a signature the given roots do not trust fails the step" \
    env UIEXT2_SIGN_PASSWORD="$password" UIEXT2_SIGN_CAFILE="$work/other/cert.pem" bash "$sign" "$work/untrusted.dll"
expect ok "... and leaves the DLL as it was" cmp "$dll" "$work/untrusted.dll"

cp "$dll" "$work/wrong.dll"
expect fail "a wrong password signs nothing" env UIEXT2_SIGN_PASSWORD=not-the-password bash "$sign" "$work/wrong.dll"
expect ok "... and leaves the DLL as it was" cmp "$dll" "$work/wrong.dll"

exit $((failures > 0))
