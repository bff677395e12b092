#!/usr/bin/env bash
# Sets everything up and starts the program with the device simulator on COM1.
#   scripts/run.sh [riventar-sim options...]   (default: --pace --trips 40)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target riventar riventar-sim
[ $# -eq 0 ] && set -- --pace --trips 40
exec sim/run-with-sim.sh build/release "$@"
