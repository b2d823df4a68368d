#!/usr/bin/env bash
# tools/run-fuzzer.sh FUZZER CORPUS [SEEDS [DICT]]: runs a libFuzzer target for FUZZ_SECONDS (default
# 20; 0 for no limit) or FUZZ_RUNS executions, whichever ends first, from the corpus directory CORPUS
# (kept between runs) and the checked-in SEEDS, with the dictionary DICT when that file exists.
# Fails on any crash, hang, leak or sanitizer report; the input that caused it is left in the build
# tree, in findings/<target>/ beside the corpus directories.
set -euo pipefail
fuzzer=$(realpath "$1") corpus=$(realpath -m "$2") seeds=${3:+$(realpath -m "$3")} dict=${4:+$(realpath -m "$4")}
name=$(basename "$fuzzer")
findings=$(dirname "$(dirname "$corpus")")/findings/$name
mkdir -p "$corpus" "$findings"
dirs=("$corpus")
[ -n "$seeds" ] && [ -d "$seeds" ] && dirs+=("$seeds")
options=(-max_total_time="${FUZZ_SECONDS:-20}" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
    -artifact_prefix="$findings/")
[ -n "${FUZZ_RUNS:-}" ] && options+=(-runs="$FUZZ_RUNS")
[ -n "$dict" ] && [ -f "$dict" ] && options+=(-dict="$dict")
cd "$(dirname "$corpus")"
exec "$fuzzer" "${options[@]}" "${dirs[@]}"
