#!/usr/bin/env bash
# tools/power-loss.sh BUILD LOADER DISPLAYFILE: the fault matrix's power-loss stage (make faults runs it
# from tools/run-faults.sh). The kill sweep's product is removed, and in the middle of the run the
# whole Wine server is killed (SIGKILL), with every process of its prefix: what a power loss does.
# The registry loses its changes since Wine last saved it (it saves when the server ends properly, or
# every half minute); files keep what was written. The session is then started again, which carries
# out what waits for the restart as a boot does, and a second run goes to the end. Its end state must
# equal that of a run never interrupted: the product's files, the two system-directory files and the
# shared count, the test keys, the system.ini lines, what waits for the restart, and every file of
# the prefix outside the product's directory.
#
# Each point has a prefix of its own (BUILD/power-loss/prefix, copied from the pristine one); only its
# server and processes are ended, found by their pids. DISPLAYFILE names the X display of the matrix's
# session. POWER_POINTS (record lines in the removal log at which the server is killed; past the 30th
# they are the support files') and POWER_FAMILIES (nt, 95) choose what runs. Prints one table row per
# family; exits with 1 when a point differs.
set -euo pipefail
build=$(cd "$1" && pwd)
loader=$2
displayfile=$3
bindir=$(dirname "$loader")
if [ "$(basename "$loader")" = wine64 ]; then
    arch=win64 server="$bindir/wineserver64"
else
    arch=win32 server="$bindir/wineserver32"
fi
[ -x "$server" ] || server="$bindir/wineserver"
pristine="${XDG_CACHE_HOME:-$HOME/.cache}/uninstall-wine/pristine-$arch"
work=$build/power-loss
prefix=$work/prefix
matrix=$build/bin/fault_matrix.exe
read -r -a points <<<"${POWER_POINTS:-2 5 8 11 14 17 20 23 26 29 31 33}"
read -r -a families <<<"${POWER_FAMILIES:-nt 95}"
display=
[ -s "$displayfile" ] && display=":$(cat "$displayfile")"

# Only the commands get the prefix: this script and its helpers must not be taken for its processes.
# (env, then setsid, each take the place of the one before: a pid taken of it is the program's.)
in_prefix=(env WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH="$arch"
    DISPLAY="$display")

server_pid=
start_session() {
    "${in_prefix[@]}" setsid "$server" -f -p >/dev/null 2>&1 </dev/null &
    server_pid=$!
    "${in_prefix[@]}" "$loader" wineboot >/dev/null 2>&1 </dev/null
}

wait_for_server() {
    for _ in $(seq 100); do
        [ -d "/proc/$server_pid" ] || return 0
        sleep 0.1
    done
}

# The proper end: the server saves the registry.
stop_session() {
    "${in_prefix[@]}" "$server" -k 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
}

