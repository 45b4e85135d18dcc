#!/bin/sh
# Cross-builds Vultrane.dll for the 32-bit game (needs the Debian package g++-mingw-w64-i686)
# and shows its exports and imported DLLs.
set -eu
cd "$(dirname "$0")/.."
cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release
cmake --build build-win --target Vultrane
i686-w64-mingw32-objdump -p build-win/Vultrane.dll | grep -E 'DLL Name|^\s+\[ *[0-9]+\] [A-Za-z_]'
