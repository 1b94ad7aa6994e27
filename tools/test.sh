#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test:
#   native pure logic under AddressSanitizer/UndefinedBehaviorSanitizer, a short fuzz run,
#   the DLL with clang as a second compiler, then the DLL and its tests under Wine.
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

echo "== windows: the DLL and its tests under Wine"
cmake --preset windows >/dev/null
cmake --build --preset windows -j"$jobs"
ctest --preset windows
