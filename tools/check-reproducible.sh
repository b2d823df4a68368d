#!/usr/bin/env bash
# tools/check-reproducible.sh: builds the package twice from clean clones of the last commit, in
# folders of different names and depths, at different times, with a different time zone and umask,
# and checks that uninstall.exe and the zip come out byte for byte the same. Changes not committed
# are not part of it: the package is what the commit gives.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
commit=$(git -C "$root" rev-parse HEAD)
work=$(mktemp -d "${TMPDIR:-/tmp}/reproducible.XXXXXX")
trap 'rm -rf "$work"' EXIT

build_in() {
    local dir=$1 zone=$2 mask=$3
    git clone -q --no-hardlinks "$root" "$dir"
    git -C "$dir" checkout -q "$commit"
    (
        cd "$dir"
        umask "$mask"
        export TZ=$zone
        unset SOURCE_DATE_EPOCH SIGN_CERT SIGN_KEY SIGN_PKCS12
        cmake --preset windows >/dev/null
        cmake --build --preset windows --target uninstall languages >/dev/null
        bash tools/dist.sh build/windows build/dist >/dev/null
    )
}

echo "check-reproducible: first build of $commit"
build_in "$work/a/uninstall" UTC 022
sleep 2 # a later second: any time stamp taken from the clock would differ
echo "check-reproducible: second build, elsewhere and later"
build_in "$work/second/deeper/folder/another-name" Asia/Tokyo 002

status=0
first=$work/a/uninstall second=$work/second/deeper/folder/another-name
for file in build/windows/bin/uninstall.exe build/dist/*.zip; do
    for path in "$first"/$file; do
        relative=${path#"$first"/}
        if cmp -s "$path" "$second/$relative"; then
            echo "same: $relative ($(sha256sum <"$path" | cut -c1-16)...)"
        else
            echo "DIFFERENT: $relative" >&2
            status=1
        fi
    done
done
exit $status
