#!/usr/bin/env bash
# tools/bench.sh: what an uninstallation costs as the product grows, against the least work that
# takes the same product off (bench/floor.cpp), without a window and with one. Run by `make bench`;
# see README.md, "Benchmark".
#
#   tools/bench.sh [--products "smoke small large"] [--runs N] [--unpinned] [--cpu N]
#                  [--scale-records N] [--held N] [--no-scale] [--idle-wait S] [--smoke] [--syscalls]
#                  [--compare EXE]
#
# --syscalls adds one run of each program per product under strace and prints what it asked of the
# system: under Wine every wineserver round trip is one write or writev. --compare EXE measures another
# build of uninstall.exe (an earlier one, say) in the same way, alternating with ours and the floor.
#
# Products are generated under build/bench/products and installed into one Wine session
# (build/bench/wine) before every timed run. Output lines starting with "table", "scale" and "held"
# keep their format from run to run so that runs can be compared.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
arguments=("$@")

products="smoke small large"
runs=3
pinned=1
cpu=${BENCH_CPU:-$(($(nproc --all) - 1))}
scale_records=1000000
held=1000
scale=1
syscalls=0
compare=""
timeout=900
idle_wait=60
while [ $# -gt 0 ]; do
    case "$1" in
    --products) products=$2; shift ;;
    --runs) runs=$2; shift ;;
    --unpinned) pinned=0 ;;
    --cpu) cpu=$2; shift ;;
    --scale-records) scale_records=$2; shift ;;
    --held) held=$2; shift ;;
    --no-scale) scale=0 ;;
    --syscalls) syscalls=1 ;;
    --compare) compare=$(realpath "$2"); shift ;;
    --idle-wait) idle_wait=$2; shift ;;
    --smoke) products=smoke scale_records=10000 held=50 idle_wait=3 ;;
    *) echo "usage: $0 [--products LIST] [--runs N] [--unpinned] [--cpu N] [--scale-records N] [--held N]" \
            "[--no-scale] [--idle-wait S] [--smoke] [--syscalls] [--compare EXE]" >&2
       exit 2 ;;
    esac
    shift
done
[ "$runs" -ge 1 ] || { echo "bench: --runs must be at least 1" >&2; exit 2; }

# Files, directories, registry values, system.ini entries.
product_sizes() {
    case "$1" in
    smoke) echo "50 5 20 5" ;;
    small) echo "2000 200 500 50" ;;
    large) echo "20000 2000 2000 200" ;;
    *) echo "bench: unknown product $1" >&2; exit 2 ;;
    esac
}

# The shipped 32-bit program where this machine runs 32-bit Wine, the 64-bit build of the same
# sources elsewhere (see tools/wine32-usable.sh).
if bash tools/wine32-usable.sh; then
    preset=windows loader=/usr/lib/wine/wine
else
    preset=windows64 loader=/usr/lib/wine/wine64
fi
bin="$root/build/$preset/bin"
work="$root/build/bench"
session="$work/wine"
prefix="$session/prefix"

if [ -z "${BENCH_BUILT:-}" ]; then
    cmake --preset $preset >/dev/null
    cmake --build --preset $preset >/dev/null
fi
# Wine, its wineserver and the display all inherit the pinning from here on.
if [ $pinned = 1 ] && [ -z "${BENCH_PINNED:-}" ]; then
    BENCH_PINNED=1 BENCH_BUILT=1 BENCH_CPU=$cpu exec taskset -c "$cpu" bash "$0" "${arguments[@]}"
fi

started=$(date +%s)
# One run at a time per checkout: a second one would remake the first one's Wine session under it.
mkdir -p "$work"
exec 9>"$work/lock"
flock -n 9 || { echo "bench: another benchmark is running in $work" >&2; exit 1; }
not_idle=0
run() { tools/wine-run.sh "$session" "$loader" "$@"; }
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
utf16() { iconv -f UTF-8 -t UTF-16LE; }

