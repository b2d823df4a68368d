# tools/wine-server.sh: sourced by the scripts that start or end a Wine session. With $loader set to
# the Wine loader, sets arch (win32 or win64) and server (the wineserver that goes with that loader).
bindir=$(dirname "$loader")
if [ "$(basename "$loader")" = wine64 ]; then
    arch=win64 server="$bindir/wineserver64"
else
    arch=win32 server="$bindir/wineserver32"
fi
[ -x "$server" ] || server="$bindir/wineserver"
