# Cross build for 32-bit Windows.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QX_MINGW_TRIPLE i686-w64-mingw32)
set(QX_WINE_BITS 32)
# Every Windows that runs this DLL today has SSE2 (Windows 8 and later require it), so the 32-bit
# build takes the same block scanners as the 64-bit one. Windows keeps the stack only 4-byte
# aligned on 32-bit, so functions that spill 16-byte vectors realign it themselves.
set(CMAKE_C_FLAGS_INIT "-msse2 -mstackrealign")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mstackrealign")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