# Waits until the CPU that runs the benchmark (all CPUs when unpinned) has been at least 90% idle
# for half a second, for at most --idle-wait seconds; says so when the machine never became idle.
wait_idle() {
    local line=cpu
    [ $pinned = 1 ] && line="cpu$cpu"
    local deadline=$((SECONDS + idle_wait)) a b busy=0
    while [ $SECONDS -lt $deadline ]; do
        a=$(awk -v l="$line" '$1 == l { t = 0; for (i = 2; i <= NF; i++) t += $i; print t, $5 + $6 }' /proc/stat)
        sleep 0.5
        b=$(awk -v l="$line" '$1 == l { t = 0; for (i = 2; i <= NF; i++) t += $i; print t, $5 + $6 }' /proc/stat)
        busy=$(echo "$a $b" | awk '{ dt = $3 - $1; di = $4 - $2; print (dt > 0 ? int(100 * (dt - di) / dt) : 0) }')
        [ "$busy" -lt 10 ] && return 0
    done
    echo "bench: machine not idle (cpu $busy% busy), measuring anyway"
    not_idle=$((not_idle + 1))
}

# Writes build/bench/products/NAME: tree/ (the product's files), uninstall.log, product.reg
# (values, the product's Uninstall entry, and the removal of pending renames left by earlier runs),
# system.ini.add, lang.ini and uninstall_uni.log.
#   generate NAME FILES DIRS VALUES INI [missing]   (missing: the files and values are only named in the log)
generate() {
    local name=$1 files=$2 dirs=$3 values=$4 ini=$5 missing=${6:-}
    local out="$work/products/$name" title="Bench $name"
    local stamp="$files $dirs $values $ini $missing v1"
    mkdir -p "$out"
    # The strings follow the demo's; the product itself is made once per size.
    { printf '\xff\xfe'; sed 's/$/\r/' tools/demo/product/lang.ini.txt | utf16; } >"$out/lang.ini"
    printf '%s' "$title" | utf16 >"$out/uninstall_uni.log"
    [ -f "$out/stamp" ] && [ "$(cat "$out/stamp")" = "$stamp" ] && return 0
    rm -rf "$out/tree" "$out/stamp"
    mkdir -p "$out/tree"
    awk -v files="$files" -v dirs="$dirs" -v values="$values" -v ini="$ini" -v missing="$missing" \
        -v title="$title" -v key="Bench$name" -v out="$out" '
    function crlf(file, text) { printf "%s\r\n", text > file }
    BEGIN {
        log_ = out "/uninstall.log"; reg = out "/product.reg"; add = out "/system.ini.add"
        win = "C:\\Program Files\\" title
        crlf(log_, title); crlf(log_, key); crlf(log_, "English")
        for (d = 0; d < dirs; d++)
            if (missing == "") system("mkdir -p \"" out "/tree/" sprintf("d%04d", d) "\"")
        for (i = 0; i < files; i++) {
            d = int(i * dirs / files)
            rel = sprintf("d%04d/f%06d.dat", d, i)
            crlf(log_, win "\\" sprintf("d%04d\\f%06d.dat", d, i))
            if (missing == "") { path = out "/tree/" rel; printf "bench file %d\n", i > path; close(path) }
        }
        crlf(reg, "REGEDIT4"); crlf(reg, "")
        crlf(reg, "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager]")
        crlf(reg, "\"PendingFileRenameOperations\"=-"); crlf(reg, "")
        crlf(reg, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" key "]")
        crlf(reg, "\"DisplayName\"=\"" title "\"")
        crlf(reg, "\"UninstallString\"=\"\\\"" win "\\\\uninstall.exe\\\"\"")
        for (v = 0; v < values; v++) {
            k = int(v / 10)
            rootname = (k % 2 == 0) ? "HKEY_LOCAL_MACHINE\\SOFTWARE" : "HKEY_CURRENT_USER\\Software"
            keypath = rootname "\\Bench Maker\\" title "\\" sprintf("k%04d", k)
            if (missing == "") {
                if (v % 10 == 0) { crlf(reg, ""); crlf(reg, "[" keypath "]") }
                crlf(reg, sprintf("\"v%02d\"=\"data %d\"", v % 10, v))
            }
            crlf(log_, ":" keypath "\\" sprintf("v%02d", v % 10))
        }
        crlf(add, "[" title "]")
        for (e = 0; e < ini; e++) {
            crlf(add, sprintf("e%04d=value %d", e, e))
            crlf(log_, "-" title "\\" sprintf("e%04d", e))
            crlf(log_, sprintf("value %d", e))
        }
    }'
    echo "$stamp" >"$out/stamp"
}

