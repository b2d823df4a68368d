#!/usr/bin/env bash
# tools/wine-env.sh start|stop DIR LOADER: one Wine session for a test run.
#   start: copies a pristine prefix to DIR/prefix (made once per machine and kept in the cache),
#          starts an Xvfb display (number in DIR/display) and a persistent wineserver for the prefix.
#   stop:  ends that wineserver and that Xvfb, and nothing else.
set -euo pipefail
action=$1 dir=$2 loader=$3
# shellcheck source=tools/wine-server.sh
. "$(dirname "$0")/wine-server.sh"
cache="${XDG_CACHE_HOME:-$HOME/.cache}/uninstall-wine"
pristine="$cache/pristine-$arch"

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=$arch

make_pristine() {
    local tmp="$cache/making-$arch-$$"
    rm -rf "$tmp"
    mkdir -p "$cache"
    echo "wine-env: making a pristine $arch prefix (once per machine)"
    WINEPREFIX="$tmp" "$loader" wineboot -i >/dev/null 2>&1
    # No window manager runs on Xvfb: without this every dialog close stalls about two seconds.
    WINEPREFIX="$tmp" "$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    # A crashing test must end, not wait for someone to close winedbg's dialog.
    WINEPREFIX="$tmp" "$loader" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
        >/dev/null 2>&1
    WINEPREFIX="$tmp" "$server" -w
    rm -rf "$pristine"
    mv "$tmp" "$pristine"
}

stop_session() {
    if [ -d "$dir/prefix" ]; then
        WINEPREFIX="$dir/prefix" "$server" -k 2>/dev/null || true
    fi
    if [ -s "$dir/xvfb.pid" ]; then
        kill "$(cat "$dir/xvfb.pid")" 2>/dev/null || true
        rm -f "$dir/xvfb.pid"
    fi
    rm -f "$dir/display"
}

case "$action" in
start)
    stop_session
    [ -f "$pristine/system.reg" ] || make_pristine
    rm -rf "$dir/prefix"
    mkdir -p "$dir"
    cp -a "$pristine" "$dir/prefix"

    # The display's number arrives on the descriptor given to -displayfd once it accepts clients.
    rm -f "$dir/display"
    setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$dir/display" >"$dir/xvfb.log" 2>&1 </dev/null &
    echo $! >"$dir/xvfb.pid"
    for _ in $(seq 100); do
        [ -s "$dir/display" ] && break
        sleep 0.1
    done
    [ -s "$dir/display" ] || { echo "wine-env: Xvfb did not start" >&2; cat "$dir/xvfb.log" >&2; exit 1; }
    tr -d '\n' <"$dir/display" >"$dir/display.tmp" && mv "$dir/display.tmp" "$dir/display"

    WINEPREFIX="$dir/prefix" setsid "$server" -p >/dev/null 2>&1 </dev/null
    # Start the session's services and desktop now, detached from every pipe: started by the first
    # test they would inherit its output and keep ctest waiting for it long after the test ended.
    WINEPREFIX="$dir/prefix" DISPLAY=":$(cat "$dir/display")" "$loader" wineboot >/dev/null 2>&1 </dev/null
    WINEPREFIX="$dir/prefix" DISPLAY=":$(cat "$dir/display")" setsid "$loader" explorer /desktop >/dev/null 2>&1 </dev/null &
    echo "wine-env: prefix $dir/prefix, display :$(cat "$dir/display")"
    ;;
stop)
    stop_session
    ;;
*)
    echo "usage: $0 start|stop DIR LOADER" >&2
    exit 2
    ;;
esac
