#!/usr/bin/env bash
# Builds RURUZidura and starts it wired to the simulated timer as COM1.
# The simulator stops when the window closes.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/lib.sh
scripts/install-deps
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target ruruzidura perlo-sim

workdir=$(mktemp -d)
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null; rm -rf "$workdir"' EXIT
./build/sim/perlo-sim --link "$workdir/com1" "$@" &
sim=$!
wait_for "$workdir/com1" || true
RURUZIDURA_COM1="$workdir/com1" ./build/ui/ruruzidura
