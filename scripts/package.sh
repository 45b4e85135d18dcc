#!/bin/sh
# Builds the mod archive players install: build-win/Vultrane.zip, laid out as the game's Data
# folder (SKSE/Plugins/Vultrane.dll, the configuration under Meshes/Vultrane/, a readme), which
# Mod Organizer 2 and Vortex install as is. Needs g++-mingw-w64-i686 (and cmake, for the zip).
set -eu
cd "$(dirname "$0")/.."
./scripts/build-windows.sh
stage=build-win/package
rm -rf "$stage" build-win/Vultrane.zip
mkdir -p "$stage/SKSE/Plugins" "$stage/Meshes"
cp build-win/Vultrane.dll "$stage/SKSE/Plugins/Vultrane.dll"
# The configuration only: no logs, no generated or merged .tri files.
cp -R examples/game/data/Meshes/Vultrane "$stage/Meshes/Vultrane"
find "$stage/Meshes" \( -name '*.tri' -o -name '*.log*' -o -name '*.vtrnew' \) -exec rm -f {} +
cp packaging/Vultrane-readme.txt "$stage/Vultrane-readme.txt"
(cd "$stage" && cmake -E tar cf ../Vultrane.zip --format=zip SKSE Meshes Vultrane-readme.txt)
echo "wrote build-win/Vultrane.zip:"
(cd "$stage" && find SKSE Meshes Vultrane-readme.txt -type f | sort | sed 's/^/  /')
