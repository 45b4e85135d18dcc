#!/bin/sh
# Runs the release Vultrane.dll under the Unicorn CPU emulator against a fake game (needs the
# Debian packages python3-unicorn and python3-pefile). Usage: test-dll-emulated.sh PATH/TO/Vultrane.dll
set -eu
if [ $# -lt 1 ]; then
    echo "usage: $0 PATH/TO/Vultrane.dll" >&2
    exit 2
fi
if [ ! -f "$1" ]; then
    echo "no such DLL: $1" >&2
    exit 2
fi
# The system's python3 has the Debian modules; another one on the PATH may not.
PY=/usr/bin/python3
if ! "$PY" -c 'import unicorn, pefile' >/dev/null 2>&1; then
    echo "skipped the emulated DLL test (needs python3-unicorn and python3-pefile)"
    exit 0
fi
exec "$PY" "$(dirname "$0")/../tests/dll/emulate_dll.py" "$@"
