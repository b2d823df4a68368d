#!/usr/bin/env bash
# tools/notices.sh OUT: writes the notice file for what the toolchain links statically into
# uninstall.exe. The texts come from the Debian packages of that very toolchain, so the notice
# follows the libraries actually linked; a missing piece fails the package rather than ship it short.
set -euo pipefail
out=$1
mingw=/usr/share/doc/mingw-w64-common/copyright
gcc=/usr/share/doc/gcc-mingw-w64-base/copyright
gpl3=/usr/share/common-licenses/GPL-3
for f in "$mingw" "$gcc" "$gpl3"; do
    [ -s "$f" ] || { echo "notices: $f is missing" >&2; exit 1; }
done

# The copyright file's paragraphs for the C runtime and the thread library, and the licence
# paragraphs they name. Paragraphs are separated by blank lines (RS="").
mingw_parts() {
    awk 'BEGIN { RS = ""; ORS = "\n\n" }
        FNR == NR {
            if ($0 ~ /^Files:/) {
                files = $0; sub(/\nCopyright:.*/, "", files)
                if ((files ~ /^Files: \*$/ || files ~ /mingw-w64-crt\// || files ~ /winpthreads\//) &&
                    files !~ /tests_pthread/) {
                    print
                    if (match($0, /\nLicense: [^\n]*/)) {
                        name = substr($0, RSTART + 10, RLENGTH - 10)
                        n = split(name, names, / and | or /)
                        for (i = 1; i <= n; ++i) wanted[names[i]] = 1
                    }
                }
            }
            next
        }
        /^License: / { name = $0; sub(/^License: /, "", name); sub(/\n.*/, "", name); if (name in wanted) print }
    ' "$mingw" "$mingw"
}

{
    cat <<'HEAD'
Notices for uninstall.exe
=========================

uninstall.exe is one statically linked program. Besides its own code it holds parts of:

1. the mingw-w64 runtime (the C runtime start-up and support code, and its headers' inline code),
2. winpthreads, the mingw-w64 thread library,
3. libgcc and libstdc++ of GCC, under the GNU General Public License version 3 with the GCC
   Runtime Library Exception 3.1, which allows them to be combined with a program of any licence.

Their copyright notices and licences follow, as their Debian packages carry them.


1 and 2. mingw-w64 runtime and winpthreads
------------------------------------------

HEAD
    mingw_parts
    cat <<'HEAD'

3. libgcc and libstdc++
-----------------------

HEAD
    sed -n '/^The following runtime libraries are licensed/,/^ - libvtv/p' "$gcc"
    echo
    sed -n '/^GCC RUNTIME LIBRARY EXCEPTION/,/requirements of the license of GCC\./p' "$gcc"
    printf '\n\nThe GNU General Public License, version 3\n-----------------------------------------\n\n'
    cat "$gpl3"
} >"$out.tmp"
for wanted in "winpthreads" "mingw-w64-crt" "GCC RUNTIME LIBRARY EXCEPTION" "GNU GENERAL PUBLIC LICENSE" "License: ZPL-2.1"; do
    grep -q "$wanted" "$out.tmp" || { echo "notices: '$wanted' not found in the sources" >&2; exit 1; }
done
mv "$out.tmp" "$out"
