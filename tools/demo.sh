#!/usr/bin/env bash
# Installs what is missing, builds the DLL and runs the demonstration host under Wine.
#   tools/demo.sh [--arch x64|arm64] [--folder WINDOWS_FOLDER] [--name BASENAME]
# The scanned pages land in build/scans (or UIEXT2_SCAN_FOLDER) unless --folder names
# another folder, as a Windows path seen from inside Wine (Z: is this machine's root).
# --arch arm64 (or UIEXT2_ARCH=arm64) runs the ARM64 build under ARM64 Wine instead.
set -euo pipefail
cd "$(dirname "$0")/.."

arch=${UIEXT2_ARCH:-x64}
if [ "${1:-}" = --arch ]; then
    arch=${2:?--arch needs x64 or arm64}
    shift 2
fi
case "$arch" in
    x64) preset=windows run=() ;;
    arm64) preset=arm64 run=(bash tools/arm64-toolchain.sh run .) ;;
    *) echo "--arch must be x64 or arm64" >&2; exit 2 ;;
esac

bash tools/install-deps.sh
if [ "$arch" = arm64 ]; then
    arm64=$(bash tools/arm64-toolchain.sh prepare)
    export ${arm64?}
fi
cmake --preset $preset >/dev/null
cmake --build --preset $preset -j"$(nproc)" --target uiext2 uiext2_demo
folder=${UIEXT2_SCAN_FOLDER:-$PWD/build/scans}
mkdir -p "$folder"
folder=$(realpath "$folder")
windows_folder="Z:$(echo "$folder" | sed 's#/#\\#g')"
# The arm64 root sees the checkout and the scan folder at their own paths.
UIEXT2_ARM64_BINDS=$folder UIEXT2_WINE_LIVE=1 "${run[@]}" build/$preset/wine-run.sh \
    build/$preset/bin/uiext2_demo.exe --folder "$windows_folder" "$@"
