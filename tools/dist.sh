#!/usr/bin/env bash
# tools/dist.sh BUILD OUT: packages the shipped program of the build tree BUILD (its uninstall.exe
# and lang/ already built) as OUT/uninstall-<version>.zip, the same bytes wherever and whenever the
# same commit is packaged. Signs the program first when a certificate is given (tools/sign.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)

# The version's one home, which the version resource and the removal log read too.
version=$(sed -n 's/^#define UNINSTALL_VERSION_TEXT "\(.*\)"$/\1/p' "$root/support/version.h")
[ -n "$version" ] || { echo "dist: no version in support/version.h" >&2; exit 1; }
# Every time stamp is the last commit's, so that a package says when its source was, not when it
# was built.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct)
fi
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C

name=uninstall-$version
stage=$out/$name
rm -rf "$stage" "$out/$name.zip" "$out/$name.zip.sha256"
mkdir -p "$stage/lang" "$stage/docs"

if SIGN_CAFILE=${SIGN_CAFILE:-} bash "$root/tools/sign.sh" "$build/bin/uninstall.exe" "$stage/uninstall.exe"; then
    signed="signed with the vendor's certificate"
else
    [ $? -eq 1 ] || exit 1 # a certificate was given but signing or its check failed
    cp "$build/bin/uninstall.exe" "$stage/uninstall.exe"
    signed="NOT SIGNED: sign it with your own code-signing certificate before you ship it (docs/shipping.md)"
fi
for dir in "$build"/bin/lang/*/; do
    language=$(basename "$dir")
    mkdir -p "$stage/lang/$language"
    cp "$dir/lang.ini" "$stage/lang/$language/lang.ini"
done
[ -f "$stage/lang/en/lang.ini" ] || { echo "dist: the languages are not built in $build" >&2; exit 1; }
for doc in shipping.md security.md uninstall-log.md lang-ini.md command-line.md; do
    cp "$root/docs/$doc" "$stage/docs/$doc"
done
bash "$root/tools/notices.sh" "$stage/NOTICES.txt"
cat >"$stage/README.txt" <<TEXT
Uninstaller $version

uninstall.exe   the uninstaller (32-bit), $signed
lang/           one lang.ini per language (UTF-16); the installer leaves one of them beside
                uninstall.exe as lang.ini, or one file with all the sections it needs
docs/           how to ship it (shipping.md), what an installer must do for its safety (security.md),
                the log format, the language file, the command line
NOTICES.txt     the licences of the runtime libraries linked into uninstall.exe
SHA256SUMS      the checksums of every other file here: sha256sum -c SHA256SUMS
TEXT
sed -i 's/$/\r/' "$stage/README.txt" # read on Windows
(cd "$stage" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | sort | xargs sha256sum >SHA256SUMS)

# Sorted entries, the commit's time on every one, fixed permissions, no extra attributes (owner,
# other time stamps): only the content and the names reach the archive.
find "$stage" -type d -exec chmod 755 {} + -o -type f -exec chmod 644 {} +
find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
(cd "$out" && find "$name" | sort | zip -q -X -D -@ "$name.zip")
touch -d "@$SOURCE_DATE_EPOCH" "$out/$name.zip"
(cd "$out" && sha256sum "$name.zip" >"$name.zip.sha256")
echo "dist: $out/$name.zip ($(stat -c %s "$out/$name.zip") bytes), uninstall.exe ${signed%%:*}"
