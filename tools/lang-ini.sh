#!/usr/bin/env bash
# tools/lang-ini.sh SOURCE OUT: turns a language's UTF-8 source (lang/*.ini) into the lang.ini the
# program reads: UTF-16LE with its byte-order mark, CR LF line ends, the source's notes left out.
set -euo pipefail
src=$1 out=$2
mkdir -p "$(dirname "$out")"
{
    printf '\xff\xfe'
    grep -v '^;' "$src" | sed 's/$/\r/' | iconv -f UTF-8 -t UTF-16LE
} >"$out.tmp"
mv "$out.tmp" "$out"
