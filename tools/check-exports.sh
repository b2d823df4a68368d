#!/usr/bin/env bash
# tools/check-exports.sh TRIPLE LIBRARY=NAME,NAME... [LIBRARY=...]: checks that each test library
# exports exactly the listed names (an empty list: none), every one plain. On i686 a stdcall function
# exported by __declspec(dllexport) comes out decorated (DllUnregisterServer@0), which GetProcAddress
# of the plain name does not find; a library linked without an export list exports every global
# symbol.
set -euo pipefail
triple=$1
shift
[ $# -gt 0 ] || { echo "usage: $0 TRIPLE LIBRARY=NAME,NAME... [LIBRARY=...]" >&2; exit 2; }
failed=0 library=
fail() {
    echo "check-exports: $library: $*" >&2
    failed=1 wrong=1
}

for item in "$@"; do
    library=${item%=*} wanted=${item##*=} wrong=0
    if ! headers=$("$triple-objdump" -p "$library" 2>&1); then
        fail "cannot be read: $headers"
        continue
    fi
    # The names follow the "[Ordinal/Name Pointer] Table" line, one "[   n] Name" a line, up to a blank.
    exported=$(awk '/\[Ordinal\/Name Pointer\] Table/ { names = 1; next }
                    names && NF == 0 { names = 0 }
                    names { sub(/^[[:space:]]*\[[[:space:]]*[0-9]+\][[:space:]]*/, ""); print }' <<<"$headers" | sort)
    expected=$(tr ',' '\n' <<<"$wanted" | sed '/^$/d' | sort)

    while read -r name; do
        [ -n "$name" ] || continue
        case "$name" in
        *@*) fail "exports the decorated name $name" ;;
        esac
        grep -qxF -- "$name" <<<"$expected" || fail "exports $name, which it should not"
    done <<<"$exported"
    while read -r name; do
        [ -n "$name" ] || continue
        grep -qxF -- "$name" <<<"$exported" || fail "does not export $name"
    done <<<"$expected"
    if [ "$wrong" = 0 ]; then
        echo "check-exports: $library exports ${wanted:-nothing}"
    fi
done
exit "$failed"
