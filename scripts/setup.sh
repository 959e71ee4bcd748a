#!/usr/bin/env bash
# Installs what the builds need on a Debian 12 machine, as root, only when it is missing.
# Safe to run again: it does nothing when everything is in place.
#   setup.sh               Linux and both Windows builds (64-bit Wine, and 32-bit Wine where the
#                          machine executes 32-bit programs, see probe-ia32.sh, or can be made to
#                          through the qemu-i386 emulator, see emulate-ia32.sh)
#   setup.sh --linux-only  the Linux build alone
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

linux_only=0
{ [ "${1:-}" = --linux-only ] || [ "${QX_SKIP_WINDOWS:-0}" = 1 ]; } && linux_only=1

need=()
have_cmd() { command -v "$1" >/dev/null 2>&1; }
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "ok installed"; }
updated=0
apt_install() { # [--lean] PACKAGE...: --lean leaves the recommended packages out
    local lean=()
    [ "$1" = --lean ] && { lean=(--no-install-recommends); shift; }
    echo "setup: installing $*"
    if [ "$(id -u)" != 0 ]; then
        echo "setup: must run as root to install packages" >&2
        exit 1
    fi
    if printf '%s\n' "$@" | grep -q ':i386' && ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
        updated=0
    fi
    # A mirror that fails to serve one index is not fatal; a missing package is caught below.
    [ "$updated" = 1 ] || apt-get update -qq || true
    updated=1
    # -t bookworm keeps the amd64 and i386 halves of Wine at one version.
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${lean[@]}" -t bookworm "$@" ||
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${lean[@]}" "$@"
}

for p in cmake ninja-build g++ libgtest-dev libgmock-dev googletest libbenchmark-dev libbz2-dev \
         libicu-dev python3 dpkg-dev; do
    have_pkg "$p" || need+=("$p")
done
ia32=0     # 32-bit programs run, natively or emulated
native32=1 # ... natively (where the Windows builds are wanted at all)
if [ "$linux_only" != 1 ]; then
    for p in g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix \
             gcc-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-i686 libwine-dev \
             wine64 python3-pefile; do
        have_pkg "$p" || need+=("$p")
    done
    # 32-bit Wine only where it can run: on a machine without 32-bit execution the package
    # installs, but every program it starts fails with "Exec format error". There the kernel is
    # first given qemu-i386 as the handler of 32-bit programs. qemu-user comes without its
    # recommended handlers for every architecture (lean): only ours is registered.
    if bash "$here/emulate-ia32.sh" --active || ! bash "$here/probe-ia32.sh" >/dev/null; then
        native32=0
        have_pkg qemu-user || apt_install --lean qemu-user
        if why=$(bash "$here/emulate-ia32.sh"); then
            echo "setup: 32-bit programs run here through the qemu-i386 emulator"
        else
            echo "setup: 32-bit programs cannot run here: $why"
        fi
    fi
    if bash "$here/probe-ia32.sh" >/dev/null; then
        ia32=1
        have_pkg wine32:i386 || need+=("wine32:i386")
        have_pkg wine || need+=("wine")
    fi
fi
# Where 32-bit programs do not run natively, the core's suites run as a 32-bit Linux program
# under qemu-i386 (see test.sh).
if [ "$linux_only" != 1 ] && [ "$native32" != 1 ]; then
    have_pkg g++-multilib || need+=("g++-multilib")
fi
[ ${#need[@]} -eq 0 ] || apt_install "${need[@]}"

for c in cmake ninja g++; do
    have_cmd "$c" || { echo "setup: $c is still missing" >&2; exit 1; }
done
if [ "$linux_only" != 1 ]; then
    for c in i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-widl; do
        have_cmd "$c" || { echo "setup: $c is still missing" >&2; exit 1; }
    done
    [ -x /usr/lib/wine/wine64 ] || { echo "setup: 64-bit Wine (/usr/lib/wine/wine64) is still missing" >&2; exit 1; }
    if [ "$native32" != 1 ]; then
        have_cmd qemu-i386 || { echo "setup: qemu-i386 is still missing" >&2; exit 1; }
    fi
    if [ "$ia32" = 1 ] && [ ! -x /usr/lib/wine/wine ]; then
        echo "setup: 32-bit Wine (/usr/lib/wine/wine) is still missing" >&2
        exit 1
    fi
fi
