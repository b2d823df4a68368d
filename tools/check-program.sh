#!/usr/bin/env bash
# tools/check-program.sh EXE TRIPLE: checks the built uninstaller's form: a PE for the target
# machine, the GUI subsystem, no symbol table, and the icon 101 among its resources.
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
echo "check-program: $exe is a stripped GUI program with icon 101 ($triple)"
