# Cross build of the 32-bit Windows DLL and its test program.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TOOLCHAIN_PREFIX i686-w64-mingw32)
set(WINE_ARCH win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# SSE2 vector instructions (every x86 processor since 2001; Windows 8 and
# later require them): the find searches sixteen bytes at a time with them.
# Floating point stays on the x87 unit, so every computed text is the same.
add_compile_options(-msse2)
