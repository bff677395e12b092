#!/usr/bin/env bash
# Saves a PNG of every window: the main window with trips, the progress
# window in the middle of a reading, the period menu, two statistics windows
# and the chart of the whole list,
# the configuration window and the About box.
#   scripts/screenshots.sh [--build BUILD-DIR] [OUT-DIR]   (default docs/screenshots)
# Runs on a private X server (Xvfb) with the simulated device on COM1; without
# --build it installs what is missing and builds in build/screenshots.
set -euo pipefail
cd "$(dirname "$0")/.."

build=
if [ "${1:-}" = "--build" ]; then build=$2; shift 2; fi
out=${1:-docs/screenshots}

if [ -z "$build" ]; then
  scripts/install-deps.sh
  build=build/screenshots
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j "$(nproc)" --target riventar_screenshots riventar-sim
fi
if ! command -v Xvfb >/dev/null; then
  echo "screenshots: Xvfb is not installed" >&2
  exit 77
fi

work=$(mktemp -d)
xvfb=; sim=
cleanup() {
  [ -n "$sim" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# Xvfb picks a free display and writes its number once it accepts clients.
Xvfb -displayfd 3 -noreset -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || { echo "screenshots: Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }

# A paced device, so that the reading lasts about three seconds.
"$build/sim/riventar-sim" --link "$work/com1" --pace --trips 60 >/dev/null &
sim=$!
for _ in $(seq 100); do [ -e "$work/com1" ] && break; sleep 0.05; done

mkdir -p "$out"
XDG_RUNTIME_DIR=$work DISPLAY=":$(head -n1 "$work/display")" QT_QPA_PLATFORM=xcb RIVENTAR_COM1="$work/com1" \
  "$build/tools/riventar_screenshots" "$out"
