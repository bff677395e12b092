#!/usr/bin/env bash
# Builds and runs the whole test suite.
#   scripts/test.sh          the program and every test
#   scripts/test.sh asan     the same with AddressSanitizer and UndefinedBehaviorSanitizer
#   scripts/test.sh tsan     the link engine and core tests with ThreadSanitizer (no Qt)
set -euo pipefail
cd "$(dirname "$0")/.."
flavour=${1:-plain}
scripts/install-deps.sh

case "$flavour" in
  plain) dir=build/test;  args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  asan)  dir=build/asan;  args=(-DCMAKE_BUILD_TYPE=Debug "-DRIVENTAR_SANITIZE=address;undefined") ;;
  tsan)  dir=build/tsan;  args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DRIVENTAR_SANITIZE=thread -DRIVENTAR_WITH_UI=OFF) ;;
  *) echo "unknown flavour: $flavour" >&2; exit 2 ;;
esac

cmake -S . -B "$dir" -G Ninja -DRIVENTAR_WERROR=ON "${args[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
# LeakSanitizer reports Qt's and fontconfig's process-lifetime caches; our own code stays checked.
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0

# Widget tests run offscreen; the single-instance test starts its own Xvfb.
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" --timeout 300