# Puts product NAME into the prefix as an installer would have left it, with our uninstall.exe or,
# for KIND other, the one given to --compare.
#   install_product NAME [KIND]
install_product() {
    local name=$1 out="$work/products/$1" exe="$bin/uninstall.exe"
    local dir="$prefix/drive_c/Program Files/Bench $name"
    [ "${2:-}" = other ] && exe=$compare
    rm -rf "$dir"
    mkdir -p "$dir"
    cp -a "$out/tree/." "$dir/"
    cp "$exe" "$dir/uninstall.exe"
    cp "$out/uninstall.log" "$out/lang.ini" "$out/uninstall_uni.log" "$dir/"
    { cat "$work/system.ini.pristine"; cat "$out/system.ini.add"; } >"$prefix/drive_c/windows/system.ini"
    run regedit /s "$(winpath "$out/product.reg")" </dev/null >/dev/null 2>&1
}

# Prints what is left of product NAME: "left files F dirs D values V keys K ini I support S entry E".
check_product() {
    run "$bin/bench_tool.exe" check "$(winpath "$work/products/$1/uninstall.log")" \
        "C:\\Program Files\\Bench $1" </dev/null | tr -d '\r' || true
}

# CPU seconds that the session's wineserver and X server have used so far: under Wine much of a
# program's work is done by the wineserver on its behalf.
session_cpu() {
    local pids
    pids="$(cat "$session/xvfb.pid" 2>/dev/null) $server_pid"
    # shellcheck disable=SC2086
    cat $(printf '/proc/%s/stat ' $pids) 2>/dev/null |
        awk -v hz="$(getconf CLK_TCK)" '{ sub(/^.*\) /, ""); t += $12 + $13 } END { printf "%.3f\n", t / hz }'
}

# One measured run: watch KIND NAME [--profile]; prints bench_tool's "elapsed ..." line with
# "server_cpu S" added: the CPU time the session's wineserver and X server spent meanwhile (what they
# did for the driver's looks at the wizard included). Under Wine the wineserver carries out most of a
# program's system calls, and a busy machine disturbs CPU time much less than elapsed time.
measure() {
    local before line
    before=$(session_cpu)
    line=$(measure_run "$@")
    echo "$line" | awk -v before="$before" -v after="$(session_cpu)" '{ printf "%s server_cpu %.3f\n", $0, after - before }'
}

measure_run() {
    local kind=$1 name=$2 profile=${3:-}
    local dir="C:\\Program Files\\Bench $name"
    if [ "$kind" = ours ] || [ "$kind" = other ]; then
        run "$bin/bench_tool.exe" watch --find uninstall.exe $profile "$(winpath "$bin/drive_uninstall.exe")" \
            --finish --at-once --timeout "$timeout" "$dir\\uninstall.exe" -C </dev/null | tr -d '\r' | grep '^elapsed' || echo "elapsed -"
    else
        local window=""
        [ "$kind" = window ] && window=--window
        run "$bin/bench_tool.exe" watch $profile "$(winpath "$bin/bench_floor.exe")" $window "$dir" </dev/null |
            tr -d '\r' | grep '^elapsed' || echo "elapsed -"
    fi
}

