#!/bin/sh
# Runs the 32-bit hook entry on an emulated i686 CPU (needs the Debian packages g++-multilib
# and qemu-user). The game build uses the same assembly text with Windows symbol names.
set -eu
cd "$(dirname "$0")/.."
mkdir -p build-i686
# CI (VTR_CI set) treats compiler warnings as errors.
g++ -m32 -O1 -static -std=c++20 -Wall -Wextra ${VTR_CI:+-Werror} -I. tests/i686/hook_entry_harness.cpp \
    -o build-i686/hook_entry_harness
qemu-i386 build-i686/hook_entry_harness
