#!/usr/bin/env bash
# Builds and runs the whole test suite.
#   scripts/test.sh          the program and every test, then clang-tidy (scripts/lint.sh --tidy)
#   scripts/test.sh asan     the same with AddressSanitizer and UndefinedBehaviorSanitizer
#   scripts/test.sh tsan     the link engine and core tests with ThreadSanitizer (no Qt)
set -euo pipefail
cd "$(dirname "$0")/.."
flavour=${1:-plain}
scripts/install-deps.sh

case "$flavour" in
  plain) preset=test ;;
  asan | tsan) preset=$flavour ;;
  *) echo "unknown flavour: $flavour" >&2; exit 2 ;;
esac

# A formatting slip or an include against the layers fails in seconds, before
# anything is built.
scripts/lint.sh --quick

# The presets (CMakePresets.json) hold each flavour's options and its
# sanitizer settings; build/$preset is where it builds.
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)"

# Widget tests run offscreen; the single-instance test starts its own Xvfb.
# Every test has a home and XDG folders of its own (tests/own_world.cmake);
# the suite runs beside a copy of the program that a user has open, on an X
# server, and must leave its lock, window, settings and logbook alone.
if [ "$flavour" = tsan ]; then
  ctest --preset "$preset" -j "$(nproc)"
else
  scripts/beside-running-copy.sh "build/$preset" ctest --preset "$preset" -j "$(nproc)"
fi

# clang-tidy reads the build's compile commands, so it comes last.
if [ "$flavour" = plain ]; then scripts/lint.sh --tidy; fi
