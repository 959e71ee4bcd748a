#!/usr/bin/env bash
# Registers the freshly built QuenlixCsv.dll into the project's Wine prefix with regsvr32, checks
# the registry after registering, registering again and unregistering, and runs the VBScript and
# JScript suites and the examples through cscript while it is registered.
#
#   run_scripts.sh QuenlixCsv.dll qx_com_regcheck.exe SCRATCH-DIR
#
# Fails on any failed check and on a script that does not reach its last line. Uses
# scripts/wine-run.sh, so QX_WINEPREFIX picks another prefix.
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 QuenlixCsv.dll qx_com_regcheck.exe SCRATCH-DIR" >&2; exit 2; }
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
wine_run="$root/scripts/wine-run.sh"
dll=$(readlink -f "$1")
regcheck_exe=$(readlink -f "$2")
scratch=$3
die() { echo "run_scripts: $*" >&2; exit 1; }
[ -f "$dll" ] && [ -f "$regcheck_exe" ] || die "no DLL at $dll or no checker at $regcheck_exe"
command -v wine >/dev/null 2>&1 || die "wine is not installed: the component cannot be tested"

winpath() { "$wine_run" winepath -w "$1" | tr -d '\r'; } # Wine shows the Linux root as Z:
dllw=$(winpath "$dll")
regsvr() { "$wine_run" regsvr32 /s "$@" "$dllw" || die "regsvr32 $* failed (exit $?)"; }
regcheck() { "$wine_run" "$regcheck_exe" "$@" | tr -d '\r' || die "registry check '$*' failed"; }

# A script passes when it reached its last line, printed no FAIL line and, for a suite, pass lines.
failed=0
run() {
    local name=$1 last=$2 out
    out=$("$wine_run" cscript //nologo "${scratchw}$name" "$scratchw" 2>&1 | tr -d '\r')
    printf '%s\n' "$out"
    if ! grep -qxF "$last" <<<"$out" || grep -q '^FAIL' <<<"$out" ||
        { [[ $name == CsvSuite.* ]] && ! grep -q '^pass ' <<<"$out"; }; then
        echo "run_scripts: $name failed or did not finish (a script error stops cscript silently)" >&2
        failed=1
    fi
}

regsvr
regcheck registered "$dllw"
regsvr
regcheck registered "$dllw"
regsvr /u
regcheck unregistered
regsvr
regcheck registered "$dllw"

rm -rf "$scratch"
mkdir -p "$scratch"
scratchw="$(winpath "$scratch")\\"
# The suites' cases in UTF-16LE with a byte-order mark, for Scripting.FileSystemObject.
{ printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE "$here/scripts/CsvCases.txt"; } >"$scratch/CsvCases.txt"
cp "$here"/scripts/CsvSuite.vbs "$here"/scripts/CsvSuite.js "$root"/examples/*.vbs "$root"/examples/*.js "$scratch/"
run CsvSuite.vbs 'SUITE COMPLETE 0 failures'
run CsvSuite.js 'SUITE COMPLETE 0 failures'
for example in "$root"/examples/*.vbs "$root"/examples/*.js; do
    run "$(basename "$example")" 'Example finished.'
done

regsvr /u
regcheck unregistered
[ "$failed" -eq 0 ] || die "script suites failed"
echo "run_scripts: all passed"
