#!/usr/bin/env bash
# tools/check-program.sh EXE TRIPLE: checks the built uninstaller's form: a PE for the target
# machine, the GUI subsystem, no symbol table, the icon 101 among its resources, and dialogs 108 and
# 117 as built: every control's id, class, exact style and place, and the dialogs' own styles.
set -euo pipefail
exe=$1 triple=$2
fail() { echo "check-program: $exe: $*" >&2; exit 1; }

headers=$("$triple-objdump" -x "$exe")
case "$triple" in
i686-*) grep -q 'file format pei-i386' <<<"$headers" || fail "not a PE32 i386 program" ;;
x86_64-*) grep -q 'file format pei-x86-64' <<<"$headers" || fail "not a PE32+ x86-64 program" ;;
esac
grep -Eq '^Subsystem[[:space:]]+00000002' <<<"$headers" || fail "not a Windows GUI program"
"$triple-nm" "$exe" 2>&1 | grep -q 'no symbols' || fail "symbols left in the program"
wrestool -l "$exe" | grep -q -- '--type=14 --name=101 ' || fail "no icon 101 among the resources"

# A vendor ships this file inside every product: the shipped 32-bit program stays within 400 KB, and
# needs no library beyond those every Windows has (the C and C++ runtimes are linked in).
if [[ $triple == i686-* ]]; then
    size=$(stat -c %s "$exe")
    ((size <= 400 * 1024)) || fail "$size bytes: more than 400 KB"
fi
imports=$(awk '/DLL Name:/ { print toupper($3) }' <<<"$headers" | sort -u | tr '\n' ' ')
[[ $imports == "ADVAPI32.DLL COMCTL32.DLL GDI32.DLL KERNEL32.DLL MSVCRT.DLL USER32.DLL " ]] ||
    fail "imports $imports"

# One line for a dialog resource (an extended template) and one per control, in template order:
#   dialog style=0x... exstyle=0x... size=WxH class=NAME font=POINTS,"FACE"
#   control id=ID class=NAME style=0x... exstyle=0x... rect=X,Y,W,H
# The resource compiler decides some styles on its own (every CONTROL is visible unless the script
# says NOT WS_VISIBLE), so only the built template tells what the dialog manager will create.
built_dialog() {
    wrestool -x --raw --type=5 --name="$1" "$exe" | od -An -v -tu1 | awk '
    { for (i = 1; i <= NF; i++) b[n++] = $i }
    function w(p) { return b[p] + 256 * b[p + 1] }
    function sw(p) { return w(p) >= 32768 ? w(p) - 65536 : w(p) }
    function d(p) { return w(p) + 65536 * w(p + 2) }
    function sd(p) { return d(p) >= 2147483648 ? d(p) - 4294967296 : d(p) }
    # A name or an ordinal at pos (classes by ordinal get their names); moves pos past it.
    function text(   s, c) {
        if (w(pos) == 65535) {
            c = w(pos + 2); pos += 4
            return c == 128 ? "BUTTON" : c == 129 ? "EDIT" : c == 130 ? "STATIC" : "#" c
        }
        for (s = ""; pos < n && (c = w(pos)) != 0; pos += 2) s = s (c < 128 ? sprintf("%c", c) : "?")
        pos += 2
        return s
    }
    END {
        if (n < 26 || w(0) != 1 || w(2) != 65535) { print "not an extended dialog template"; exit }
        style = d(12); count = w(16)
        pos = 26; text(); cls = text(); text()
        font = "none"
        if (int(style / 64) % 2 == 1) { # DS_SETFONT
            points = w(pos); pos += 6
            font = points ",\"" text() "\""
        }
        printf "dialog style=0x%08X exstyle=0x%08X size=%dx%d class=%s font=%s\n", style, d(8), w(22), w(24),
            toupper(cls), font
        for (k = 0; k < count; k++) {
            pos += (4 - pos % 4) % 4
            item = pos; pos += 24
            cls = text(); text(); pos += 2 + w(pos)
            printf "control id=%d class=%s style=0x%08X exstyle=0x%08X rect=%d,%d,%d,%d\n", sd(item + 20),
                toupper(cls), d(item + 8), d(item + 4), sw(item + 12), sw(item + 14), sw(item + 16), sw(item + 18)
        }
    }'
}

