#!/bin/sh
# Builds and runs every test: the host build, then the AddressSanitizer + UndefinedBehaviorSanitizer build,
# then the 32-bit hook entry and the game's DLL where their tools are installed.
set -eu
cd "$(dirname "$0")/.."
JOBS="${JOBS:-$(nproc)}"

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$JOBS"
ctest --test-dir build --output-on-failure -j "$JOBS"

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVTR_SANITIZE=ON -DVTR_BENCH=OFF
cmake --build build-asan -j "$JOBS"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan --output-on-failure -j "$JOBS"
# The 32-bit hook entry on an emulated i686 CPU, where the tools for it are installed.
if command -v qemu-i386 >/dev/null 2>&1 && [ -e /usr/lib32/libstdc++.so.6 -o -d /usr/lib/gcc/x86_64-linux-gnu/12/32 ]; then
    ./scripts/test-hook-i686.sh
else
    echo "skipped the i686 hook entry check (needs g++-multilib and qemu-user)"
fi
# The game's DLL: cross-built, stripped and checked, then executed under a CPU emulator against
# a fake game, where the tools for it are installed.
if command -v i686-w64-mingw32-g++-posix >/dev/null 2>&1; then
    ./scripts/build-windows.sh
    ./scripts/test-dll-emulated.sh build-win/Vultrane.dll
else
    echo "skipped the Windows DLL build, its checks and the emulated DLL test (needs g++-mingw-w64-i686)"
fi
# The studio page in headless Chromium (skipped, saying so, where it is not installed).
./scripts/test-studio-browser.sh build
echo "all tests passed"
