#!/usr/bin/env bash
# Installs what the builds need on a Debian 12 machine, as root, only when it is missing.
# Safe to run again: it does nothing when everything is in place.
set -euo pipefail

need=()
have_cmd() { command -v "$1" >/dev/null 2>&1; }
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "ok installed"; }

for p in cmake ninja-build g++ libgtest-dev libgmock-dev googletest libbenchmark-dev libbz2-dev \
         libicu-dev python3 dpkg-dev; do
    have_pkg "$p" || need+=("$p")
done
want_windows=${QX_SKIP_WINDOWS:-0}
if [ "$want_windows" != 1 ]; then
    for p in g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix mingw-w64-tools libwine-dev; do
        have_pkg "$p" || need+=("$p")
    done
    have_pkg wine32:i386 || need+=("wine32:i386")
    have_pkg wine || need+=("wine")
fi

if [ ${#need[@]} -gt 0 ]; then
    echo "setup: installing ${need[*]}"
    if [ "$(id -u)" != 0 ]; then
        echo "setup: must run as root to install packages" >&2
        exit 1
    fi
    if printf '%s\n' "${need[@]}" | grep -q ':i386'; then
        dpkg --add-architecture i386
    fi
    # A mirror that fails to serve one index is not fatal; a missing package is caught below.
    apt-get update -qq || true
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq -t bookworm "${need[@]}" \
        || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}"
fi

for c in cmake ninja g++; do
    have_cmd "$c" || { echo "setup: $c is still missing" >&2; exit 1; }
done
if [ "$want_windows" != 1 ]; then
    for c in i686-w64-mingw32-g++-posix i686-w64-mingw32-widl wine; do
        have_cmd "$c" || { echo "setup: $c is still missing" >&2; exit 1; }
    done
fi
