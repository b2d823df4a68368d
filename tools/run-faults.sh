#!/usr/bin/env bash
# tools/run-faults.sh BUILD LOADER [OPTIONS...]: every row of the fault matrix (BUILD/bin/fault_matrix.exe)
# in a Wine session of its own (BUILD/faults-wine). Where this machine lets us mount, the Windows
# directory is put on a small file system first, so that the full-disk rows can fill it:
#   - a 4 MB tmpfs at BUILD/faults-wine/small, which Wine sees as drive T:;
#   - an overlay on drive_c/windows whose changes go to that tmpfs: C:\windows reads as before, and
#     every file written there takes the tmpfs's space.
# Without mount (no root, or a container that forbids it) those rows say "skipped: cannot mount".
# OPTIONS go to the matrix (--fast, --only=TEXT, --skip=TEXT, --seed=N).
# After the matrix, the power-loss stage (tools/power-loss.sh) runs in prefixes of its own, unless
# OPTIONS ask for the fast subset, the attacks, or rows that it is not.
set -euo pipefail
build=$(cd "$1" && pwd)
loader=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
dir=$build/faults-wine
small=$dir/small
windows=$dir/prefix/drive_c/windows

cleanup() {
    bash "$here/wine-env.sh" stop "$dir" "$loader" || true
    # The session is gone; a process that still holds a file there gives way to a lazy unmount.
    for point in "$windows" "$small"; do
        if mountpoint -q "$point" 2>/dev/null; then
            umount "$point" 2>/dev/null || umount -l "$point" || true
        fi
    done
}
trap cleanup EXIT

# A prefix left mounted by an earlier run that was killed is unmounted before it is replaced.
for point in "$windows" "$small"; do
    if mountpoint -q "$point" 2>/dev/null; then umount -l "$point" || true; fi
done
bash "$here/wine-env.sh" start "$dir" "$loader"

options=()
mkdir -p "$small"
if mount -t tmpfs -o size=4m,mode=0755 tmpfs "$small" 2>/dev/null; then
    mkdir -p "$small/upper" "$small/work"
    if mount -t overlay overlay -o "lowerdir=$windows,upperdir=$small/upper,workdir=$small/work" "$windows" \
        2>/dev/null; then
        ln -sfn "$small" "$dir/prefix/dosdevices/t:"
        options=(--tiny=T:)
        echo "run-faults: C:\\windows and T: on a 4 MB tmpfs ($small)"
    else
        umount "$small"
        echo "run-faults: cannot mount an overlay here: the full-disk rows are skipped"
    fi
else
    echo "run-faults: cannot mount a tmpfs here: the full-disk rows are skipped"
fi

power=1
for option in "$@"; do
    case $option in
    --fast | --attacks) power=0 ;;
    --only=*) [[ "the Wine server killed mid-run (power loss)" == *"${option#--only=}"* ]] || power=0 ;;
    --skip=*) [[ "the Wine server killed mid-run (power loss)" != *"${option#--skip=}"* ]] || power=0 ;;
    esac
done

status=0
bash "$here/wine-run.sh" "$dir" "$loader" "$build/bin/fault_matrix.exe" "${options[@]}" "$@" || status=$?
if [ "$power" = 1 ]; then
    bash "$here/power-loss.sh" "$build" "$loader" "$dir/display" || status=1
fi
exit "$status"
