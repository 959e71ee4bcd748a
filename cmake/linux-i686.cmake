# 32-bit x86 Linux build of the core and its unit tests, for machines that cannot execute 32-bit
# programs themselves: the tests run under qemu-i386's user-mode emulation. It compiles the
# shared code as the i686 DLL does (SSE2, a realigned stack), so that word-size faults in it
# (sizes, offsets, 64-bit arithmetic on a 32-bit machine) show up here too. Needs g++-multilib.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32 -msse2 -mstackrealign")
set(CMAKE_CXX_FLAGS_INIT "-m32 -msse2 -mstackrealign")
# Static: the emulator then needs no 32-bit loader or libraries at run time.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32 -static")
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386)
# The 64-bit system's GoogleTest and libbz2 do not link into a 32-bit program: both are built
# from sources (GoogleTest's that Debian ships, bzip2's fetched by scripts/fetch-bzip2.sh).
set(QX_GTEST_FROM_SOURCE ON CACHE BOOL "" FORCE)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