WS_POPUP=0x80000000 WS_CHILD=0x40000000 WS_VISIBLE=0x10000000 WS_CAPTION=0x00C00000 WS_SYSMENU=0x00080000
WS_MINIMIZEBOX=0x00020000 WS_GROUP=0x00020000 WS_TABSTOP=0x00010000 DS_MODALFRAME=0x80 DS_SETFONT=0x40
BS_PUSHBUTTON=0 BS_DEFPUSHBUTTON=1 BS_GROUPBOX=7 SS_LEFT=0 SS_CENTER=1 SS_LEFTNOWORDWRAP=0xC PBS_SMOOTH=1
dialog() {
    printf 'dialog style=0x%08X exstyle=0x00000000 size=%s class=TOVUNINST font=8,"MS Sans Serif"\n' $(($1)) "$2"
}
control() { printf 'control id=%s class=%s style=0x%08X exstyle=0x00000000 rect=%s\n' "$1" "$2" $(($3)) "$4"; }

# The wizard's page; the success text (1000) stays hidden until the removal is done.
expected_108=$(
    dialog 'WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME | DS_SETFONT' 317x193
    control -1 BUTTON 'WS_CHILD | WS_VISIBLE | BS_GROUPBOX' 0,32,317,160
    control 1052 STATIC 'WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFTNOWORDWRAP' 7,3,303,11
    control 1055 STATIC 'WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT' 19,40,279,31
    control 1054 MSCTLS_PROGRESS32 'WS_CHILD | WS_VISIBLE | PBS_SMOOTH' 19,106,279,14
    control 1037 STATIC 'WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT' 19,16,279,18
    control 1000 STATIC 'WS_CHILD | WS_GROUP | SS_LEFT' 19,174,279,10
    control 1001 STATIC 'WS_CHILD | WS_GROUP | SS_LEFT' 19,140,279,48
)
# The system-file question: only Yes is a tab stop.
expected_117=$(
    dialog 'WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT' 280x60
    control 1087 STATIC 'WS_CHILD | WS_VISIBLE | WS_GROUP | SS_CENTER' 7,13,266,22
    control 1084 BUTTON 'WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON' 28,39,40,14
    control 1085 BUTTON 'WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON' 78,39,40,14
    control 1086 BUTTON 'WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON' 161,39,40,14
    control 1083 BUTTON 'WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON' 211,39,40,14
)
for id in 108 117; do
    expected=expected_$id
    differences=$(diff <(echo "${!expected}") <(built_dialog $id)) || fail "dialog $id differs from its table (< wanted, > built):
$differences"
done
# The manifest: administrator rights, Common Controls 6, system DPI awareness, the supported systems.
manifest=$(wrestool -x --raw --type=24 --name=1 "$exe" 2>/dev/null | tr -d '\r') || fail "no manifest"
for wanted in 'level="requireAdministrator"' 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' \
    '>true</dpiAware>' '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}' '{35138b9a-5d96-4fbd-8e2d-a2440225f93a}'; do
    grep -qF -- "$wanted" <<<"$manifest" || fail "the manifest lacks $wanted"
done

# The version resource names the product, the file's version and what it does (UTF-16 in the file).
version=$(wrestool -x --raw --type=16 --name=1 "$exe" | tr -d '\0')
for wanted in ProductName Uninstaller FileVersion FileDescription "$(sed -n 's/^#define UNINSTALL_VERSION_TEXT "\(.*\)"/\1/p' \
    "$(dirname "$0")/../support/version.h")"; do
    grep -qF -- "$wanted" <<<"$version" || fail "the version resource lacks $wanted"
done

# The wide user-interface functions come through the program's own table, resolved at run time, so
# that the Windows 95 family can take them from its Unicode layer; only PropertySheetW is imported.
imports=$(sed -n '/DLL Name: USER32.dll/,/^$/p' <<<"$headers")
for name in DefDlgProcW MessageBoxW SetWindowTextW SetDlgItemTextW SendMessageW RegisterClassExW; do
    ! grep -qw "$name" <<<"$imports" || fail "imports $name directly"
done
# Built the same wherever and whenever: no link time in the header, no folder of the build inside.
grep -Eq '^Time/Date[[:space:]]+Thu Jan  1 00:00:00 1970' <<<"$headers" || fail "the header holds the link time"
source_dir=$(cd "$(dirname "$0")/.." && pwd)
! grep -qaF -- "$source_dir" "$exe" || fail "the program holds the build's folder $source_dir"
# Its sources keep their layers: support/ at the bottom, system/ and ui/ on it, uninstall/ (with the
# run's context) on top. Nothing includes from a layer above its own.
upward=$(cd "$source_dir" && {
    grep -rnE '#include "uninstall/' support system ui
    grep -rnE '#include "(system|ui)/' support
} || true)
[[ -z $upward ]] || fail "a source includes from a layer above its own:
$upward"
echo "check-program: $exe is a stripped GUI program with icon 101, dialogs 108 and 117 as designed, its manifest, version and no trace of its build's time or place, from sources in their layers ($triple)"
