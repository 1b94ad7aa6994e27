#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test:
#   native pure logic under AddressSanitizer/UndefinedBehaviorSanitizer, a short fuzz run,
#   the DLL with clang as a second compiler, then the DLL and its tests under Wine (run as an
#   ordinary account), the same for ARM64 under ARM64 Wine, and last the signed release
#   archive of both architectures, signed with a throwaway certificate.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
jobs=$(nproc)

echo "== native: pure logic with sanitizers"
cmake --preset native >/dev/null
cmake --build --preset native -j"$jobs"
ctest --preset native

if [ -x tools/fuzz.sh ]; then
    echo "== fuzz: short run"
    bash tools/fuzz.sh short
fi

echo "== windows-clang: the DLL with a second compiler, warnings as errors"
cmake --preset windows-clang >/dev/null
cmake --build --preset windows-clang -j"$jobs"

echo "== windows: the DLL and its tests under Wine, as an ordinary account"
cmake --preset windows >/dev/null
cmake --build --preset windows -j"$jobs"
bash tools/as-test-account.sh build/windows ctest --preset windows

echo "== arm64: the DLL and its tests for ARM64, under ARM64 Wine"
lane=$SECONDS
# The toolchain and the arm64 root come from a cache outside the repository, made once.
arm64=$(bash tools/arm64-toolchain.sh prepare)
export ${arm64?}
cmake --preset arm64 >/dev/null
cmake --build --preset arm64 -j"$jobs"
bash tools/arm64-toolchain.sh run . ctest --preset arm64
ctest --preset arm64-host
echo "arm64 lane: $((SECONDS - lane)) s"

echo "== release: the archive, its signed DLL tested under Wine"
# CI has no certificate of its own: a throwaway self-signed one proves the signing step.
certificate=$(mktemp -d)
trap 'rm -rf "$certificate"' EXIT
bash tools/test-certificate.sh "$certificate"
UIEXT2_SIGN_PFX=$certificate/cert.pfx UIEXT2_SIGN_PASSWORD=$(cat "$certificate/password") \
    UIEXT2_SIGN_CAFILE=$certificate/cert.pem UIEXT2_SIGN_TIMESTAMP_URL= bash tools/release.sh
