#!/bin/sh
# Checks a built vultrane.exe as a Windows user will meet it: a 64-bit console program that
# imports only Windows' own DLLs (no libstdc++, libgcc, winpthread or zlib DLL to carry), with
# the project's version in its version resource and a manifest, stripped.
# Usage: scripts/check-exe.sh [build-win/vultrane.exe]
set -eu
exe="${1:-build-win/vultrane.exe}"
objdump=x86_64-w64-mingw32-objdump
windres=x86_64-w64-mingw32-windres
version=$("$(dirname "$0")/project-version.sh")
fail=0
ok() { echo "ok: $*"; }
bad() { echo "FAIL: $*"; fail=1; }

[ -f "$exe" ] || { echo "FAIL: no file $exe"; exit 1; }
headers=$($objdump -p "$exe")
$objdump -f "$exe" | grep -q "architecture: i386:x86-64" && ok "x86-64 machine" || bad "not an x86-64 image"
echo "$headers" | grep -q "^Magic.*020b" && ok "64-bit PE (PE32+)" || bad "not a PE32+ file"
echo "$headers" | grep -Eq "^Subsystem\s+0*3\s" && ok "console subsystem" || bad "not a console program"
echo "$headers" | grep -Eq "Characteristics.*DLL|^\s*DLL$" && bad "marked as a DLL" || ok "not a DLL"

imports=$(echo "$headers" | sed -n 's/^\s*DLL Name: //p' | sort -u | tr '\n' ' ')
unexpected=""
for d in $imports; do
    case "$d" in KERNEL32.dll|msvcrt.dll|SHELL32.dll|ADVAPI32.dll|USER32.dll|WS2_32.dll) ;; *) unexpected="$unexpected $d" ;; esac
done
[ -n "$imports" ] && [ -z "$unexpected" ] && ok "imports only from system DLLs: $imports" || bad "imports from$unexpected"

resources=$($windres -i "$exe" -O rc 2>/dev/null || true)
commas=$(echo "$version" | tr . ,)
echo "$resources" | grep -q "VALUE \"FileVersion\", \"$version\"" && ok "version resource: FileVersion $version" \
    || bad "no FileVersion \"$version\" in the version resource"
echo "$resources" | grep -q "VALUE \"ProductVersion\", \"$version\"" && ok "version resource: ProductVersion $version" \
    || bad "no ProductVersion \"$version\" in the version resource"
echo "$resources" | tr -d ' ' | grep -q "FILEVERSION$commas,0" && ok "fixed file version $commas,0" \
    || bad "fixed file version is not $commas,0"
echo "$resources" | grep -q 'VALUE "OriginalFilename", "vultrane.exe"' && ok "original file name vultrane.exe" \
    || bad "original file name is not vultrane.exe"
echo "$resources" | grep -q 'activeCodePage' && ok "manifest asks for the UTF-8 code page" || bad "no manifest with the UTF-8 code page"

sections=$($objdump -h "$exe" | awk '{print $2}')
if echo "$sections" | grep -q '^\.debug'; then bad "debug sections left in"; else ok "no debug sections"; fi
ok "size $(wc -c <"$exe") bytes"
[ "$fail" = 0 ] || { echo "the exe check failed"; exit 1; }
echo "the exe check passed"
