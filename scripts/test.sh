#!/bin/bash
# Builds and runs every test: the host build, then the AddressSanitizer + UndefinedBehaviorSanitizer
# build, then the 32-bit hook entry and the game's DLL where their tools are installed. Every stage
# runs even when an earlier one failed (a stage that needs a failed build is skipped, saying so); a
# table of the stages ends the run, and the exit status is 1 when any stage failed.
# With VTR_CI set (.ci/run sets it) compiler warnings are errors in every build.
set -u
cd "$(dirname "$0")/.."
JOBS="${JOBS:-$(nproc)}"
if [ -n "${VTR_CI:-}" ]; then WERROR=ON; else WERROR=OFF; fi
VTR_WERROR_FLAG="-DVTR_WERROR=$WERROR"
logs=$(mktemp -d /tmp/vtr-test-XXXXXX)
trap 'rm -rf "$logs"' EXIT

names=() states=() counts=() results=()
stage_line() { printf '\n==> %s\n' "$*"; }
# record NAME STATE COUNT RESULT
record() { names+=("$1"); states+=("$2"); counts+=("$3"); results+=("$4"); }

# Runs a command with its output shown and kept in $logs/NAME; returns its status. On a terminal a
# build keeps its own progress display (TTY_BUILD=1), elsewhere its output is kept too.
run_logged() {
    local name=$1
    shift
    if [ "${TTY_BUILD:-}" = 1 ] && [ -t 1 ]; then
        "$@"
        return $?
    fi
    "$@" 2>&1 | tee "$logs/$name"
    return "${PIPESTATUS[0]}"
}

# A build stage: NAME DESCRIPTION BUILD_DIR CMAKE_ARGS...; sets built_ok.
build_stage() {
    local name=$1 what=$2 dir=$3
    shift 3
    stage_line "$what"
    if TTY_BUILD=1 run_logged "$name" sh -c 'cmake -S . -B "$0" -G Ninja "$@" >/dev/null && cmake --build "$0" -j "$JOBS"' "$dir" "$@"; then
        record "$name" ran - passed
        built_ok=1
    else
        record "$name" ran - failed
        built_ok=0
    fi
}

# A ctest stage: NAME DESCRIPTION BUILD_DIR BUILT_OK [ENV=VALUE...]
ctest_stage() {
    local name=$1 what=$2 dir=$3 ok=$4
    shift 4
    if [ "$ok" != 1 ]; then
        record "$name" "skipped (its build failed)" - -
        return
    fi
    stage_line "$what"
    local status=0
    run_logged "$name" env "$@" ctest --test-dir "$dir" --output-on-failure -j "$JOBS" || status=$?
    # "100% tests passed, 0 tests failed out of 284"
    local line total failed
    line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$logs/$name" | tail -1)
    total=$(echo "$line" | sed -nE 's/.* out of ([0-9]+).*/\1/p')
    failed=$(echo "$line" | sed -nE 's/.*passed, ([0-9]+) tests? failed.*/\1/p')
    if [ -n "$total" ]; then
        record "$name" ran "$total tests ($((total - failed)) passed, $failed failed)" "$([ "$status" = 0 ] && echo passed || echo failed)"
    else
        record "$name" ran "-" failed
    fi
}
export JOBS

# Stage lines from a checking script: "ok..." and "FAIL..." lines.
checks_count() {
    local ok bad
    ok=$(grep -cE '^ok' "$1")
    bad=$(grep -cE '^FAIL' "$1")
    echo "$((ok + bad)) checks ($ok passed, $bad failed)"
}

build_stage "host build" "building the host build in build/ (the first build takes several minutes)" build \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo "$VTR_WERROR_FLAG"
host_ok=$built_ok
ctest_stage "host tests" "running the host tests (ctest in build/)" build "$host_ok"

build_stage "sanitizer build" "building the AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/ (the first build takes several minutes)" \
    build-asan -DCMAKE_BUILD_TYPE=Debug -DVTR_SANITIZE=ON -DVTR_BENCH=OFF "$VTR_WERROR_FLAG"
asan_ok=$built_ok
ctest_stage "sanitizer tests" "running the tests under the sanitizers (ctest in build-asan/)" build-asan "$asan_ok" \
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# The 32-bit hook entry on an emulated i686 CPU, where the tools for it are installed.
if command -v qemu-i386 >/dev/null 2>&1 && { [ -e /usr/lib32/libstdc++.so.6 ] || [ -d /usr/lib/gcc/x86_64-linux-gnu/12/32 ]; }; then
    stage_line "building and running the 32-bit hook entry on an emulated i686 CPU"
    status=0
    run_logged hook ./scripts/test-hook-i686.sh || status=$?
    record "i686 hook entry" ran "$(checks_count "$logs/hook")" "$([ "$status" = 0 ] && echo passed || echo failed)"
else
    record "i686 hook entry" "skipped (needs g++-multilib and qemu-user)" - -
fi

