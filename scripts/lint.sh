#!/usr/bin/env bash
# The habits every change keeps, as CI checks them:
#   includes point down the layers (scripts/check_layers.py: base <- core <- adapters <- ui, cli, web),
#   clang-format over every C++ file (the style in .clang-format), and
#   clang-tidy over base/, core/, adapters/, cli/ and web/ (the checks in .clang-tidy),
#   against the compile commands of build/test (scripts/test.sh makes them).
#   scripts/lint.sh          check
#   scripts/lint.sh --fix    reformat the files in place (clang-tidy is not run)
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t sources < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${sources[@]}"
  exit 0
fi
scripts/check_layers.py
clang-format --dry-run -Werror "${sources[@]}"

[ -f build/test/compile_commands.json ] || cmake --preset test >/dev/null
# Qt's generated headers must exist before clang-tidy reads the sources.
cmake --build --preset test --target riventar_core riventar_base riventar_ports riventar_logbook riventar-cli riventar-web \
  -j "$(nproc)" >/dev/null
mapfile -t checked < <(git ls-files 'base/*.cpp' 'core/*.cpp' 'adapters/*.cpp' 'cli/*.cpp' 'web/*.cpp')
printf '%s\n' "${checked[@]}" | xargs -P "$(nproc)" -n 4 clang-tidy -p build/test --quiet 2>/dev/null
echo "lint: include direction, formatting and clang-tidy clean"
