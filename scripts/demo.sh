#!/bin/sh
# Builds the plug-in and the vultrane program and runs `vultrane demo` on the bundled example
# data: the plug-in is loaded as the script extender loads it into a simulated game with a Nord
# player; the menu's calls list the sliders, load a preset, merge the face into a slot and new
# .tri files and into the loaded morph data; a short summary follows, with before/after pictures.
# Everything is written below one folder, BUILD/demo (BUILD_DIR names another build folder;
# default build). Arguments go to `vultrane demo` (--json for the full record, --out DIR).
set -eu
cd "$(dirname "$0")/.."
BUILD="${BUILD_DIR:-build}"
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j "${JOBS:-$(nproc)}" --target Vultrane vultrane vtr_hostsim vtr_example_game >/dev/null
exec "./$BUILD/vultrane" demo "$@"
