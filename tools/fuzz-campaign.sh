#!/usr/bin/env bash
# tools/fuzz-campaign.sh BUILD [TARGET...]: runs the fuzz targets of the fuzz build BUILD (all that
# ctest knows there, or those named) through tools/run-fuzzer.sh, each for FUZZ_SECONDS or FUZZ_RUNS
# executions, FUZZ_JOBS of them at a time (default 1: one core is left to whoever else uses the
# machine; more than 2 is refused). Each target goes on from its corpus in BUILD/corpus/<target>.
# Then prints per target: executions, executions per second, coverage (edges and features at libFuzzer's
# last status line), corpus units and size, findings (inputs written to BUILD/findings/<target>/) and
# seconds. The table is also left in BUILD/campaign/summary.md, each run's output in
# BUILD/campaign/<target>.log. Exits 1 when any target had a finding or failed.
set -uo pipefail
source=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:?usage: fuzz-campaign.sh BUILD [TARGET...]}")
shift
jobs=${FUZZ_JOBS:-1}
if ! [[ $jobs =~ ^[12]$ ]]; then
    echo "FUZZ_JOBS must be 1 or 2: the fuzzers share the machine's cores with everything else" >&2
    exit 2
fi

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    mapfile -t targets < <(ctest --test-dir "$build" -N -L fuzz | sed -n 's/^ *Test *#[0-9]*: *//p')
fi
if [ ${#targets[@]} -eq 0 ]; then
    echo "no fuzz targets in $build: build the fuzz preset first" >&2
    exit 2
fi

logs=$build/campaign
mkdir -p "$logs"

# One target: its log, its exit status and its wall time.
run_target() {
    local target=$1 started rc
    started=$(date +%s)
    "$source/tools/run-fuzzer.sh" "$build/bin/$target" "$build/corpus/$target" "$source/fuzz/corpus/$target" \
        "$source/fuzz/dict/$target.dict" >"$logs/$target.log" 2>&1
    rc=$?
    echo "$rc $(($(date +%s) - started))" >"$logs/$target.status"
}

for target in "${targets[@]}"; do
    if [ ! -x "$build/bin/$target" ]; then
        echo "$target: no such fuzz target in $build/bin" >&2
        exit 2
    fi
    rm -f "$logs/$target.status"
    while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do
        wait -n
    done
    echo "fuzzing $target (seconds: ${FUZZ_SECONDS:-20}, runs: ${FUZZ_RUNS:-no limit})" >&2
    run_target "$target" &
done
wait

# Reads one target's figures from libFuzzer's final statistics and its last status line.
summarise() {
    local target=$1 log=$logs/$1.log rc seconds execs rate cov ft corpus findings
    read -r rc seconds <"$logs/$target.status"
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
    local status
    status=$(grep -E ' cov: [0-9]+ ft: [0-9]+' "$log" | tail -1)
    cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$status")
    ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$status")
    corpus=$(sed -n 's/.* corp: \([0-9]*\/[0-9]*[a-zA-Z]*\).*/\1/p' <<<"$status")
    findings=$(grep -c 'Test unit written to' "$log")
    if [ "$rc" -ne 0 ] && [ "$findings" -eq 0 ]; then
        findings="failed ($rc)"
    fi
    printf '| %s | %s | %s | %s | %s | %s | %s | %s |\n' "$target" "${execs:-?}" "${rate:-?}" "${cov:-?}" \
        "${ft:-?}" "${corpus:-?}" "$findings" "$seconds"
    [ "$rc" -eq 0 ] && [ "$findings" = 0 ]
}

failed=0
{
    echo '| target | executions | exec/s | cov (edges) | ft (features) | corpus (units/size) | findings | seconds |'
    echo '|---|---:|---:|---:|---:|---:|---:|---:|'
    for target in "${targets[@]}"; do
        summarise "$target" || failed=1
    done
} >"$logs/summary.md"
cat "$logs/summary.md"
for target in "${targets[@]}"; do
    grep -h 'Test unit written to' "$logs/$target.log" | sed "s/^/$target: /"
done
exit "$failed"
