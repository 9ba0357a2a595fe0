# Cross-compiles for 64-bit Windows with Debian's mingw-w64 (posix threads, for std::thread).
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# The programs are linked statically, so they need no mingw DLLs beside them. Set
# CMAKE_CROSSCOMPILING_EMULATOR=wine to run the tests here.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOLVANE_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
