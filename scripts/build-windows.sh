#!/bin/sh
# Cross-builds the release Vultrane.dll for the 32-bit game (needs the Debian package
# g++-mingw-w64-i686): stripped, SSE2 arithmetic, statically linked so that it imports only
# system DLLs. Then checks its exports, imports and stripping (scripts/check-dll.sh).
# Then vultrane.exe, the program for mod authors, for 64-bit Windows (g++-mingw-w64-x86-64-posix,
# libz-mingw-w64-dev) in build-win64, copied beside the DLL and checked (scripts/check-exe.sh);
# skipped, saying so, where that compiler is missing.
set -eu
cd "$(dirname "$0")/.."
JOBS="${JOBS:-$(nproc)}"
# CI (VTR_CI set) treats compiler warnings as errors.
if [ -n "${VTR_CI:-}" ]; then werror=ON; else werror=OFF; fi
cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release \
    -DVTR_WERROR=$werror
cmake --build build-win --target Vultrane -j "$JOBS"
./scripts/check-dll.sh build-win/Vultrane.dll
if command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 && [ -f /usr/x86_64-w64-mingw32/include/zlib.h ]; then
    cmake -S . -B build-win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
        -DVTR_WERROR=$werror
    cmake --build build-win64 --target vultrane -j "$JOBS"
    cp build-win64/vultrane.exe build-win/vultrane.exe
    ./scripts/check-exe.sh build-win/vultrane.exe
else
    rm -f build-win/vultrane.exe
    echo "skipped vultrane.exe (needs g++-mingw-w64-x86-64-posix and libz-mingw-w64-dev)"
fi
