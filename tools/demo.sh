#!/usr/bin/env bash
# Installs what is missing, builds the DLL and runs the demonstration host under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows -j"$(nproc)" --target uiext2 uiext2_demo
build/windows/wine-run.sh build/windows/bin/uiext2_demo.exe "$@"
