#!/usr/bin/env bash
# Registers freshly built QuenlixCsv.dll files into the project's Wine prefix with regsvr32, checks
# the registry after registering, after registering again over stale keys and after unregistering
# beside a foreign key, and runs the script suite and the examples through cscript meanwhile.
#   run_scripts.sh SCRATCH-DIR qx_com_regcheck.exe BITS=QuenlixCsv.dll [BITS=QuenlixCsv.dll]
# BITS (64 or 32) picks regsvr32, reg and cscript from System32 or SysWOW64 and the registry view
# to check. Given both, the DLLs are registered side by side as on a 64-bit Windows: each script
# host must create its own, and unregistering one must leave the other registered and working.
set -euo pipefail
[ $# -ge 3 ] || { echo "usage: $0 SCRATCH-DIR qx_com_regcheck.exe BITS=DLL [BITS=DLL]" >&2; exit 2; }
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
wine_run="$root/scripts/wine-run.sh"
scratch=$1
regcheck_exe=$(readlink -f "$2")
shift 2
die() { echo "run_scripts: $*" >&2; exit 1; }
[ -f "$regcheck_exe" ] || die "no registry checker at $regcheck_exe"
checker_bits=32
[ "$(od -An -tx1 -j"$(($(od -An -tu4 -j60 -N4 "$regcheck_exe") + 4))" -N2 "$regcheck_exe" | tr -d ' ')" = 6486 ] && checker_bits=64

winpath() { "$wine_run" winepath -w "$1" | tr -d '\r'; } # Wine shows the Linux root as Z:
declare -A dllw target
all_bits=()
for arg in "$@"; do
    bits=${arg%%=*}
    dll=$(readlink -f "${arg#*=}")
    case "$bits" in 64) target[$bits]=x86_64-w64-mingw32 ;; 32) target[$bits]=i686-w64-mingw32 ;;
    *) die "bad bitness in $arg" ;; esac
    [ -f "$dll" ] || die "no DLL at $dll"
    dllw[$bits]=$(winpath "$dll")
    all_bits+=("$bits")
done

regsvr() { # BITS [/u]
    "$wine_run" --"$1" regsvr32 /s "${@:2}" "${dllw[$1]}" || die "$1-bit regsvr32 ${*:2} failed (exit $?)"
}
regcheck() { # registered BITS | unregistered BITS
    local args=("$1" "$2" $shared)
    [ "$1" = registered ] && args=(registered "${dllw[$2]}" "$2")
    "$wine_run" --$checker_bits "$regcheck_exe" "${args[@]}" | tr -d '\r' || die "registry check '$*' failed"
}