# One untimed run under strace: traced KIND NAME prints the program's "syscalls ..." line.
traced() {
    local kind=$1 name=$2 traces="$work/strace.$1" program=uninstall.exe
    [ "$kind" = floor ] || [ "$kind" = window ] && program=bench_floor.exe
    rm -rf "$traces"
    mkdir -p "$traces"
    install_product "$name"
    run() { strace -f -ff -qq -tt -s 512 -o "$traces/t" tools/wine-run.sh "$session" "$loader" "$@"; }
    measure "$kind" "$name" >/dev/null
    run() { tools/wine-run.sh "$session" "$loader" "$@"; }
    # The driver that presses Finish shares the pinned CPU and the wineserver with ours: its requests
    # are a cost that the floors, which nobody watches, do not pay.
    awk -f tools/syscall-profile.awk "$traces"/t.* | awk -v p="$program" -v k="$kind" -v n="$name" '
        $2 == p { $2 = k " " n; print }
        $2 == "drive_uninstall.exe" && k == "ours" { $2 = "driver " n; print }'
}

field() { awk -v f="$1" '{ for (i = 1; i < NF; i++) if ($i == f) { print $(i + 1); exit } }'; }
stats() { # min and median of the numbers on stdin ("-" when none)
    sort -g | awk '$1 != "-" { v[n++] = $1 } END {
        if (n == 0) { print "- -"; exit }
        m = (n % 2) ? v[int(n / 2)] : (v[n / 2 - 1] + v[n / 2]) / 2
        printf "%.3f %.3f\n", v[0], m }'
}
# "not removed: N files, M values (...)" from a check line, or "all removed".
left_summary() {
    echo "$1" | awk '$1 == "left" {
        total = $3 + $5 + $7 + $9 + $11 + $13 + $15
        if (total == 0) print "all removed"
        else printf "not removed: %d files, %d values (dirs %d, keys %d, ini entries %d, support files %d, entry %d)\n",
            $3, $7, $5, $9, $11, $13, $15 }
        $1 != "left" { print "check failed: " $0 }'
}

mkdir -p "$work"
tools/wine-env.sh start "$session" "$loader" </dev/null >/dev/null
# The desktop stays up for the whole session, as on Windows (see bench_tool desktop).
rm -f "$work/desktop.ready" "$work/desktop.stop"
run "$bin/bench_tool.exe" desktop "$(winpath "$work/desktop.ready")" "$(winpath "$work/desktop.stop")" \
    </dev/null >/dev/null 2>&1 &
desktop_keeper=$!
trap 'touch "$work/desktop.stop"; wait "$desktop_keeper" || true; tools/wine-env.sh stop "$session" "$loader"' EXIT
trap 'exit 130' INT TERM
for _ in $(seq 100); do [ -e "$work/desktop.ready" ] && break; sleep 0.1; done
cp "$prefix/drive_c/windows/system.ini" "$work/system.ini.pristine"
server_pid=""
for pid in $(pgrep wineserver || true); do
    if { tr '\0' '\n' <"/proc/$pid/environ"; } 2>/dev/null | grep -qx "WINEPREFIX=$prefix"; then server_pid=$pid; fi
done
exe_bytes=$(stat -c %s "$bin/uninstall.exe")

if [ $pinned = 1 ]; then pinning="pinned cpu $cpu"; else pinning=unpinned; fi
echo "bench: $pinning, $runs runs each, $(nproc --all) cpus, $("$loader" --version 2>/dev/null || echo wine), $preset build," \
    "uninstall.exe $exe_bytes bytes"

