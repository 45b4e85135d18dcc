#!/bin/sh
# Builds the release archives (scripts/package.sh) and checks them as a player and a mod author
# meet them: versioned names, the mod laid out as the Data folder without any program, the tools
# apart, readmes with the version and Windows line ends that say what a player needs, and the
# packed configuration (CR LF) loading without a problem in the Linux build's vultrane check.
# Usage: scripts/test-package.sh [build]
set -eu
cd "$(dirname "$0")/.."
host="${1:-build}"
./scripts/package.sh >/dev/null
version=$(./scripts/project-version.sh)
work=$(mktemp -d "${TMPDIR:-/tmp}/vultrane-package.XXXXXX")
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 - "$version" "$work" <<'PY'
import sys, zipfile, os
version, work = sys.argv[1], sys.argv[2]
fail = []
def need(cond, what):
    print(("ok: " if cond else "FAIL: ") + what)
    if not cond: fail.append(what)

mod = f"build-win/Vultrane-{version}.zip"
tools = f"build-win/Vultrane-tools-{version}.zip"
need(os.path.isfile(mod), f"mod archive {mod}")
need(os.path.isfile(tools), f"tools archive {tools}")
if fail: sys.exit(1)
m = zipfile.ZipFile(mod)
names = set(n for n in m.namelist() if not n.endswith("/"))
need("SKSE/Plugins/Vultrane.dll" in names, "mod: SKSE/Plugins/Vultrane.dll")
need("Meshes/Vultrane/races.ini" in names, "mod: Meshes/Vultrane/races.ini")
need("Vultrane-readme.txt" in names, "mod: Vultrane-readme.txt")
need(not any(n.lower().endswith(".exe") for n in names), "mod: no program for the Data folder")
need(not any(n.lower().endswith((".tri", ".log")) or ".log" in n.lower() for n in names), "mod: no .tri or log files")
t = zipfile.ZipFile(tools)
need(sorted(n for n in t.namelist() if not n.endswith("/")) == ["vultrane-readme.txt", "vultrane.exe"],
     "tools: vultrane.exe and vultrane-readme.txt, nothing else")

def text_checks(z, name, phrases):
    data = z.read(name)
    lines = data.split(b"\n")
    need(data.endswith(b"\r\n") and all(l.endswith(b"\r") for l in lines[:-1]), f"{name}: CR LF line ends throughout")
    need(b"@VERSION@" not in data and f"Version {version}".encode() in data, f"{name}: version {version}")
    for p in phrases:
        need(p.encode() in data, f"{name}: says \"{p}\"")
text_checks(m, "Vultrane-readme.txt", ["1.9.32.0", "File version", "script extender", "Quorvix", "menu mod",
            "source .tri", "Mod Organizer 2", "Vortex", "By hand", "overwrite", "Vultrane.log", "Documents\\My Games",
            "When something goes wrong", "race-set files", f"Vultrane-tools-{version}.zip"])
text_checks(t, "vultrane-readme.txt", ["vultrane check", "--version", "Exit status",
            "anywhere but in the game's Data folder"])
for n in names:
    if n.endswith((".ini", ".txt")):
        d = m.read(n)
        if d.count(b"\n") != d.count(b"\r\n"):
            need(False, f"{n}: CR LF line ends")
m.extractall(os.path.join(work, "Data"))
sys.exit(1 if fail else 0)
PY
# The packed configuration, with the example's generated .tri files beside it, loads cleanly.
if [ -x "$host/vultrane" ] && [ -d "$host/game/data/Meshes/Vultrane/Sets" ]; then
    find "$host/game/data/Meshes/Vultrane" -name '*.tri' | while read -r f; do
        rel=${f#"$host/game/data/"}
        cp "$f" "$work/Data/$rel"
    done
    if "$host/vultrane" check "$work/Data" >"$work/check.out" 2>&1; then
        echo "ok: the packed configuration (CR LF) passes vultrane check"
    else
        echo "FAIL: the packed configuration does not pass vultrane check:"
        head -20 "$work/check.out"
        exit 1
    fi
fi
echo "the release archives are complete"
