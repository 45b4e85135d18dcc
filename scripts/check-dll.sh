#!/bin/sh
# Checks a built Vultrane.dll as the game and the script extender will meet it: exactly the two
# undecorated entry points exported, only system DLLs imported, no debug data or symbols left,
# the project's version in its version resource.
# Usage: scripts/check-dll.sh [build-win/Vultrane.dll]
set -eu
dll="${1:-build-win/Vultrane.dll}"
objdump=i686-w64-mingw32-objdump
fail=0
ok() { echo "ok: $*"; }
bad() { echo "FAIL: $*"; fail=1; }

[ -f "$dll" ] || { echo "FAIL: no file $dll"; exit 1; }
headers=$($objdump -p "$dll")
echo "$headers" | grep -q "^Magic.*010b" && ok "32-bit PE (PE32)" || bad "not a 32-bit PE file"
echo "$headers" | grep -Eq "Characteristics.*DLL|^\s*DLL$" && ok "marked as a DLL" || bad "not marked as a DLL"

# Export name table: lines "[   0] +base[   1] 0000 Name" or "[   0] Name" depending on binutils.
exports=$(echo "$headers" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep -E '^\s*\[ *[0-9]+\]' | sed -E 's/.*\] //' | sort | tr '\n' ' ')
[ "$exports" = "SKSEPlugin_Load SKSEPlugin_Query " ] && ok "exports exactly SKSEPlugin_Load and SKSEPlugin_Query" \
    || bad "exports are '$exports'"

imports=$(echo "$headers" | sed -n 's/^\s*DLL Name: //p' | sort -u | tr '\n' ' ')
unexpected=""
for d in $imports; do
    case "$d" in KERNEL32.dll|msvcrt.dll|SHELL32.dll) ;; *) unexpected="$unexpected $d" ;; esac
done
[ -z "$unexpected" ] && ok "imports only from system DLLs: $imports" || bad "imports from$unexpected"

sections=$($objdump -h "$dll" | awk '{print $2}')
if echo "$sections" | grep -q '^\.debug'; then bad "debug sections left in"; else ok "no debug sections"; fi
symbols=$($objdump -t "$dll" | grep -c '^\[' || true)
[ "$symbols" = 0 ] && ok "no symbol table (stripped)" || bad "$symbols symbols left in (not stripped)"

# The game may load it away from its preferred base.
if $objdump -h "$dll" | grep -q '\.reloc'; then ok "relocatable (.reloc present)"; else bad "no relocations"; fi

# What Windows shows in the file's properties: the project's version.
version=$("$(dirname "$0")/project-version.sh")
resources=$(i686-w64-mingw32-windres -i "$dll" -O rc 2>/dev/null || true)
echo "$resources" | grep -q "VALUE \"FileVersion\", \"$version\"" && ok "version resource: FileVersion $version" \
    || bad "no FileVersion \"$version\" in the version resource"
echo "$resources" | tr -d ' ' | grep -q "FILEVERSION$(echo "$version" | tr . ,),0" && ok "fixed file version $version.0" \
    || bad "fixed file version is not $version.0"
echo "$resources" | grep -q 'VALUE "OriginalFilename", "Vultrane.dll"' && ok "original file name Vultrane.dll" \
    || bad "original file name is not Vultrane.dll"

size=$(wc -c < "$dll")
ok "size $size bytes"
[ "$fail" = 0 ] || { echo "the DLL check failed"; exit 1; }
echo "the DLL check passed"
