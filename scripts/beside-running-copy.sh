#!/usr/bin/env bash
# Runs a command (the test suite) while a copy of the program runs as a user
# would have it: on an X server, with its settings and its logbook in a home
# folder of its own, holding the per-user lock. Afterwards the copy must still
# run and its settings and logbook must be byte for byte what they were: a
# test that reaches the user's files, lock or window shows up here.
#   scripts/beside-running-copy.sh BUILD-DIR COMMAND [ARGS...]
# The command runs in that user's environment (HOME, XDG folders, DISPLAY);
# its status is the script's, or 1 when the user's files changed.
set -euo pipefail
cd "$(dirname "$0")/.."

build=$1
shift
program=$build/ui/riventar
cli=$build/cli/riventar-cli
[ -x "$program" ] || { echo "beside-running-copy: $program is not built" >&2; exit 2; }
command -v Xvfb >/dev/null || { echo "beside-running-copy: Xvfb is not installed" >&2; exit 2; }

work=$(mktemp -d)
xvfb=; copy=
stop() { if [ -n "$1" ]; then kill "$1" 2>/dev/null || true; wait "$1" 2>/dev/null || true; fi; }
cleanup() {
  stop "$copy"
  stop "$xvfb"
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# The user: a home with the usual XDG folders, nothing of this machine's.
export HOME=$work/home
export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share XDG_STATE_HOME=$HOME/.local/state
export XDG_CACHE_HOME=$HOME/.cache XDG_RUNTIME_DIR=$work/runtime
unset RIVENTAR_LOGBOOK RIVENTAR_COM1 RIVENTAR_COM2 WAYLAND_DISPLAY
mkdir -p "$XDG_CONFIG_HOME/riventar" "$XDG_DATA_HOME/riventar"
mkdir -m 0700 "$XDG_RUNTIME_DIR"
settings=$XDG_CONFIG_HOME/riventar/riventar.conf
logbook=$XDG_DATA_HOME/riventar/logbook.sqlite
printf '[ports]\ncom1=/dev/ttyUSB7\n' >"$settings"
# A logbook with a reading in it, made by the command-line program.
if [ -x "$cli" ]; then
  "$build/sim/riventar-sim" --link "$work/device" --trips 5 >/dev/null &
  sim=$!
  for _ in $(seq 100); do [ -e "$work/device" ] && break; sleep 0.05; done
  "$cli" --port "$work/device" download -o "$work/trips.dat" >/dev/null
  stop "$sim"
fi

Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || { echo "beside-running-copy: Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 2; }
export DISPLAY=":$(head -n1 "$work/display")"

QT_QPA_PLATFORM=xcb "$program" >"$work/copy.log" 2>&1 &
copy=$!
for _ in $(seq 600); do [ -e "$XDG_RUNTIME_DIR/riventar.lock" ] && [ -e "$logbook" ] && break; sleep 0.05; done
[ -e "$XDG_RUNTIME_DIR/riventar.lock" ] || { echo "beside-running-copy: the copy took no lock" >&2; exit 2; }
sleep 1  # the copy's own start-up writes are over
fingerprint() { (cd "$HOME" && find . -type f -print0 | sort -z | xargs -0 sha256sum); }
before=$(fingerprint)

status=0
"$@" || status=$?

after=$(fingerprint)
if ! kill -0 "$copy" 2>/dev/null; then
  echo "beside-running-copy: the user's copy of the program did not survive the command" >&2
  cat "$work/copy.log" >&2
  [ "$status" -ne 0 ] || status=1
fi
if [ "$before" != "$after" ]; then
  echo "beside-running-copy: the user's files changed:" >&2
  diff <(echo "$before") <(echo "$after") >&2 || true
  [ "$status" -ne 0 ] || status=1
else
  echo "beside-running-copy: the user's settings and logbook are unchanged ($(echo "$before" | wc -l) files)"
fi
exit "$status"