declare -a table_lines notes
for name in $products; do
    read -r files dirs values ini <<<"$(product_sizes "$name")"
    section_start=$(date +%s)
    generate "$name" "$files" "$dirs" "$values" "$ini"
    ours=() floor=() ours_cpu=() floor_cpu=() other=() other_cpu=() window=() ours_left="" floor_left=""
    kinds="ours floor window"
    [ -n "$compare" ] && kinds="ours floor window other"
    for r in $(seq "$runs"); do
        for kind in $kinds; do
            install_product "$name" $kind
            wait_idle
            line=$(measure $kind "$name")
            left=$(check_product "$name")
            echo "run $name $kind $r: $line; $left"
            if [ $kind = ours ]; then
                ours+=("$(echo "$line" | field elapsed)") ours_left=$left
                ours_cpu+=("$(echo "$line" | field server_cpu)")
            elif [ $kind = other ]; then
                other+=("$(echo "$line" | field elapsed)")
                other_cpu+=("$(echo "$line" | field server_cpu)")
            elif [ $kind = window ]; then
                window+=("$(echo "$line" | field elapsed)")
            else
                floor+=("$(echo "$line" | field elapsed)") floor_left=$left
                floor_cpu+=("$(echo "$line" | field server_cpu)")
            fi
        done
    done
    # Memory and the wizard's appearance come from one more run each that samples every 5 ms, kept
    # out of the timed runs so that the sampling does not slow them.
    install_product "$name"
    wait_idle
    ours_profile=$(measure ours "$name" --profile)
    echo "profile $name ours: $ours_profile"
    install_product "$name"
    wait_idle
    floor_profile=$(measure floor "$name" --profile)
    echo "profile $name floor: $floor_profile"
    if [ $syscalls = 1 ]; then
        for kind in ours floor window; do notes+=("$(traced $kind "$name")"); done
    fi

    read -r ours_min ours_med <<<"$(printf '%s\n' "${ours[@]}" | stats)"
    read -r floor_min floor_med <<<"$(printf '%s\n' "${floor[@]}" | stats)"
    ratio=$(awk -v o="$ours_med" -v f="$floor_med" 'BEGIN { if (o == "-" || f == "-" || f == 0) print "-"; else printf "%.2f", o / f }')
    complete=yes
    [ "$(left_summary "$ours_left")" = "all removed" ] || complete=no
    table_lines+=("$(printf 'table %-6s %6s %5s %6s %4s %8s %8s %9s %9s %10s %10s %8s %9s %8s' "$name" "$files" "$dirs" \
        "$values" "$ini" "$ours_min" "$ours_med" "$floor_min" "$floor_med" "$ratio" \
        "$(echo "$ours_profile" | field peak_kb)" "$(echo "$ours_profile" | field wizard)" "$exe_bytes" "$complete")")
    read -r _ ours_cpu_med <<<"$(printf '%s\n' "${ours_cpu[@]}" | stats)"
    read -r _ floor_cpu_med <<<"$(printf '%s\n' "${floor_cpu[@]}" | stats)"
    cpu_ratio=$(awk -v o="$ours_cpu_med" -v f="$floor_cpu_med" \
        'BEGIN { if (o == "-" || f == "-" || f == 0) print "-"; else printf "%.2f", o / f }')
    notes+=("server $name: ours $ours_cpu_med s, floor $floor_cpu_med s, ours/floor $cpu_ratio (medians of the wineserver's and the X server's CPU time)")
    if [ -n "$compare" ]; then
        read -r other_min other_med <<<"$(printf '%s\n' "${other[@]}" | stats)"
        read -r _ other_cpu_med <<<"$(printf '%s\n' "${other_cpu[@]}" | stats)"
        notes+=("other $name: $compare min $other_min s, median $other_med s, server $other_cpu_med s; ours/other $(awk \
            -v o="$ours_med" -v b="$other_med" -v oc="$ours_cpu_med" -v bc="$other_cpu_med" 'BEGIN {
            if (o == "-" || b == "-" || b == 0 || oc == "-" || bc == "-" || bc == 0) print "-"
            else printf "%.2f elapsed, %.2f server", o / b, oc / bc }')")
    fi
    read -r window_min window_med <<<"$(printf '%s\n' "${window[@]}" | stats)"
    window_floor=$(awk -v w="$window_med" -v f="$floor_med" 'BEGIN { if (w == "-" || f == "-" || f == 0) print "-"; else printf "%.2f", w / f }')
    ours_window=$(awk -v o="$ours_med" -v w="$window_med" 'BEGIN { if (o == "-" || w == "-" || w == 0) print "-"; else printf "%.2f", o / w }')
    notes+=("window $name: the floor with a window and a progress bar min $window_min s, median $window_med s; window/floor $window_floor, ours/window $ours_window")
    notes+=("ours  $name: $(left_summary "$ours_left")")
    notes+=("floor $name: $(left_summary "$floor_left"), peak working set $(echo "$floor_profile" | field peak_kb) KB")
    notes+=("time  $name: $(($(date +%s) - section_start)) s for this product's runs")
done

