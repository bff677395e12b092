#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time.
#   scripts/fuzz.sh SECONDS [TARGET...]      e.g. scripts/fuzz.sh 30
# Fails on any crash, leak, timeout, out-of-memory or sanitizer report; the
# input that caused it is left in build/fuzz/artifacts/. Inputs that found new
# coverage accumulate in build/fuzz/corpus/<target>/ (the committed seeds in
# fuzz/corpus/<target>/ are only read). FUZZ_JOBS targets run side by side
# (default: 2, or 1 on a single core).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?usage: scripts/fuzz.sh SECONDS [TARGET...]}
shift
scripts/install-deps.sh

dir=build/fuzz
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"

targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_dat_file fuzz_line_assembly fuzz_hex fuzz_config_reply fuzz_trip_reply fuzz_logbook)
jobs=${FUZZ_JOBS:-$(( $(nproc) > 1 ? 2 : 1 ))}
mkdir -p "$dir/artifacts" "$dir/logs"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

run() {
  local t=$1
  mkdir -p "$dir/corpus/$t"
  "$dir/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$dir/artifacts/$t-" "$dir/corpus/$t" "fuzz/corpus/$t" >"$dir/logs/$t.log" 2>&1
}

summary() {
  local t=$1 log=$dir/logs/$1.log
  local execs last
  execs=$(sed -n 's/^stat::number_of_executed_units: //p' "$log")
  last=$(grep -E '^#[0-9]+' "$log" | tail -n 1 | grep -oE 'cov: [0-9]+ ft: [0-9]+' || true)
  echo "$t: ${execs:-?} executions, ${last:-no coverage line}"
}

failed=()
pids=()
names=()
for t in "${targets[@]}"; do
  run "$t" &
  pids+=($!)
  names+=("$t")
  if [ ${#pids[@]} -ge "$jobs" ]; then
    wait "${pids[0]}" || failed+=("${names[0]}")
    pids=("${pids[@]:1}")
    names=("${names[@]:1}")
  fi
done
for i in "${!pids[@]}"; do
  wait "${pids[$i]}" || failed+=("${names[$i]}")
done

for t in "${targets[@]}"; do
  # A sanitizer report that somehow did not end the run still fails it.
  if grep -qE 'runtime error:|ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)' "$dir/logs/$t.log"; then
    [[ " ${failed[*]} " == *" $t "* ]] || failed+=("$t")
  fi
  summary "$t"
done

if [ ${#failed[@]} -gt 0 ]; then
  for t in "${failed[@]}"; do
    echo "--- $t failed; end of $dir/logs/$t.log:" >&2
    tail -n 40 "$dir/logs/$t.log" >&2
  done
  exit 1
fi
