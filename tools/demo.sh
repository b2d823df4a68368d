#!/usr/bin/env bash
# tools/demo.sh: installs a sample product into a fresh Wine prefix and runs its uninstaller, driven
# like a user would drive it, then shows what the uninstaller showed and what is left of the product.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

if bash tools/wine32-usable.sh; then
    preset=windows loader=/usr/lib/wine/wine
else
    # This kernel runs no 32-bit programs: show the 64-bit build of the same sources.
    preset=windows64 loader=/usr/lib/wine/wine64
    cmake --preset windows64 >/dev/null
    cmake --build --preset windows64 >/dev/null
fi
bin="$root/build/$preset/bin"
session="$root/build/demo/wine"
prefix="$session/prefix"
run() { tools/wine-run.sh "$session" "$loader" "$@"; }
utf16() { iconv -f UTF-8 -t UTF-16LE; }

tools/wine-env.sh start "$session" "$loader" </dev/null
trap 'tools/wine-env.sh stop "$session" "$loader"' EXIT

product_win='C:\Program Files\Sample Tool'
product="$prefix/drive_c/Program Files/Sample Tool"
system_dir="$prefix/drive_c/windows/system32"

uninstall_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall'
# Prints a product's entry in the list of installed programs, or says that there is none.
show_entry() {
    echo "Uninstall entry $1:"
    local entry
    if entry=$(run reg query "$uninstall_key\\$1" 2>&1); then
        printf '%s\n' "$entry" | tr -d '\r' | grep -v '^$'
    else
        echo "    (none)"
    fi
}

echo
echo "== 1. The uninstaller without its log: Yes removes its entry from the installed programs"
mkdir -p "$prefix/drive_c/Program Files/Lost Tool"
cp "$bin/uninstall.exe" "$prefix/drive_c/Program Files/Lost Tool/"
run reg add "$uninstall_key\Lost Tool" /v DisplayName /d 'Lost Tool' /f >/dev/null
show_entry 'Lost Tool'
run "$bin/drive_uninstall.exe" --answer "Remove uninstallation option?=yes" \
    'C:\Program Files\Lost Tool\uninstall.exe' || true
show_entry 'Lost Tool'

echo
echo "== 2. Installing Sample Tool into $product_win"
mkdir -p "$product/bin"
cp "$bin/uninstall.exe" "$product/"
echo "Sample Tool" >"$product/readme.txt"
printf 'MZ sample program\n' >"$product/bin/sample.exe"
printf 'MZ sample extension\n' >"$product/bin/sampleext.dll"
printf 'sample font\n' >"$product/bin/sample.ttf"
printf 'MZ shared library\n' >"$system_dir/sampleshared.dll"
{
    printf '\xff\xfe'
    sed 's/$/\r/' tools/demo/product/lang.ini.txt | utf16
} >"$product/lang.ini"
printf 'Sample Tool 2.0 \xe2\x80\x93 Demo' | utf16 >"$product/uninstall_uni.log"
sed 's/$/\r/' >"$product/uninstall.log" <<LOG
Sample Tool 2.0 - Demo
SampleTool
English
$product_win\\bin\\sample.exe
$product_win\\readme.txt
C:\\windows\\system32\\sampleshared.dll
%$product_win\\bin\\sampleext.dll
&$product_win\\bin\\sample.ttf
-boot\\sample.drv
sampledriver
:HKEY_LOCAL_MACHINE\\SOFTWARE\\Sample Maker\\Sample Tool\\InstallDir
:HKEY_CURRENT_USER\\Software\\Sample Maker\\Sample Tool\\Settings\\Window
LOG
run reg add "$uninstall_key\SampleTool" /v DisplayName /d 'Sample Tool 2.0' /f >/dev/null
run reg add "$uninstall_key\SampleTool" /v UninstallString /d "\"$product_win\\uninstall.exe\"" /f >/dev/null
run reg add 'HKLM\SOFTWARE\Sample Maker\Sample Tool' /v InstallDir /d "$product_win" /f >/dev/null
run reg add 'HKCU\Software\Sample Maker\Sample Tool\Settings' /v Window /d '0,0,640,480' /f >/dev/null
printf '[boot]\r\nsample.drv=sampledriver\r\n' >>"$prefix/drive_c/windows/system.ini"
find "$product" -type f | sed "s|$prefix/drive_c|C:|" | sort
show_entry SampleTool

echo
echo "== 3. Running $product_win\\uninstall.exe"
status=0
run "$bin/drive_uninstall.exe" --timeout 120 \
    --answer "Do you want to remove=yes" --answer "Remove uninstallation option?=no" \
    "$product_win\\uninstall.exe" || status=$?

echo
echo "== 4. What is left (exit code $status)"
find "$prefix/drive_c/Program Files/Sample Tool" -type f 2>/dev/null | sed "s|$prefix/drive_c|C:|" | sort
show_entry SampleTool
