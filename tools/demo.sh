#!/usr/bin/env bash
# Installs what is missing, builds the DLL and runs the demonstration host under Wine.
#   tools/demo.sh [--folder WINDOWS_FOLDER] [--name BASENAME]
# The scanned pages land in build/scans (or UIEXT2_SCAN_FOLDER) unless --folder names
# another folder, as a Windows path seen from inside Wine (Z: is this machine's root).
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows -j"$(nproc)" --target uiext2 uiext2_demo
folder=${UIEXT2_SCAN_FOLDER:-$PWD/build/scans}
mkdir -p "$folder"
windows_folder="Z:$(realpath "$folder" | sed 's#/#\\#g')"
UIEXT2_WINE_LIVE=1 build/windows/wine-run.sh build/windows/bin/uiext2_demo.exe --folder "$windows_folder" "$@"
