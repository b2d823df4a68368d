#!/usr/bin/env bash
# tools/wine-run.sh DIR LOADER PROGRAM [ARGS...]: runs a Windows program under Wine inside the
# session that tools/wine-env.sh started in DIR (its prefix and its Xvfb display). Exits with the
# program's exit code.
set -euo pipefail
dir=$1 loader=$2
shift 2
export WINEPREFIX="$dir/prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ -s "$dir/display" ]; then
    export DISPLAY=":$(cat "$dir/display")"
fi
exec "$loader" "$@"
