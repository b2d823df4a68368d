#!/usr/bin/env bash
# tools/run-fuzzer.sh FUZZER CORPUS [SEEDS]: runs a libFuzzer target for FUZZ_SECONDS (default 20).
# Fails on any crash, hang or sanitizer report; the input that caused it is left in the build tree.
set -euo pipefail
fuzzer=$1 corpus=$2 seeds=${3:-}
mkdir -p "$corpus"
dirs=("$corpus")
[ -n "$seeds" ] && [ -d "$seeds" ] && dirs+=("$seeds")
cd "$(dirname "$corpus")"
exec "$fuzzer" -max_total_time="${FUZZ_SECONDS:-20}" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 "${dirs[@]}"
