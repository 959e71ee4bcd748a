#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's own 64-bit prefix, where the 64-bit and the
# 32-bit builds live side by side as on a 64-bit Windows.
#   wine-run.sh [--64|--32] PROGRAM [ARGS...]
# --64 (the default) or --32 names the program's bitness. The system programs regsvr32, reg, cscript
# and wscript are taken from System32 (64-bit) or SysWOW64 (32-bit) accordingly, so each writes
# its own registry view. The 64-bit loader starts 32-bit programs through the 32-bit one; where
# the machine cannot execute 32-bit code, --32 fails at once with the reason instead.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bits=64
case "${1:-}" in
--64) shift ;;
--32) bits=32; shift ;;
esac
[ $# -ge 1 ] || { echo "usage: wine-run.sh [--64|--32] PROGRAM [ARGS...]" >&2; exit 2; }

export WINEPREFIX=${QX_WINEPREFIX:-$here/build/wineprefix-win64}
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# Read only by the qemu-i386 emulator, where it runs the 32-bit programs (emulate-ia32.sh): a
# guest address space of 2 GiB and 16 MiB. The emulator puts the guest's stack at the top of its
# space, so with 2 GiB exactly the stack covers the page just below 2 GiB that 32-bit Wine needs
# for its shared data; with the whole 4 GiB every mapping the Wine loader makes searches the
# reserved span page by page, and a process takes a minute to start instead of three seconds.
export QEMU_RESERVED_VA=0x81000000
loader=/usr/lib/wine/wine64
if [ ! -x "$loader" ]; then
    echo "wine-run: 64-bit Wine ($loader) is not installed (run scripts/setup.sh)" >&2
    exit 127
fi
if [ "$bits" = 32 ] && ! why=$(bash "$here/scripts/probe-ia32.sh"); then
    echo "wine-run: cannot run the 32-bit program $1: $why" >&2
    exit 126
fi

# wineboot FLAG, unless FILE exists: a lock keeps parallel test programs from running it twice.
boot_once() { # FILE FLAG
    [ ! -f "$1" ] || return 0
    mkdir -p "$WINEPREFIX"
    (
        flock 9
        if [ ! -f "$1" ]; then
            # An update is made only when the prefix's stamp does not match this Wine.
            [ "$2" != -u ] || rm -f "$WINEPREFIX/.update-timestamp"
            "$loader" wineboot "$2" >/dev/null 2>&1 || true
            /usr/lib/wine/wineserver -w || true
        fi
    ) 9>"$WINEPREFIX.lock"
}
# The prefix is made once. One made before 32-bit Wine was installed has no 32-bit system: it
# gets one before its first 32-bit program.
boot_once "$WINEPREFIX/system.reg" -i
[ "$bits" != 32 ] || boot_once "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" -u

program=$1
shift
case "$program" in
regsvr32 | cscript | wscript | reg)
    if [ "$bits" = 32 ]; then program="C:\\windows\\syswow64\\$program.exe"; else program="C:\\windows\\system32\\$program.exe"; fi
    ;;
esac
exec "$loader" "$program" "$@"
