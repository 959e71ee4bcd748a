#!/usr/bin/env bash
# Runs a Windows program under 32-bit Wine with the project's own prefix.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${QX_WINEPREFIX:-$here/build/wineprefix}
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
if ! command -v wine >/dev/null 2>&1; then
    echo "wine-run: wine is not installed (run scripts/setup.sh)" >&2
    exit 127
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w || true
fi
exec wine "$@"
