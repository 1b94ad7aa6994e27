#!/usr/bin/env bash
# Builds the libFuzzer targets of the base64 coder and the settings merge (preset "fuzz",
# clang with AddressSanitizer and UndefinedBehaviorSanitizer) and runs them.
#   tools/fuzz.sh short            each target for 15 s (CI)
#   tools/fuzz.sh long [TARGET]    each target (or only TARGET) for FUZZ_SECONDS, default 600
# Inputs reach 12288 bytes, past two growth steps of the coder's arrays. Inputs found are
# kept in build/fuzz/corpus/TARGET and reused by later runs; the seeds in
# tests/fuzz/corpus/TARGET are read, never written. A failing input is saved in the current
# folder as crash-*; replay it with build/fuzz/tests/fuzz/TARGET crash-<hash>.
set -euo pipefail
cd "$(dirname "$0")/.."

targets=(base64_decode_fuzzer base64_roundtrip_fuzzer profile_merge_fuzzer)
case "${1:-}" in
short) seconds=15 ;;
long)
    seconds=${FUZZ_SECONDS:-600}
    [ -n "${2:-}" ] && targets=("$2")
    ;;
*)
    echo "usage: $0 short | long [TARGET]   (targets: ${targets[*]})" >&2
    exit 2
    ;;
esac

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)"

for target in "${targets[@]}"; do
    corpus=build/fuzz/corpus/$target
    mkdir -p "$corpus"
    echo "== $target: ${seconds} s"
    run=(build/fuzz/tests/fuzz/"$target" -max_total_time="$seconds" -max_len=12288 -print_final_stats=1
        "$corpus" tests/fuzz/corpus/"$target")
    if [ "$1" = long ]; then
        "${run[@]}"
        continue
    fi
    # The short run prints its summary only, and the whole log when the target fails.
    log=build/fuzz/$target.log
    "${run[@]}" >"$log" 2>&1 || { cat "$log"; exit 1; }
    grep -E '^(#[0-9]+[[:space:]]+INITED|Done|stat::number_of_executed_units)' "$log" || true
done