prefix_pids() {
    local entry
    for entry in /proc/[0-9]*; do
        [ "${entry#/proc/}" != $$ ] || continue
        if { tr '\0' '\n' <"$entry/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$prefix"; then
            echo "${entry#/proc/}"
        fi
    done
}

# The power loss: the server first, then each process of the prefix.
power_off() {
    kill -9 "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
    local pid
    for pid in $(prefix_pids); do
        kill -9 "$pid" 2>/dev/null || true
    done
    wait_for_server
}

# Every file of the prefix but the product's own tree, the stage's files and what Wine keeps changing
# by itself, with its size: what the runs may not touch beyond the log (the registry is compared
# through the end state, as Wine rewrites its files with times and its own keys).
prefix_files() {
    (cd "$prefix/drive_c" && find . -type f ! -path './power-loss/*' ! -path './users/*/Temp/*' \
        ! -path './windows/temp/*' ! -path './windows/Installer/*' ! -name '*.log' -printf '%p %s\n' | sort)
}

# One point: 0 runs the product's uninstaller to the end once; N kills the server once the first run's
# removal log holds N lines, and then runs it again. Leaves the end state in end-FAMILY-N.txt.
run_point() {
    local family=$1 point=$2 flag=
    [ "$family" = 95 ] && flag=--95
    if [ -d "$prefix" ]; then rm -rf "$prefix"; fi
    cp -a "$pristine" "$prefix"
    start_session
    "${in_prefix[@]}" "$loader" "$matrix" --power=install $flag </dev/null
    stop_session
    local landed=-
    if [ "$point" != 0 ]; then
        # The matrix starts the run and freezes it once its log holds that many lines: a script
        # looking from outside would come too late for runs this fast.
        start_session
        local frozen=$prefix/drive_c/power-loss/frozen.txt watcher
        "${in_prefix[@]}" "$loader" "$matrix" "--power=run,$point" $flag </dev/null >/dev/null 2>&1 &
        watcher=$!
        for _ in $(seq 600); do
            [ -s "$frozen" ] && break
            sleep 0.1
        done
        power_off
        wait "$watcher" 2>/dev/null || true
        landed=$(cat "$frozen" 2>/dev/null || echo "not frozen")
        cp "$prefix/drive_c/power-loss/first.log" "$work/first-$family-$point.log" 2>/dev/null || true
        # Whether the run had cut its log to the header (or removed it): from there on only the
        # registry's own saving keeps what the run changed there.
        local product log
        product=$(head -n 1 "$prefix/drive_c/power-loss/product.txt" | tr '\\' / | sed 's|^[Cc]:/||')
        log=$prefix/drive_c/${product}uninstall.log
        if [ ! -f "$log" ] || [ "$(wc -l <"$log")" -le 3 ]; then landed="$landed, after the cut"; fi
    fi
    start_session
    "${in_prefix[@]}" "$loader" "$matrix" --power=finish $flag </dev/null || true
    stop_session
    cp "$prefix/drive_c/power-loss/end.txt" "$work/end-$family-$point.txt" 2>/dev/null ||
        echo "# no end state" >"$work/end-$family-$point.txt"
    cp "$prefix/drive_c/power-loss/second.log" "$work/second-$family-$point.log" 2>/dev/null || true
    prefix_files | sed -E 's/e2e-[0-9]+-/e2e-N-/' >"$work/files-$family-$point.txt"
    echo "$landed" >"$work/landed-$family-$point.txt"
}

mkdir -p "$work"
[ -f "$pristine/system.reg" ] || { echo "power-loss: no pristine prefix at $pristine" >&2; exit 1; }
failed=0
for family in "${families[@]}"; do
    name=NT
    [ "$family" = 95 ] && name=95
    start=$SECONDS
    run_point "$family" 0
    differences=0 known=0 landed=() details=()
    for point in "${points[@]}"; do
        run_point "$family" "$point"
        landed+=("$(cat "$work/landed-$family-$point.txt")")
        difference=$(diff <(tail -n +3 "$work/end-$family-0.txt") <(tail -n +3 "$work/end-$family-$point.txt") |
            grep '^[<>]' | tr '\n' ';' || true)
        files=$(diff "$work/files-$family-0.txt" "$work/files-$family-$point.txt" | grep '^[<>]' | tr '\n' ';' ||
            true)
        ended=$(head -n 1 "$work/end-$family-$point.txt")
        if [ -n "$difference$files" ] || [[ "$ended" != *"ended by itself"* ]]; then
            what=difference
            # Wine 8 does nothing on RegFlushKey: it saves the registry only when its server ends
            # properly or every half minute. So a power loss after the log's cut takes the whole
            # run's registry changes back, and nothing is left to remove them. On Windows the flush
            # before the cut keeps them.
            if [[ "$(cat "$work/landed-$family-$point.txt")" == *"after the cut"* ]]; then
                known=$((known + 1)) what="known (Wine saves no registry on RegFlushKey)"
            else
                differences=$((differences + 1))
            fi
            details+=("killed at $point (logged $(cat "$work/landed-$family-$point.txt")), $what: ${ended#\# }; end state: ${difference:-same}; files: ${files:-same}")
        fi
    done
    gone=$(sed -n 2p "$work/end-$family-0.txt" | sed 's/.*: //')
    result=pass
    if [ "$differences" -gt 0 ] || [[ "$(head -n 1 "$work/end-$family-0.txt")" != *"ended by itself"* ]]; then
        result=FAIL
        failed=1
    fi
    frozen_at=$(printf '%s; ' "${landed[@]}")
    echo "| the Wine server killed mid-run (power loss), then run again | $name | ${#points[@]} points tried" \
        "(lines logged when frozen: ${frozen_at%; }; the reference run left $gone restart requests for files gone)," \
        "then run again: $differences differences from an uninterrupted run, in the end state or the prefix's" \
        "files; $known after the log's cut that Wine cannot keep | 0 | none | $result |"
    for detail in "${details[@]}"; do
        echo "  $name $detail"
    done
    echo "  ($name: $((SECONDS - start)) s)" >&2
done
rm -rf "$prefix"
exit "$failed"
