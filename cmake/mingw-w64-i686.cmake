# Cross-compiles for 32-bit Windows with Debian's mingw-w64 (g++-mingw-w64-i686-posix).
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
# As the 64-bit file; the tests run under a 32-bit Wine prefix (WINEARCH=win32, wine32).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TOLVANE_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
