#!/bin/sh
# Prints the project's version, as CMakeLists.txt's project(VERSION) gives it to every build.
set -eu
cd "$(dirname "$0")/.."
v=$(sed -n 's/^project(Vultrane VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$v" ] || { echo "no project(Vultrane VERSION ...) in CMakeLists.txt" >&2; exit 1; }
echo "$v"
