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
mkdir -p "$product/bin" "$product/data/cache"
cp "$bin/uninstall.exe" "$product/"
cp "$bin/marker_program.exe" "$product/bin/cleanup.exe"
echo "Sample Tool" >"$product/readme.txt"
printf 'MZ sample program\n' >"$product/bin/sample.exe"
printf 'MZ sample extension\n' >"$product/bin/sampleext.dll"
printf 'sample font\n' >"$product/bin/sample.ttf"
printf 'cached\n' >"$product/data/cache/index.dat"
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
;"$product_win\\bin\\cleanup.exe" C:\\cleanup-ran-in.txt
;
;
$product_win\\bin\\sample.exe
$product_win\\readme.txt
$product_win\\data\\cache\\index.dat
C:\\windows\\system32\\sampleshared.dll
%$product_win\\bin\\sampleext.dll
&$product_win\\bin\\sample.ttf
$product_win\\bin\\cleanup.exe
-boot\\sample.drv
sampledriver
:HKEY_LOCAL_MACHINE\\SOFTWARE\\Sample Maker\\Sample Tool\\InstallDir
:HKEY_CURRENT_USER\\Software\\Sample Maker\\Sample Tool\\Settings\\Window
LOG
run reg add "$uninstall_key\SampleTool" /v DisplayName /d 'Sample Tool 2.0' /f >/dev/null
run reg add "$uninstall_key\SampleTool" /v UninstallString /d "\"$product_win\\uninstall.exe\"" /f >/dev/null
run reg add 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\SharedDLLs' /v 'C:\windows\system32\sampleshared.dll' \
    /t REG_DWORD /d 1 /f >/dev/null
run reg add 'HKLM\SOFTWARE\Sample Maker\Sample Tool' /v InstallDir /d "$product_win" /f >/dev/null
run reg add 'HKCU\Software\Sample Maker\Sample Tool\Settings' /v Window /d '0,0,640,480' /f >/dev/null
printf '[boot]\r\nsample.drv=sampledriver\r\n' >>"$prefix/drive_c/windows/system.ini"
show_entry SampleTool

# What the product put on the machine, and how to tell whether it is still there.
items=(
    "file|$product_win\\bin\\sample.exe"
    "file|$product_win\\bin\\sampleext.dll"
    "file|$product_win\\bin\\sample.ttf"
    "file|$product_win\\bin\\cleanup.exe"
    "file|$product_win\\readme.txt"
    "file|$product_win\\data\\cache\\index.dat"
    "dir|$product_win\\bin"
    "dir|$product_win\\data"
    "file|$product_win\\lang.ini"
    "file|$product_win\\uninstall.log"
    "file|$product_win\\uninstall_uni.log"
    "file|$product_win\\uninstall.exe"
    "file|C:\\windows\\system32\\sampleshared.dll"
    "ini|[boot] sample.drv=sampledriver"
    "reg|HKLM\\SOFTWARE\\Sample Maker|InstallDir"
    "reg|HKCU\\Software\\Sample Maker|Window"
    "reg|$uninstall_key\\SampleTool|DisplayName"
)
unix_path() { local p=${1//\\//}; echo "$prefix/drive_c/${p#C:/}"; }
state() {
    local kind=${1%%|*} rest=${1#*|}
    case "$kind" in
    file) [ -f "$(unix_path "$rest")" ] ;;
    dir) [ -d "$(unix_path "$rest")" ] ;;
    ini) grep -q '^sample.drv=sampledriver' "$prefix/drive_c/windows/system.ini" ;;
    reg) run reg query "${rest%%|*}" /s 2>/dev/null | grep -q "${rest#*|}" ;;
    esac && echo present || echo gone
}
declare -A before
for item in "${items[@]}"; do before[$item]=$(state "$item"); done

echo
echo "== 3. What the run would do: $product_win\\uninstall.exe /plan=C:\\plan.txt (changes nothing)"
plan_status=0
run "$product_win\\uninstall.exe" '/plan=C:\plan.txt' || plan_status=$?
plan=$(tr -d '\r' <"$prefix/drive_c/plan.txt")
grep '^# [a-z ]*:\|^# uninstall' <<<"$plan" | grep -v '^# \(warnings\|summary\|would\|exit\|duration\)'
grep -v '^#' <<<"$plan" | column -t -s $'\t' | sed 's/^/    /'
grep '^# \(warnings\|summary\|would\|exit\|duration\)' <<<"$plan"
echo "(exit code $plan_status)"

echo
echo "== 4. Running $product_win\\uninstall.exe: the driver confirms, answers the system-file question and presses Finish"
shot="$root/build/demo/wizard.png"
shots="$root/build/demo/shots"
rm -rf "$shot" "$shots"
mkdir -p "$shots"
status=0
run "$bin/drive_uninstall.exe" --timeout 120 --finish \
    --answer "Do you want to remove=yes" --answer "sampleshared.dll=1084" \
    "$product_win\\uninstall.exe" >"$root/build/demo/driver.log" 2>&1 &
driver=$!
n=0
while kill -0 "$driver" 2>/dev/null; do
    DISPLAY=":$(cat "$session/display")" import -window root "$shots/$(printf %04d $n).png" 2>/dev/null || true
    n=$((n + 1))
    sleep 0.3
done
# The driver waits a moment with Finish enabled before pressing it: the last picture that shows a
# window shows the wizard at its end.
for picture in $(ls -r "$shots"/*.png 2>/dev/null); do
    if [ "$(identify -format %k "$picture" 2>/dev/null || echo 1)" -gt 2 ]; then
        cp "$picture" "$shot"
        break
    fi
done
wait "$driver" || status=$?
cat "$root/build/demo/driver.log"

echo
echo "== 5. Before and after (exit code $status)"
printf '%-60s %-8s %s\n' "what the product installed" before after
for item in "${items[@]}"; do
    label=${item#*|}
    printf '%-60s %-8s %s\n' "${label//|/ }" "${before[$item]}" "$(state "$item")"
done
echo "cleanup program ran in: $(cat "$prefix/drive_c/cleanup-ran-in.txt" 2>/dev/null || echo '(did not run)')"
echo
echo "Waiting for the next restart (PendingFileRenameOperations):"
run reg query 'HKLM\SYSTEM\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations 2>/dev/null |
    tr -d '\r' | grep -v '^$' | sed 's/\\0/\n        /g' || echo "    (nothing)"
echo
echo "Screenshot of the wizard: $shot"
