#!/usr/bin/env bash
# Sets everything up and starts the program with the device simulator on COM1.
#   scripts/run.sh [riventar-sim options...]   (default: --pace --trips 40)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DRIVENTAR_WITH_TESTS=OFF >/dev/null
cmake --build build/release -j "$(nproc)" --target riventar riventar-sim
[ $# -eq 0 ] && set -- --pace --trips 40
exec sim/run-with-sim.sh build/release "$@"
