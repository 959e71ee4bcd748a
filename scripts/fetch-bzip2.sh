#!/usr/bin/env bash
# Fetches Debian's bzip2 sources into the build folder for the Windows build (the cross compiler
# has no libbz2). Prints the folder that holds bzlib.c. The sources are never committed.
set -euo pipefail
dest=${1:?usage: fetch-bzip2.sh DEST}
mkdir -p "$dest"
found=$(find "$dest" -maxdepth 2 -name bzlib.c -printf '%h\n' 2>/dev/null | head -n 1)
if [ -n "$found" ]; then
    echo "$found"
    exit 0
fi
if ! grep -rqsE '^(deb-src .*bookworm|Types: .*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/ 2>/dev/null; then
    uri=$(grep -rhs -m1 '^URIs:' /etc/apt/sources.list.d/*.sources 2>/dev/null | awk '{print $2}' || true)
    key=$(grep -rhs -m1 '^Signed-By:' /etc/apt/sources.list.d/*.sources 2>/dev/null | awk '{print $2}' || true)
    {
        echo "Types: deb-src"
        echo "URIs: ${uri:-http://deb.debian.org/debian}"
        echo "Suites: bookworm"
        echo "Components: main"
        [ -n "$key" ] && echo "Signed-By: $key"
    } > /etc/apt/sources.list.d/qx-bzip2-src.sources
    apt-get update -qq >&2 || true
fi
(cd "$dest" && apt-get source --download-only bzip2 >&2)
tarball=$(ls "$dest"/bzip2_*.orig.tar.* | head -n 1)
tar -xf "$tarball" -C "$dest"
found=$(find "$dest" -maxdepth 2 -name bzlib.c -printf '%h\n' | head -n 1)
[ -n "$found" ] || { echo "fetch-bzip2: no bzlib.c after unpacking" >&2; exit 1; }
echo "$found"
