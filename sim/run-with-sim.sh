#!/usr/bin/env bash
# Starts the simulated device and the program with COM1 pointing at it.
#   sim/run-with-sim.sh [build-dir] [riventar-sim options...]
# e.g. sim/run-with-sim.sh build --pace --trips 120
# The simulator stops when the program ends.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
if [ $# -gt 0 ] && [ -d "$1" ]; then build=$1; shift; fi
if [ ! -x "$build/riventar" ] && [ ! -x "$build/ui/riventar" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target riventar riventar-sim >/dev/null
program=$(find "$build" -maxdepth 2 -type f -name riventar -perm -u+x | head -n1)
link=${XDG_RUNTIME_DIR:-/tmp}/riventar-sim-com1

"$build/sim/riventar-sim" --link "$link" "$@" >/dev/null &
sim=$!
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null || true' EXIT
trap 'exit 130' INT TERM HUP
for _ in $(seq 50); do [ -e "$link" ] && break; sleep 0.1; done
RIVENTAR_COM1=$link "$program"
