#!/bin/sh
# Cross-builds the release Vultrane.dll for the 32-bit game (needs the Debian package
# g++-mingw-w64-i686): stripped, SSE2 arithmetic, statically linked so that it imports only
# system DLLs. Then checks its exports, imports and stripping (scripts/check-dll.sh).
set -eu
cd "$(dirname "$0")/.."
JOBS="${JOBS:-$(nproc)}"
# CI (VTR_CI set) treats compiler warnings as errors.
if [ -n "${VTR_CI:-}" ]; then werror=ON; else werror=OFF; fi
cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release \
    -DVTR_WERROR=$werror
cmake --build build-win --target Vultrane -j "$JOBS"
./scripts/check-dll.sh build-win/Vultrane.dll
