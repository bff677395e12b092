#!/usr/bin/env bash
# The habits every change keeps, as CI checks them:
#   includes point down the layers (scripts/check_layers.py: base <- core <- adapters <- ui, cli, web),
#   clang-format over every C++ file (the style in .clang-format), and
#   clang-tidy over base/, core/, adapters/, cli/ and web/ (the checks in .clang-tidy),
#   against the compile commands of build/test (scripts/test.sh makes them).
#   scripts/lint.sh          all three
#   scripts/lint.sh --quick  the include direction and the formatting only: seconds, no build
#                            (scripts/test.sh runs it before building)
#   scripts/lint.sh --tidy   clang-tidy only (scripts/test.sh runs it after the suite)
#   scripts/lint.sh --fix    reformat the files in place (nothing is checked)
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:-all}
case "$mode" in
  all | --quick | --tidy | --fix) ;;
  *) echo "usage: scripts/lint.sh [--quick | --tidy | --fix]" >&2; exit 2 ;;
esac
mapfile -t sources < <(git ls-files '*.cpp' '*.h')
if [ "$mode" = --fix ]; then
  clang-format -i "${sources[@]}"
  exit 0
fi

if [ "$mode" != --tidy ]; then
  scripts/check_layers.py
  clang-format --dry-run -Werror "${sources[@]}"
  if [ "$mode" = --quick ]; then
    echo "lint: include direction and formatting clean"
    exit 0
  fi
fi

[ -f build/test/compile_commands.json ] || cmake --preset test >/dev/null
# Qt's generated headers must exist before clang-tidy reads the sources.
cmake --build --preset test --target riventar_core riventar_base riventar_ports riventar_logbook riventar-cli riventar-web \
  -j "$(nproc)" >/dev/null
mapfile -t checked < <(git ls-files 'base/*.cpp' 'core/*.cpp' 'adapters/*.cpp' 'cli/*.cpp' 'web/*.cpp')
printf '%s\n' "${checked[@]}" | xargs -P "$(nproc)" -n 4 clang-tidy -p build/test --quiet 2>/dev/null
if [ "$mode" = --tidy ]; then
  echo "lint: clang-tidy clean"
else
  echo "lint: include direction, formatting and clang-tidy clean"
fi
