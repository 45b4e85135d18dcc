#!/bin/sh
# Builds the plug-in and runs the host simulator on the bundled example data: the plug-in is
# loaded as the script extender loads it, a Nord player is built from the example world, and
# the example menu calls run against it. Prints the results as JSON.
# The game folder is the build's copy of examples/game, with the example morph files that
# vtr_trigen generates into it (BUILD_DIR names another build folder; default build).
set -eu
cd "$(dirname "$0")/.."
BUILD="${BUILD_DIR:-build}"
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j "${JOBS:-$(nproc)}" --target Vultrane vtr_hostsim vtr_example_game >/dev/null
exec "./$BUILD/vtr_hostsim" --world examples/worlds/nord.json --calls examples/calls/demo.json \
    --game-folder "$BUILD/game" --documents "$BUILD/documents" --dump-world "$@"
