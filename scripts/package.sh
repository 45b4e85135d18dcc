#!/bin/sh
# Builds the archives of a release, named with the project's version:
# - build-win/Vultrane-VERSION.zip, the mod players install, laid out as the game's Data folder
#   (SKSE/Plugins/Vultrane.dll, the configuration under Meshes/Vultrane/, a readme), which Mod
#   Organizer 2 and Vortex install as is;
# - build-win/Vultrane-tools-VERSION.zip, vultrane.exe and its readme for mod authors, kept
#   apart so that no program lands in the game's Data folder.
# Text files get Windows line ends. Needs g++-mingw-w64-i686 (and g++-mingw-w64-x86-64-posix
# with libz-mingw-w64-dev for the tools; cmake for the zip files).
set -eu
cd "$(dirname "$0")/.."
./scripts/build-windows.sh
version=$(./scripts/project-version.sh)
mod="build-win/Vultrane-$version.zip"
tools="build-win/Vultrane-tools-$version.zip"

# Readme text with the version filled in and CR LF line ends.
dos_text() { sed -e "s/@VERSION@/$version/g" -e 's/\r$//' -e 's/$/\r/' "$1" >"$2"; }

stage=build-win/package
rm -rf "$stage" build-win/Vultrane*.zip
mkdir -p "$stage/SKSE/Plugins" "$stage/Meshes"
cp build-win/Vultrane.dll "$stage/SKSE/Plugins/Vultrane.dll"
# The configuration only: no logs, no generated or merged .tri files.
cp -R examples/game/data/Meshes/Vultrane "$stage/Meshes/Vultrane"
find "$stage/Meshes" \( -name '*.tri' -o -name '*.log*' -o -name '*.vtrnew' \) -exec rm -f {} +
find "$stage/Meshes" -type f \( -name '*.ini' -o -name '*.txt' \) -exec sed -i -e 's/\r$//' -e 's/$/\r/' {} +
dos_text packaging/Vultrane-readme.txt "$stage/Vultrane-readme.txt"
(cd "$stage" && cmake -E tar cf "../$(basename "$mod")" --format=zip SKSE Meshes Vultrane-readme.txt)
echo "wrote $mod:"
(cd "$stage" && find SKSE Meshes Vultrane-readme.txt -type f | sort | sed 's/^/  /')

if [ -f build-win/vultrane.exe ]; then
    tstage=build-win/package-tools
    rm -rf "$tstage"
    mkdir -p "$tstage"
    cp build-win/vultrane.exe "$tstage/vultrane.exe"
    dos_text packaging/vultrane-tools-readme.txt "$tstage/vultrane-readme.txt"
    (cd "$tstage" && cmake -E tar cf "../$(basename "$tools")" --format=zip vultrane.exe vultrane-readme.txt)
    echo "wrote $tools:"
    (cd "$tstage" && find . -type f | sort | sed 's#^\./#  #')
else
    echo "no tools archive: build-win/vultrane.exe was not built"
fi