# The game's DLL: cross-built, stripped and checked, then executed under a CPU emulator against a
# fake game, where the tools for it are installed.
if command -v i686-w64-mingw32-g++-posix >/dev/null 2>&1; then
    stage_line "cross-building the release Vultrane.dll in build-win/ and checking its exports and imports (the first build takes minutes)"
    status=0
    run_logged dll ./scripts/build-windows.sh || status=$?
    record "Windows DLL build and check" ran "$(checks_count "$logs/dll")" "$([ "$status" = 0 ] && echo passed || echo failed)"
    if [ "$status" = 0 ]; then
        stage_line "running Vultrane.dll under a CPU emulator against a fake game"
        status=0
        run_logged emulated ./scripts/test-dll-emulated.sh build-win/Vultrane.dll || status=$?
        summary=$(grep -E '^[0-9]+ checks: [0-9]+ ok, [0-9]+ failed' "$logs/emulated" | tail -1)
        if grep -q '^skipped' "$logs/emulated"; then
            record "emulated DLL" "skipped (needs python3-unicorn and python3-pefile)" - -
        elif [ -n "$summary" ]; then
            total=${summary%% checks*}
            ok=$(echo "$summary" | sed -nE 's/.*: ([0-9]+) ok.*/\1/p')
            bad=$(echo "$summary" | sed -nE 's/.* ([0-9]+) failed.*/\1/p')
            record "emulated DLL" ran "$total checks ($ok passed, $bad failed)" "$([ "$status" = 0 ] && echo passed || echo failed)"
        else
            record "emulated DLL" ran - failed
        fi
    else
        record "emulated DLL" "skipped (the DLL build failed)" - -
    fi
else
    record "Windows DLL build and check" "skipped (needs g++-mingw-w64-i686)" - -
    record "emulated DLL" "skipped (needs g++-mingw-w64-i686)" - -
fi

# vultrane.exe and the release archives (built by build-windows.sh): the archives' contents, and
# the exe under Wine against the Linux build's vultrane.
if [ -f build-win/vultrane.exe ]; then
    stage_line "checking the release archives"
    status=0
    run_logged package ./scripts/test-package.sh build || status=$?
    record "release archives" ran "$(checks_count "$logs/package")" "$([ "$status" = 0 ] && echo passed || echo failed)"
    if command -v wine >/dev/null 2>&1 || command -v wine64 >/dev/null 2>&1; then
        stage_line "running vultrane.exe under Wine against the Linux build (takes minutes)"
        status=0
        run_logged wine ./scripts/test-exe-wine.sh build-win/vultrane.exe build || status=$?
        ok=$(sed -nE 's/^([0-9]+) checks$/\1/p' "$logs/wine" | tail -1)
        bad=$(grep -cE '^FAIL' "$logs/wine")
        record "vultrane.exe under Wine" ran "$((${ok:-0} + bad)) checks (${ok:-0} passed, $bad failed)" \
            "$([ "$status" = 0 ] && echo passed || echo failed)"
    else
        record "vultrane.exe under Wine" "skipped (needs wine64)" - -
    fi
else
    record "release archives" "skipped (no build-win/vultrane.exe: its build failed, or it needs g++-mingw-w64-x86-64-posix and libz-mingw-w64-dev)" - -
    record "vultrane.exe under Wine" "skipped (no build-win/vultrane.exe)" - -
fi

# The studio page in headless Chromium (skipped, saying so, where it is not installed).
if [ "$host_ok" = 1 ]; then
    stage_line "the studio page in headless Chromium"
    status=0
    run_logged browser ./scripts/test-studio-browser.sh build || status=$?
    if grep -qi '^skipped' "$logs/browser"; then
        record "studio in a browser" "skipped ($(grep -i '^skipped' "$logs/browser" | head -1 | cut -c1-60))" - -
    else
        if [ "$status" = 0 ]; then
            record "studio in a browser" ran "1 test (1 passed, 0 failed)" passed
        else
            record "studio in a browser" ran "1 test (0 passed, 1 failed)" failed
        fi
    fi
else
    record "studio in a browser" "skipped (the host build failed)" - -
fi

# The table, then one closing line of totals: every test and check, and each failed stage that has
# no count of its own (a failed build) as one failure.
passed=0
failed=0
any_failed=0
# Column widths from the longest entry of each column.
w1=5 w2=3 w3=15
for i in "${!names[@]}"; do
    [ ${#names[$i]} -gt $w1 ] && w1=${#names[$i]}
    [ ${#states[$i]} -gt $w2 ] && w2=${#states[$i]}
    [ ${#counts[$i]} -gt $w3 ] && w3=${#counts[$i]}
done
row() { printf "%-${w1}s  %-${w2}s  %-${w3}s  %s\n" "$@"; }
echo
row stage ran "tests or checks" result
row "$(printf '%*s' "$w1" '' | tr ' ' -)" "$(printf '%*s' "$w2" '' | tr ' ' -)" "$(printf '%*s' "$w3" '' | tr ' ' -)" ------
for i in "${!names[@]}"; do
    row "${names[$i]}" "${states[$i]}" "${counts[$i]}" "${results[$i]}"
    c=${counts[$i]}
    if [[ $c =~ \(([0-9]+)\ passed,\ ([0-9]+)\ failed\) ]]; then
        passed=$((passed + BASH_REMATCH[1]))
        failed=$((failed + BASH_REMATCH[2]))
    elif [ "${results[$i]}" = failed ]; then
        failed=$((failed + 1))
    fi
    [ "${results[$i]}" = failed ] && any_failed=1
done
echo
if [ "$any_failed" = 1 ]; then
    echo "some stages failed (their output is above)"
else
    echo "every stage that ran passed"
fi
echo "total: $passed passed, $failed failed"
exit "$any_failed"
