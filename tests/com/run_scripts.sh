#!/usr/bin/env bash
# Registers the freshly built QuenlixCsv.dll into the project's Wine prefix with regsvr32, checks
# the registry after registering twice and after unregistering, and runs the VBScript and JScript
# suites (and the examples) through cscript in between.
#
#   run_scripts.sh QuenlixCsv.dll qx_com_regcheck.exe SCRATCH-DIR
#
# Fails (non-zero) on any failed check, on a suite that does not reach its last line, and when
# Wine, regsvr32 or cscript cannot run at all. Uses scripts/wine-run.sh, so QX_WINEPREFIX picks
# another prefix.
set -euo pipefail

if [ $# -ne 3 ]; then
    echo "usage: $0 QuenlixCsv.dll qx_com_regcheck.exe SCRATCH-DIR" >&2
    exit 2
fi
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
wine_run="$root/scripts/wine-run.sh"
dll=$(readlink -f "$1")
regcheck_exe=$(readlink -f "$2")
scratch=$3

die() {
    echo "run_scripts: $*" >&2
    exit 1
}
[ -f "$dll" ] || die "no DLL at $dll"
[ -f "$regcheck_exe" ] || die "no registry checker at $regcheck_exe"
command -v wine >/dev/null 2>&1 || die "wine is not installed: the component cannot be tested"

# Windows form of a Linux path (Wine shows the Linux root as drive Z:).
winpath() {
    local p
    p=$("$wine_run" winepath -w "$1" | tr -d '\r')
    [ -n "$p" ] || die "winepath failed for $1"
    printf '%s' "$p"
}

dllw=$(winpath "$dll")

regsvr() {
    "$wine_run" regsvr32 /s "$@" "$dllw" || die "regsvr32 $* $dllw failed (exit $?)"
}
regcheck() {
    "$wine_run" "$regcheck_exe" "$@" | tr -d '\r' || die "registry check '$*' failed"
}

# Output of a script: printed, then judged. A suite passes when it reached its last line with no
# FAIL line and at least one pass line.
failed=0
judge() {
    local name=$1 out=$2
    printf '%s\n' "$out"
    local passes fails
    passes=$(grep -c '^pass ' <<<"$out" || true)
    fails=$(grep -c '^FAIL' <<<"$out" || true)
    if ! grep -q '^SUITE COMPLETE 0 failures$' <<<"$out"; then
        echo "run_scripts: $name did not finish (a script error stops Wine's cscript silently)" >&2
        failed=1
    elif [ "$fails" -ne 0 ] || [ "$passes" -eq 0 ]; then
        echo "run_scripts: $name: $fails failed, $passes passed" >&2
        failed=1
    else
        echo "run_scripts: $name: all $passes cases passed"
    fi
}
cscript() {
    "$wine_run" cscript //nologo "$@" 2>&1 | tr -d '\r'
}

# ---- can cscript run at all? ----------------------------------------------------------------
rm -rf "$scratch"
mkdir -p "$scratch"
scratchw="$(winpath "$scratch")\\"
printf 'WScript.Echo "probe " & (20 + 22)\r\n' >"$scratch/probe.vbs"
printf 'WScript.Echo("probe " + (20 + 22));\r\n' >"$scratch/probe.js"
for probe in probe.vbs probe.js; do
    out=$(cscript "${scratchw}$probe") || true
    grep -q '^probe 42$' <<<"$out" || die "cscript cannot run $probe under Wine: $out"
done

# ---- registration ---------------------------------------------------------------------------
regsvr
regcheck registered "$dllw"
regsvr
regcheck registered "$dllw"
regsvr /u
regcheck unregistered
regsvr
regcheck registered "$dllw"

# ---- reference files for text beyond ASCII --------------------------------------------------
# The suites' samples: café, 中文, U+1F600 (a surrogate pair in UTF-16) and a value with a comma.
samples_utf8=$'caf\xc3\xa9\r\n\xe4\xb8\xad\xe6\x96\x87\r\n\xf0\x9f\x98\x80\r\na,\xc3\xbc\r\n'
# samples.txt: UTF-16LE with byte-order mark, for Scripting.FileSystemObject.
{ printf '\xff\xfe'; printf '%s' "$samples_utf8" | iconv -f UTF-8 -t UTF-16LE; } >"$scratch/samples.txt"
# The same texts as CSV. In UTF-16 the usual way; in "utf-8" the component writes each surrogate
# on its own in three bytes (ED A0 BD ED B8 80) and reads only that form back, so the file is
# written in that form here.
csv_utf8=$'caf\xc3\xa9\r\n\xe4\xb8\xad\xe6\x96\x87\r\n\xed\xa0\xbd\xed\xb8\x80\r\n"a,\xc3\xbc"\r\n'
printf '%s' "$csv_utf8" >"$scratch/ref-utf8.csv"
printf 'caf\xc3\xa9\r\n\xe4\xb8\xad\xe6\x96\x87\r\n\xf0\x9f\x98\x80\r\n"a,\xc3\xbc"\r\n' \
    | iconv -f UTF-8 -t UTF-16LE >"$scratch/ref-utf16.csv"

# ---- the suites and the examples ------------------------------------------------------------
cp "$here/scripts/CsvSuite.vbs" "$here/scripts/CsvSuite.js" "$scratch/"
judge "VBScript suite" "$(cscript "${scratchw}CsvSuite.vbs" "$scratchw")"
judge "JScript suite" "$(cscript "${scratchw}CsvSuite.js" "$scratchw")"
for example in "$root"/examples/*.vbs "$root"/examples/*.js; do
    [ -f "$example" ] || continue
    cp "$example" "$scratch/"
    out=$(cscript "${scratchw}$(basename "$example")")
    printf '%s\n' "$out"
    if ! grep -q '^Example finished\.$' <<<"$out"; then
        echo "run_scripts: example $(basename "$example") did not finish" >&2
        failed=1
    fi
done

# ---- unregistration -------------------------------------------------------------------------
regsvr /u
regcheck unregistered

[ "$failed" -eq 0 ] || die "script suites failed"
echo "run_scripts: all passed"
