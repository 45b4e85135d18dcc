#!/bin/sh
# Builds and runs every test: the host build, then the AddressSanitizer + UndefinedBehaviorSanitizer build.
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
echo "all tests passed (host and sanitizer builds)"