rm -rf "$scratch" && mkdir -p "$scratch"
scratchw="$(winpath "$scratch")\\"
cp "$here"/scripts/CsvSuite.js "$root"/examples/*.vbs "$root"/examples/*.js "$scratch/"

# A script passes when it reached its last line, printed no FAIL line and, for a suite, pass lines.
failed=0
run() { # BITS SCRIPT LAST-LINE
    local bits=$1 name=$2 last=$3 out
    out=$("$wine_run" --"$bits" cscript //nologo "${scratchw}$name" "$scratchw" 2>&1 | tr -d '\r')
    printf '%s\n' "$out" | sed "s/^/[$bits-bit] /"
    if ! grep -qxF "$last" <<<"$out" || grep -q '^FAIL' <<<"$out" ||
        { [[ $name == CsvSuite.* ]] && ! grep -q '^pass ' <<<"$out"; }; then
        echo "run_scripts: $name in the $bits-bit cscript failed or did not finish (a script error stops cscript silently)" >&2
        failed=1
    fi
}
suites() { # BITS: the suite, whose cases also check which build the script host created
    # The cases in UTF-16LE with a byte-order mark, for Scripting.FileSystemObject.
    { printf '\xff\xfe'; sed "s/%TARGET%/${target[$1]}/g" "$here/scripts/CsvCases.txt" | iconv -f UTF-8 -t UTF-16LE; } >"$scratch/CsvCases.txt"
    run "$1" CsvSuite.js 'SUITE COMPLETE 0 failures'
}

# BITS reg.exe-ARGS...: as the reg.exe of BITS sees the registry, like that bitness's clients
# (whether a ProgID key has one copy per view or one for both differs between systems)
regkey() { "$wine_run" --"$1" reg "${@:2}" 2>/dev/null | tr -d '\r'; }

# Whether this system keeps ProgID keys once for both views (as Windows does) or once per view: a
# key written by the 64-bit reg.exe, looked for by the 32-bit one.
shared=
regkey 64 add 'HKCR\QuenlixViewProbe' /f >/dev/null
regkey 32 query 'HKCR\QuenlixViewProbe' >/dev/null && shared=shared-progids
regkey 64 delete 'HKCR\QuenlixViewProbe' /f >/dev/null
[ -z "$shared" ] || echo "run_scripts: ProgID keys are shared between the views"

for bits in "${all_bits[@]}"; do
    regsvr "$bits"
    regcheck registered "$bits"
    # Keys an older registration left under the class key are gone after the next one.
    clsid=$(regkey "$bits" query 'HKCR\Quenlix.Csv\CLSID' /ve | grep -o '{[-0-9A-Fa-f]*}')
    for stale in Stale 'Control\Old'; do
        regkey "$bits" add "HKCR\\CLSID\\$clsid\\$stale" /f >/dev/null
    done
    regsvr "$bits"
    regcheck registered "$bits"
    regsvr "$bits" /u
    regcheck unregistered "$bits"
    regsvr "$bits" /u # nothing left to remove is no error
    # Someone else's key under a ProgID is kept; ours beside it go.
    regsvr "$bits"
    regkey "$bits" add 'HKCR\Quenlix.Csv\Foreign' /f >/dev/null
    regsvr "$bits" /u
    regkey "$bits" query 'HKCR\Quenlix.Csv\Foreign' >/dev/null || die "$bits-bit unregistration removed a foreign key"
    # (Where ProgID keys are shared, another bitness registered before keeps them.)
    [ -n "$shared" ] || ! regkey "$bits" query 'HKCR\Quenlix.Csv\CLSID' >/dev/null ||
        die "$bits-bit unregistration left Quenlix.Csv\\CLSID"
    # Through each bitness's reg.exe: where the keys are shared, Wine's two may see different copies.
    for b in "${all_bits[@]}"; do regkey "$b" delete 'HKCR\Quenlix.Csv\Foreign' /f >/dev/null || true; done
    regkey "$bits" delete 'HKCR\Quenlix.Csv' /f >/dev/null || true
    regsvr "$bits"
done
for bits in "${all_bits[@]}"; do
    regcheck registered "$bits"
    # Alone, a registration writes only its own view: the other bitness's view holds none of it.
    [ ${#all_bits[@]} -eq 1 ] && regcheck unregistered $((96 - bits))
    suites "$bits"
    for example in "$root"/examples/*.vbs "$root"/examples/*.js; do
        run "$bits" "$(basename "$example")" 'Example finished.'
    done
done

if [ ${#all_bits[@]} -eq 2 ]; then
    # Unregistering one bitness leaves the other's entries and its scripts working; then the same
    # the other way round.
    for gone in "${all_bits[@]}"; do
        for kept in "${all_bits[@]}"; do [ "$kept" = "$gone" ] || break; done
        regsvr "$gone" /u
        regcheck unregistered "$gone"
        regcheck registered "$kept"
        suites "$kept"
        regsvr "$gone"
    done
fi

for bits in "${all_bits[@]}"; do
    regsvr "$bits" /u
    regcheck unregistered "$bits"
done
[ "$failed" -eq 0 ] || die "script suites failed"
echo "run_scripts: all passed (${all_bits[*]}-bit)"
