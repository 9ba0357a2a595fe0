# Cross-compiles for 64-bit ARM Linux with Debian's g++-aarch64-linux-gnu; the libraries the
# build links (SQLite, GoogleTest) come from Debian's arm64 architecture (multiarch:
# libsqlite3-dev:arm64, libgtest-dev:arm64, libssl-dev:arm64 for the tests). tools/run-aarch64-tests runs the suite under
# qemu-aarch64 through CMAKE_CROSSCOMPILING_EMULATOR.
#   cmake -S . -B build-aarch64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
# Packages and libraries from the arm64 multiarch folders (/usr/lib/aarch64-linux-gnu), never
# the build machine's; programs from the build machine.
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
# pkg-config (which FindOpenSSL asks) reads the arm64 .pc files only.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)
