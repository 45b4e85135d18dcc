#!/bin/bash
# Runs the Windows vultrane.exe under Wine beside the Linux build's vultrane on the example game
# folder and on broken copies of it, and requires the same exit status, the same reports (paths
# normalised: drive, separators, CR LF) and byte-identical merged .tri files. Paths are handed to
# the exe as Windows paths (Z:\..., backslashes), some in other letter case.
# Usage: scripts/test-exe-wine.sh [build-win/vultrane.exe] [build]   (needs wine or wine64)
set -u
cd "$(dirname "$0")/.."
exe=$(realpath "${1:-build-win/vultrane.exe}")
host=$(realpath "${2:-build}")
linux="$host/vultrane"
wine=$(command -v wine || command -v wine64 || true)
[ -n "$wine" ] || { echo "test-exe-wine: no wine here"; exit 1; }
[ -f "$exe" ] || { echo "FAIL: no file $exe"; exit 1; }
[ -x "$linux" ] && [ -d "$host/game/data" ] || { echo "FAIL: no host build in $host (vultrane, game/)"; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/vultrane-wine.XXXXXX")
# A prefix of its own, kept beside the exe's build so that later runs skip Wine's first start.
export WINEPREFIX="${WINEPREFIX:-$(dirname "$exe")/wine-prefix}"
export WINEDEBUG=-all
cleanup() {
    command -v wineserver >/dev/null 2>&1 && wineserver -k >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

fail=0
checks=0
ok() { checks=$((checks + 1)); }
bad() { echo "FAIL: $*"; fail=1; }

# /a/b -> Z:\a\b (Wine's drive Z: is the Linux root).
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
# The same path with every letter in upper case after the drive: Windows finds it all the same.
winpath_upper() { winpath "$1" | tr '[:lower:]' '[:upper:]'; }

# Both programs' output made comparable: no CR, forward slashes (also JSON's escaped ones), no
# drive, the work, game and build folders named.
normalise() {
    tr -d '\r' | sed 's#\\\\#/#g' | tr '\\' / | sed -E "s#[Zz]:/#/#g; s#$work#@WORK@#Ig; s#$host/game#@GAME@#Ig; s#$host#@HOST@#Ig"
}

# run_both NAME ARG...: an argument P:/abs/path is given to Linux as it is and to Windows as
# Z:\abs\path; U:/abs/path likewise, in upper case for Windows.
translate() {
    lin=() win=()
    local a
    for a in "$@"; do
        case "$a" in
        P:*) lin+=("${a#P:}"); win+=("$(winpath "${a#P:}")") ;;
        U:*) lin+=("${a#U:}"); win+=("$(winpath_upper "${a#U:}")") ;;
        *) lin+=("$a"); win+=("$a") ;;
        esac
    done
}

run_both() {
    local name=$1
    shift
    translate "$@"
    (cd "$work" && "$linux" "${lin[@]}") >"$work/$name.lin.out" 2>"$work/$name.lin.err"
    echo $? >"$work/$name.lin.rc"
    (cd "$work" && "$wine" "$exe" "${win[@]}") >"$work/$name.win.out" 2>"$work/$name.win.err" </dev/null
    echo $? >"$work/$name.win.rc"
}

# same_outputs NAME: the two runs' standard output and error output agree once normalised.
same_outputs() {
    local name=$1 s
    for s in out err; do
        normalise <"$work/$name.lin.$s" >"$work/$name.lin.$s.n"
        normalise <"$work/$name.win.$s" >"$work/$name.win.$s.n"
        if cmp -s "$work/$name.lin.$s.n" "$work/$name.win.$s.n"; then ok; else
            bad "$name: standard ${s/err/error} differs (Linux -, Wine +):"
            diff -u "$work/$name.lin.$s.n" "$work/$name.win.$s.n" | head -20
        fi
    done
}

# same NAME ARG...: runs both and requires the same status, output and error output.
same() {
    local name=$1
    run_both "$@"
    local lrc wrc
    lrc=$(cat "$work/$name.lin.rc")
    wrc=$(cat "$work/$name.win.rc")
    [ "$lrc" = "$wrc" ] && ok || bad "$name: exit status $wrc under Wine, $lrc on Linux"
    same_outputs "$name"
}

# expect_status NAME STATUS: the run NAME ended with STATUS on both (guards against two equal
# crashes passing as agreement).
expect_status() {
    [ "$(cat "$work/$1.lin.rc")" = "$2" ] && ok || bad "$1: exit status $(cat "$work/$1.lin.rc"), expected $2"
}

# merge_both NAME ARG...: merges on Linux and under Wine into the same output path, one after
# the other, and requires the same report and byte-identical files.
merge_both() {
    local name=$1
    shift
    local out="$work/merged"
    rm -rf "$out" "$work/$name.lin.tree" "$work/$name.win.tree"
    translate merge "$@" --out P:"$out"
    (cd "$work" && "$linux" "${lin[@]}") >"$work/$name.lin.out" 2>"$work/$name.lin.err"
    echo $? >"$work/$name.lin.rc"
    [ -d "$out" ] && mv "$out" "$work/$name.lin.tree" || mkdir "$work/$name.lin.tree"
    (cd "$work" && "$wine" "$exe" "${win[@]}") >"$work/$name.win.out" 2>"$work/$name.win.err" </dev/null
    echo $? >"$work/$name.win.rc"
    [ -d "$out" ] && mv "$out" "$work/$name.win.tree" || mkdir "$work/$name.win.tree"
    [ "$(cat "$work/$name.lin.rc")" = "$(cat "$work/$name.win.rc")" ] && ok \
        || bad "$name: exit status $(cat "$work/$name.win.rc") under Wine, $(cat "$work/$name.lin.rc") on Linux"
    same_outputs "$name"
    if diff -r "$work/$name.lin.tree" "$work/$name.win.tree" >"$work/$name.treediff" 2>&1; then ok; else
        bad "$name: merged files differ:"
        head -10 "$work/$name.treediff"
    fi
    local n
    n=$(find "$work/$name.win.tree" -name '*.tri' | wc -l)
    echo "  $name: $n merged .tri files, identical"
}

game="$host/game"
nord="$game/data/Meshes/Vultrane/Sets"
echo "vultrane.exe under Wine ($("$wine" --version 2>/dev/null)) against $linux"

# The program itself (Wine's first start in a new prefix sets the prefix up, noisily).
"$wine" cmd /c exit >/dev/null 2>&1 </dev/null || true
"$wine" "$exe" --version >"$work/version" 2>&1 </dev/null
[ "$(tr -d '\r' <"$work/version")" = "$("$linux" --version)" ] && ok || bad "--version: '$(cat "$work/version")'"
command -v wineserver >/dev/null 2>&1 && wineserver -p >/dev/null 2>&1 || true  # one server for all runs: about a second each instead of several
# Help: the program's own path differs, and Windows has no demo (it needs the plug-in loaded as
# a library into the simulated game).
run_both help --help
expect_status help 0
[ "$(cat "$work/help.win.rc")" = 0 ] && ok || bad "--help: exit status $(cat "$work/help.win.rc")"
for c in check sliders tri merge slot formula preview studio; do
    grep -Eq "^ +$c( |\$)" "$work/help.win.out" && ok || bad "--help under Wine does not list $c"
done
grep -Eq "^ +demo( |\$)" "$work/help.win.out" && bad "--help under Wine lists demo" || ok
same bad-args merge
expect_status bad-args 2
same no-folder check P:/no/such/folder
expect_status no-folder 2

# The example game folder: clean, as Windows paths, in other letter case, and as its Data folder.
same check check P:"$game"
expect_status check 0
same check-json check P:"$game" --json
same check-upper check U:"$game"
same check-data check P:"$game/data"
expect_status check-data 0
same sliders sliders P:"$game" --race Nord --sex female
same sliders-json sliders P:"$game" --race NordRaceVampire --sex male --json
same sliders-imperial sliders U:"$game" --race Imperial --sex female --no-brows
for f in "$nord"/*.tri; do
    same "tri-info-$(basename "$f" .tri)" tri info P:"$f"
done
same tri-diff tri diff P:"$nord/NordFemaleHead.tri" P:"$nord/NordMaleHead.tri"
same slot-export slot export P:"$game/data/Meshes/Vultrane/Presets/NordPreset02.txt"
same formula formula "x*x-0.5" --from -1 --to 1 --steps 9
# Pictures: the same renderer and PNG writer give the same bytes.
pictures() {
    local name=$1 side=$2
    shift 2
    rm -rf "$work/pictures"
    mkdir -p "$work/pictures"
    translate "$@"
    if [ "$side" = lin ]; then (cd "$work" && "$linux" "${lin[@]}"); else (cd "$work" && "$wine" "$exe" "${win[@]}" </dev/null); fi >/dev/null 2>&1
    mv "$work/pictures" "$work/$name.$side.pictures"
}
for side in lin win; do
    pictures plot $side formula "x*x-0.5" --from -1 --to 1 --steps 9 --plot P:"$work/pictures/plot.png"
    pictures preview $side preview P:"$nord/NordFemaleHead.tri" --morph BrowUp=1 --morph EyesMoveUp=0.5 --out P:"$work/pictures/head" --size 96
done
for name in plot preview; do
    n=$(find "$work/$name.win.pictures" -name '*.png' | wc -l)
    [ "$n" -gt 0 ] && diff -r "$work/$name.lin.pictures" "$work/$name.win.pictures" >/dev/null && ok \
        || bad "$name: pictures differ or are missing ($n under Wine)"
    echo "  $name: $n PNG files, identical"
done
merge_both merge-preset P:"$game" --race Nord --sex female --slot P:"$game/data/Meshes/Vultrane/Presets/NordPreset02.txt"
merge_both merge-values U:"$game" --race Nord --sex male --values 28=1,29=-0.5,1301=0.75,2000=0.4

# The studio: both programs serve the example game; the same requests get the same answers
# (paths normalised), the guards hold under Winsock as under POSIX sockets.
studio_start() {  # SIDE: starts the server, waits for its address line
    local side=$1
    if [ "$side" = lin ]; then
        "$linux" studio "$game" --race Nord >"$work/studio.$side.out" 2>"$work/studio.$side.err" </dev/null &
    else
        "$wine" "$exe" studio "$(winpath "$game")" --race Nord >"$work/studio.$side.out" 2>"$work/studio.$side.err" </dev/null &
    fi
    echo $! >"$work/studio.$side.pid"
    for _ in $(seq 1 600); do
        grep -q '^http://127.0.0.1:' "$work/studio.$side.out" 2>/dev/null && break
        sleep 0.1
    done
    tr -d '\r' <"$work/studio.$side.out" | grep -m1 '^http://127.0.0.1:'
}
url_lin=$(studio_start lin)
url_win=$(studio_start win)
if [ -z "$url_win" ]; then
    bad "studio under Wine printed no address: $(tr -d '\r' <"$work/studio.win.err" | head -5)"
else
    ok
    python3 - "$url_lin" "$url_win" "$work" >"$work/studio.report" 2>&1 <<'PY'
import json, sys, urllib.error, urllib.parse, urllib.request
lin, win, work = sys.argv[1], sys.argv[2], sys.argv[3]
def call(url, path, body=None, token=True, origin=True):
    u = urllib.parse.urlsplit(url)
    base = f"{u.scheme}://{u.netloc}"
    token_value = urllib.parse.parse_qs(u.query)["token"][0]
    headers = {"X-Vtr-Token": token_value} if token else {}
    if body is not None and origin:
        headers["Origin"] = base
        headers["Content-Type"] = "application/json"
    req = urllib.request.Request(base + path, data=body.encode() if body is not None else None, headers=headers)
    try:
        with urllib.request.urlopen(req, timeout=60) as r:
            return r.status, r.read()
    except urllib.error.HTTPError as e:
        return e.code, e.read()
def norm(b):
    return b.decode("utf-8", "replace").replace("\\\\", "/").replace("Z:/", "/").replace("z:/", "/")
failed = 0
def same(name, path, body=None, **kw):
    global failed
    a, b = call(lin, path, body, **kw), call(win, path, body, **kw)
    if a[0] != b[0] or norm(a[1]) != norm(b[1]):
        failed += 1
        print(f"FAIL: studio {name}: Linux {a[0]} {len(a[1])} bytes, Windows {b[0]} {len(b[1])} bytes")
        open(f"{work}/studio-{name}.lin", "wb").write(a[1])
        open(f"{work}/studio-{name}.win", "wb").write(b[1])
    else:
        print(f"ok  : studio {name}: {a[0]}, {len(a[1])} bytes")
    return a
same("page", "/")
same("script", "/studio.js")
state = same("state", "/api/state")
same("mesh", "/api/mesh")
same("merge", "/api/merge", json.dumps({"values": [[28, 1.0], [29, -0.5], [2000, 0.5]]}))
same("preset", "/api/preset?index=1")
same("no token", "/api/state", token=False)
same("no origin", "/api/merge", json.dumps({"values": []}), origin=False)
same("traversal", "/..%2f..%2fwindows%2fwin.ini")
same("bad body", "/api/merge", "{")
if state[0] != 200 or not json.loads(state[1]).get("records"):
    failed += 1
    print("FAIL: studio state lists no sliders")
sys.exit(1 if failed else 0)
PY
    rc=$?
    sed 's/^/  /' "$work/studio.report"
    [ "$rc" = 0 ] && ok || bad "studio: the two servers answer differently (answers in $work)"
fi
for side in lin win; do
    [ -f "$work/studio.$side.pid" ] && kill "$(cat "$work/studio.$side.pid")" 2>/dev/null
done
wait 2>/dev/null

# A mod's Data folder that is not named Data (a mod manager's mod folder).
mod="$work/My Mod"
mkdir -p "$mod"
cp -R "$game/data/Meshes" "$mod/Meshes"
# Windows makes a junction to it; Wine cannot, and there the exe must refuse clearly instead.
run_both check-mod check P:"$mod"
if grep -q "cannot link the data folder" "$work/check-mod.win.err"; then
    echo "  check-mod: Wine makes no junctions; checked the exe's refusal instead"
    [ "$(cat "$work/check-mod.win.rc")" = 1 ] && ok || bad "check-mod: exit status $(cat "$work/check-mod.win.rc"), expected 1"
else
    same check-mod check P:"$mod"
fi
expect_status check-mod 0
diff -r "$game/data/Meshes" "$mod/Meshes" >/dev/null && ok || bad "the mod folder changed"
# Nothing of the temporary game folders is left behind.
left=$(find "$WINEPREFIX/drive_c/users" -maxdepth 3 -name 'vultrane-*' 2>/dev/null | head -3)
[ -z "$left" ] && ok || bad "temporary folders left: $left"

# Broken copies.
broken() {
    rm -rf "$work/broken"
    mkdir -p "$work/broken"
    cp -R "$game/data" "$work/broken/data"
    rm -f "$work/broken/data/skse/plugins/"*.log*
    echo "$work/broken"
}
b=$(broken)
rm "$b/data/Meshes/Vultrane/Sets/NordFemaleEyes.tri"
head -c 3000 "$nord/NordMaleHead.tri" >"$b/data/Meshes/Vultrane/Sets/NordMaleHead.tri"
same broken-check check P:"$b"
expect_status broken-check 1
same broken-check-json check P:"$b" --json
same broken-tri tri info P:"$b/data/Meshes/Vultrane/Sets/NordMaleHead.tri"
same broken-tri-diff tri diff P:"$b/data/Meshes/Vultrane/Sets/NordMaleHead.tri" P:"$nord/NordMaleHead.tri"
expect_status broken-tri-diff 2
merge_both broken-merge P:"$b" --race Nord --sex female --values 28=1,29=-0.5
merge_both broken-merge-male P:"$b" --race Nord --sex male --values 28=1,29=-0.5

b=$(broken)
sets="$b/data/Meshes/Vultrane/Sets"
# A line the loader rejects (the whole set goes) and a race set that does not exist.
printf '\nBad slider, notanumber, 200, A, B\n' >>"$sets/Nord.ini"
sed -i 's/^sliderini=Sets\\Default.ini/sliderini=Sets\\Missing.ini/' "$b/data/Meshes/Vultrane/races.ini"
same broken-config check P:"$b"
expect_status broken-config 1
same broken-config-sliders sliders P:"$b" --race Nord --sex female
merge_both broken-config-merge P:"$b" --race Nord --sex female --values 28=1,29=-0.5

# Formulas that fail, a morph in no source, and a preset with lines the reader skips.
b=$(broken)
sets="$b/data/Meshes/Vultrane/Sets"
printf '\n[-head]\nCurve, 4100, 202, NPC Head [Head], 0.3, NPC Neck [Neck], (x/0\nHuge, 4101, 202, NPC Head [Head], 0.3, NPC Neck [Neck], 10^400*x\nLip type, 4102, 200, LipTyp5, LipType6\n' >>"$sets/Nord.ini"
printf '28, 1.0\nnot a pair\n99999999999, 2\n4102, 0.5\n' >>"$b/data/Meshes/Vultrane/Presets/NordPreset01.txt"
same broken-formula check P:"$b"
same broken-formula-json check P:"$b" --json
same broken-formula-sliders sliders P:"$b" --race Nord --sex female --json
same broken-preset slot export P:"$b/data/Meshes/Vultrane/Presets/NordPreset01.txt"
merge_both broken-formula-merge P:"$b" --race Nord --sex female --slot P:"$b/data/Meshes/Vultrane/Presets/NordPreset01.txt"

echo "$checks checks"
[ "$fail" = 0 ] || { echo "vultrane.exe under Wine differs from the Linux build"; exit 1; }
echo "vultrane.exe under Wine gives the Linux build's results"
