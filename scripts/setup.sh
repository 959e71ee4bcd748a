#!/usr/bin/env bash
# Installs what the builds need on a Debian 12 machine, as root, only when it is missing.
# Safe to run again: it does nothing when everything is in place.
#   setup.sh               Linux and both Windows builds (64-bit Wine; 32-bit Wine too where the
#                          machine executes 32-bit programs, see probe-ia32.sh)
#   setup.sh --linux-only  the Linux build alone
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

linux_only=0
{ [ "${1:-}" = --linux-only ] || [ "${QX_SKIP_WINDOWS:-0}" = 1 ]; } && linux_only=1

need=()
have_cmd() { command -v "$1" >/dev/null 2>&1; }
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "ok installed"; }

for p in cmake ninja-build g++ libgtest-dev libgmock-dev googletest libbenchmark-dev libbz2-dev \
         libicu-dev python3 dpkg-dev; do
    have_pkg "$p" || need+=("$p")
done
ia32=0
if [ "$linux_only" != 1 ]; then
    for p in g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix \
             gcc-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-i686 libwine-dev \
             wine64 python3-pefile; do
        have_pkg "$p" || need+=("$p")
    done
    # 32-bit Wine only where it can run: on a machine without 32-bit execution the package
    # installs, but every program it starts fails with "Exec format error".
    if bash "$here/probe-ia32.sh" >/dev/null; then
        ia32=1
        have_pkg wine32:i386 || need+=("wine32:i386")
        have_pkg wine || need+=("wine")
    fi
fi
# Without 32-bit execution the core's suites run as a 32-bit program under user-mode emulation
# instead (see test.sh). qemu-user comes without its recommended binfmt handlers (lean): nothing
# but those suites is to run through it.
lean=()
if [ "$linux_only" != 1 ] && [ "$ia32" != 1 ]; then
    have_pkg g++-multilib || need+=("g++-multilib")
    have_pkg qemu-user || lean+=("qemu-user")
fi

if [ $((${#need[@]} + ${#lean[@]})) -gt 0 ]; then
    echo "setup: installing ${need[*]} ${lean[*]}"
    if [ "$(id -u)" != 0 ]; then
        echo "setup: must run as root to install packages" >&2
        exit 1
    fi
    if printf '%s\n' "${need[@]}" | grep -q ':i386'; then
        dpkg --add-architecture i386
    fi
    # A mirror that fails to serve one index is not fatal; a missing package is caught below.
    apt-get update -qq || true
    # -t bookworm keeps the amd64 and i386 halves of Wine at one version.
    if [ ${#need[@]} -gt 0 ]; then
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq -t bookworm "${need[@]}" \
            || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}"
    fi
    if [ ${#lean[@]} -gt 0 ]; then
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${lean[@]}"
    fi
fi

for c in cmake ninja g++; do
    have_cmd "$c" || { echo "setup: $c is still missing" >&2; exit 1; }
done
if [ "$linux_only" != 1 ]; then
    for c in i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-widl; do
        have_cmd "$c" || { echo "setup: $c is still missing" >&2; exit 1; }
    done
    [ -x /usr/lib/wine/wine64 ] || { echo "setup: 64-bit Wine (/usr/lib/wine/wine64) is still missing" >&2; exit 1; }
    if [ "$ia32" != 1 ]; then
        have_cmd qemu-i386 || { echo "setup: qemu-i386 is still missing" >&2; exit 1; }
    fi
    if [ "$ia32" = 1 ] && [ ! -x /usr/lib/wine/wine ]; then
        echo "setup: 32-bit Wine (/usr/lib/wine/wine) is still missing" >&2
        exit 1
    fi
fi
