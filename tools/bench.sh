#!/usr/bin/env bash
# Builds and runs the scan road's benchmarks under Wine; prints side-by-side ratios.
#   tools/bench.sh [REPETITIONS]
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows -j"$(nproc)" --target uiext2_scan_bench
UIEXT2_WINE_LIVE=1 build/windows/wine-run.sh build/windows/bin/uiext2_scan_bench.exe "$@"
