#!/usr/bin/env bash
# tools/wine32-usable.sh: succeeds when this machine runs 32-bit Wine at native speed. Some kernels
# are built without 32-bit program support; there wine32 fails to start, or runs only through a
# user-mode emulator at a small fraction of the speed, and the 64-bit build of the same sources
# carries the Wine tests instead.
[ -x /usr/lib/wine/wine ] || exit 1
if [ -r /proc/sys/fs/binfmt_misc/qemu-i386 ] && grep -q '^enabled' /proc/sys/fs/binfmt_misc/qemu-i386; then
    exit 1
fi
/usr/lib/wine/wine --version >/dev/null 2>&1