scale_lines=() held_lines=()
if [ $scale = 1 ]; then
    # Logs of a hundredth, a tenth and all of --scale-records registry values, ten to a key, in keys
    # that are not there: memory must not grow with the log's length (it is read a record at a time),
    # and time grows with the reading alone. A million files would not fit the disk, and files that
    # are not there would each go to deferred removal, whose cost is the system's own and grows with
    # what is pending (see the held run).
    for n in $((scale_records / 100)) $((scale_records / 10)) "$scale_records"; do
        name="scale$n"
        generate "$name" 0 0 "$n" 0 missing
        install_product "$name"
        wait_idle
        o=$(measure ours "$name")
        install_product "$name"
        wait_idle
        op=$(measure ours "$name" --profile)
        install_product "$name"
        wait_idle
        f=$(measure floor "$name" --profile)
        scale_lines+=("$(printf 'scale %8s %9s %10s %9s %10s' "$n" "$(echo "$o" | field elapsed)" \
            "$(echo "$op" | field peak_kb)" "$(echo "$f" | field elapsed)" "$(echo "$f" | field peak_kb)")")
    done

    # Files in use: the uninstaller must hand every one to deferred removal. The yardstick schedules the
    # same paths with bare MoveFileExA calls.
    name="held$held"
    generate "$name" "$held" 10 0 0
    for kind in ours schedule; do
        install_product "$name"
        rm -f "$work/held.ready" "$work/held.stop"
        run "$bin/bench_tool.exe" hold "$(winpath "$work/products/$name/uninstall.log")" \
            "$(winpath "$work/held.ready")" "$(winpath "$work/held.stop")" </dev/null >/dev/null 2>&1 &
        holder=$!
        for _ in $(seq 600); do [ -s "$work/held.ready" ] && break; sleep 0.1; done
        wait_idle
        if [ $kind = ours ]; then
            line=$(measure ours "$name")
        else
            line=$(run "$bin/bench_tool.exe" watch "$(winpath "$bin/bench_tool.exe")" schedule \
                "$(winpath "$work/products/$name/uninstall.log")" </dev/null | tr -d '\r' | grep '^elapsed' || echo "elapsed -")
        fi
        pending=$(run reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations \
            </dev/null 2>/dev/null | tr -d '\r' | grep -o 'f[0-9]\{6\}\.dat' | wc -l || true)
        touch "$work/held.stop"
        wait "$holder" || true
        echo "run $name $kind: $line; open $(cat "$work/held.ready" 2>/dev/null || echo 0) files; pending renames naming them $pending"
        if [ $kind = ours ]; then
            held_ours=$(echo "$line" | field elapsed) held_pending_ours=$pending
        else
            held_schedule=$(echo "$line" | field elapsed) held_pending_schedule=$pending
        fi
    done
    held_lines+=("$(printf 'held %6s %9s %8s %10s %8s %9s' "$held" "$held_ours" "$held_pending_ours" "$held_schedule" \
        "$held_pending_schedule" "$(awk -v o="$held_ours" -v s="$held_schedule" \
        'BEGIN { if (o == "-" || s == "-" || s == 0) print "-"; else printf "%.2f", o / s }')")")
fi

echo
echo "table product  files  dirs values  ini ours_min ours_med floor_min floor_med ours/floor peak_ws_kb wizard_s exe_bytes complete"
for line in "${table_lines[@]}"; do echo "$line"; done
if [ ${#scale_lines[@]} -gt 0 ]; then
    echo "scale  records    ours_s ours_peak_kb floor_s floor_peak_kb"
    for line in "${scale_lines[@]}"; do echo "$line"; done
    echo "held    files    ours_s  pending schedule_s  pending ours/bare"
    for line in "${held_lines[@]}"; do echo "$line"; done
fi
for line in "${notes[@]}"; do echo "$line"; done
echo "bench: $pinning, $preset build, uninstall.exe $exe_bytes bytes"
echo "bench: seconds are process start to end (min and median of $runs; ours/floor of the medians), took $(($(date +%s) - started)) s, $not_idle runs started on a busy machine"
