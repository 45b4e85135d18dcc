#!/bin/sh
# Builds the plug-in and runs the host simulator on the bundled example data: the plug-in is
# loaded as the script extender loads it, a Nord player is built from the example world, and
# the example menu calls run against it. Prints the results as JSON.
set -eu
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "${JOBS:-$(nproc)}" --target Vultrane vtr_hostsim >/dev/null
exec ./build/vtr_hostsim --world examples/worlds/nord.json --calls examples/calls/demo.json --dump-world "$@"
