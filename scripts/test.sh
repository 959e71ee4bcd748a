#!/usr/bin/env bash
# Builds everything and runs every test suite: the Linux build under AddressSanitizer and
# UndefinedBehaviorSanitizer, the ThreadSanitizer stress suites, then both Windows builds under
# Wine in one 64-bit prefix: the x86-64 DLL always (unit tests, component and script clients);
# the i686 DLL's suites where this machine executes 32-bit programs, itself or through the
# qemu-i386 emulator that setup.sh registers for them, and then both DLLs registered side by
# side. Where neither works, the i686 build is still made and checked as a file, the core's
# suites run as a 32-bit Linux program under qemu-i386 (compiled as the i686 DLL is), and the
# last lines say that the i686 DLL's own suites could not run here and why. Fails when
# any suite fails or cannot run where it could. Test builds carry the failure-injection seam
# (inert unless a test arms it); release builds (demo.sh) do not.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
jobs=$(nproc 2>/dev/null || echo 2)
launcher=()
if command -v ccache >/dev/null 2>&1; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

bash scripts/setup.sh

echo "=== Linux build (ASan + UBSan) ==="
cmake -S . -B build/linux-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQX_SANITIZE=ON \
    -DQX_FAULT_INJECTION=ON "${launcher[@]}" >/dev/null
cmake --build build/linux-asan -j "$jobs"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
(cd build/linux-asan && ctest --output-on-failure -j "$jobs")

echo "=== Linux build (ThreadSanitizer): the thread stress suites ==="
# Only the library and the stress program are built and run: compiling every suite under TSan
# would add many minutes. No suppressions: nothing outside our code has needed one.
cmake -S . -B build/linux-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQX_TSAN=ON \
    -DQX_FAULT_INJECTION=ON "${launcher[@]}" >/dev/null
cmake --build build/linux-tsan --target qx_thread_stress -j "$jobs"
(cd build/linux-tsan && TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1} \
    ctest --output-on-failure -R '^thread_stress$')

if [ "${QX_SKIP_WINDOWS:-0}" = 1 ]; then
    echo "test: QX_SKIP_WINDOWS=1 given: the Windows suites were NOT run" >&2
    exit 1
fi

bz2=$(bash scripts/fetch-bzip2.sh build/bzip2-src)
windows_build() { # BITS TOOLCHAIN [TARGET...]: every target when none is named
    local bits=$1 toolchain=$2
    shift 2
    cmake -S . -B "build/win$bits" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="cmake/$toolchain.cmake" -DQX_BZIP2_SOURCE_DIR="$bz2" \
        -DQX_FAULT_INJECTION=ON "${launcher[@]}" >/dev/null
    cmake --build "build/win$bits" -j "$jobs" ${1:+--target "$@"}
    # The component's suites must be part of the run: without them the DLL would go untested.
    for t in com_client com_scripts com_image; do
        if ! (cd "build/win$bits" && ctest -N -R "^${t}\$" | grep -q "Total Tests: 1"); then
            echo "test: the $bits-bit Windows build has no $t suite" >&2
            exit 1
        fi
    done
}

echo "=== Windows build (x86_64-w64-mingw32) under 64-bit Wine ==="
windows_build 64 mingw-x86_64
(cd build/win64 && ctest --output-on-failure)

linux32_suites() { # the core's suites as a 32-bit Linux program, run through qemu-i386 directly
    echo "=== The core's suites as a 32-bit program (i686 Linux) under qemu-i386 ==="
    cmake -S . -B build/linux32 -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_TOOLCHAIN_FILE=cmake/linux-i686.cmake -DQX_BZIP2_SOURCE_DIR="$bz2" \
        -DQX_FAULT_INJECTION=ON "${launcher[@]}" >/dev/null
    cmake --build build/linux32 -j "$jobs" --target qx_tests qx_thread_stress qxcsv replay_csv \
        replay_scanners replay_convert replay_coding
    (cd build/linux32 && ctest --output-on-failure --no-tests=error -j "$jobs" \
        -R '^(qx_tests|thread_stress|qx_table_store_faults|qxcsv_process|fuzz_.*)$')
}
side_by_side() {
    echo "=== Both DLLs registered side by side ==="
    # The 32-bit checker: under Wine it reads the shared ProgID keys of both views as clients of
    # each bitness see them, where the 64-bit one's 32-bit view misses them.
    bash tests/com/run_scripts.sh build/side-by-side build/win32/tests/com/qx_com_regcheck.exe \
        64=build/win64/src/com/QuenlixCsv.dll 32=build/win32/src/com/QuenlixCsv.dll
}

if why=$(bash scripts/probe-ia32.sh) && ! bash scripts/emulate-ia32.sh --active; then
    echo "=== Windows build (i686-w64-mingw32): suites under Wine, 32-bit programs in the 64-bit prefix ==="
    windows_build 32 mingw-i686
    (cd build/win32 && ctest --output-on-failure)
    side_by_side
    echo "test: all suites passed, 64-bit and 32-bit"
elif [ -z "${why:-}" ]; then
    # 32-bit programs run only through the qemu-i386 handler that setup.sh registered. The
    # emulator cannot run a 32-bit Wine program that starts threads (even two threads that count
    # crash it), so the core's suites run as the 32-bit Linux program instead, and under Wine
    # the component's, whose programs start none: through COM, regsvr32 and cscript, as on a
    # native machine. Only what those need is built.
    echo "=== Windows build (i686-w64-mingw32): the component's suites under emulated 32-bit Wine ==="
    windows_build 32 mingw-i686 QuenlixCsv qx_com_tests qx_com_regcheck
    (cd build/win32 && ctest --output-on-failure --no-tests=error -R '^com_(client|scripts|image)$')
    side_by_side
    linux32_suites
    echo "test: all suites passed, 64-bit and 32-bit"
    echo "test: this machine does not execute 32-bit programs itself: the 32-bit DLL's suites ran under the qemu-i386 emulator, the core's as a 32-bit Linux program."
else
    # What needs no 32-bit execution still runs: the DLL built, with the COM test programs that
    # would drive it, and checked as a file. The unit tests are the 64-bit build's sources again.
    echo "=== Windows build (i686-w64-mingw32): the DLL checked as a file ==="
    windows_build 32 mingw-i686 QuenlixCsv qx_com_tests qx_com_regcheck
    (cd build/win32 && ctest --output-on-failure -R '^com_image$')
    linux32_suites
    echo "test: all suites that this machine can run passed, the core's also as a 32-bit program"
    echo "test: the i686 DLL's suites could not run under Wine on this machine: $why."
    echo "test: the i686 DLL and its COM test programs were built and the DLL was checked as a file only."
fi
