#!/bin/sh
# Builds the plug-in and the vultrane program and runs `vultrane demo` on the bundled example
# data: the plug-in is loaded as the script extender loads it into a simulated game with a Nord
# player; the menu's calls list the sliders, load a preset, merge the face into a slot and new
# .tri files and into the loaded morph data; a short summary follows, with before/after pictures.
# Everything is written below one folder, BUILD/demo (BUILD_DIR names another build folder;
# default build). Arguments go to `vultrane demo` (--json for the full record, --out DIR).
# What it is doing goes to standard error (standard output is the demo's alone, JSON with --json);
# on a terminal the build shows its own progress, elsewhere its output is shown only if it fails.
set -eu
cd "$(dirname "$0")/.."
BUILD="${BUILD_DIR:-build}"
say() { echo "==> $*" >&2; }

# quiet: a step's output is kept in $log and printed only when the step fails; step: the same,
# except that on a terminal the output goes there (the build's own progress line).
log="$(mktemp /tmp/vtr-demo-build-XXXXXX)"
trap 'rm -f "$log"' EXIT
quiet() {
    if ! "$@" >"$log" 2>&1; then
        cat "$log" >&2
        return 1
    fi
}
step() {
    if [ -t 2 ]; then
        "$@" >&2
    else
        quiet "$@"
    fi
}

# A configured build folder is left as it is (the build configures again by itself when the
# CMake files change): configuring rewrites the files that list the tests, which a ctest running
# at the same time in that folder would read half-written.
if [ ! -f "$BUILD/build.ninja" ]; then
    say "configuring a new build in $BUILD/"
    quiet cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
say "building the plug-in, the vultrane program and the example game folder in $BUILD/ (the first build takes several minutes)"
step cmake --build "$BUILD" -j "${JOBS:-$(nproc)}" --target Vultrane vultrane vtr_hostsim vtr_example_game
say "running $BUILD/vultrane demo $*"
rm -f "$log"
exec "./$BUILD/vultrane" demo "$@"
