#!/usr/bin/env bash
# Builds every benchmark of bench/ in Release (in build/bench), runs them all
# and prints one table of the figures; the full outputs stay in build/bench/results.
#   scripts/bench.sh
# Takes about three minutes; the paced readings alone are four 14-second runs, the
# logbook's million trips half a minute to record (twice: the window's benchmark fills its own),
# the server logbook's ten million trips some minutes to fill (a throwaway PostgreSQL server).
# The start-up timing runs the real program on a private X server (Xvfb).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
dir=build/bench
cmake --preset bench >/dev/null
cmake --build --preset bench -j "$(nproc)" --target bench_link bench_cli bench_trips_micro bench_trips_e2e bench_stats bench_app bench_logbook \
  bench_logbook_window bench_logbook_server
results=$dir/results
rm -rf "$results" && mkdir -p "$results"

xvfb=
cleanup() { if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null || true; fi; }
trap cleanup EXIT
trap 'exit 130' INT TERM HUP
Xvfb -displayfd 3 -noreset -screen 0 1280x1024x24 -nolisten tcp 3>"$results/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$results/display" ] && break; sleep 0.05; done

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
run() {  # run NAME COMMAND...: the output into $results/NAME.txt
  local name=$1; shift
  echo "running $name ..." >&2
  "$@" >"$results/$name.txt" 2>&1 || { echo "$name failed:" >&2; cat "$results/$name.txt" >&2; exit 1; }
}
export QT_QPA_PLATFORM=offscreen
run link "$dir/bench/link/bench_link"
run cli "$dir/bench/cli/bench_cli"
run trips_micro "$dir/bench/trips/bench_trips_micro"
run trips_e2e "$dir/bench/trips/bench_trips_e2e"
run stats "$dir/bench/stats/bench_stats"
run logbook "$dir/bench/logbook/bench_logbook"
run logbook_server "$dir/bench/logbook/bench_logbook_server"
DISPLAY=":$(head -n1 "$results/display")" run app "$dir/bench/app/bench_app"
run logbook_window "$dir/bench/app/bench_logbook_window"
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

# gbench FILE NAME: "time unit" of a Google Benchmark row (wall-clock column).
gbench() { awk -v n="$2" '$1 == n { print $2 " " $3; exit }' "$results/$1.txt"; }
# counter FILE NAME KEY: a user counter of that row.
counter() { awk -v n="$2" -v k="$3=" '$1 == n { for (i = 1; i <= NF; i++) if (index($i, k) == 1) print substr($i, length(k) + 1); exit }' "$results/$1.txt"; }
# after FILE PREFIX: what follows a printed line's prefix, up to " (" or the end.
after() { grep -m1 -F "$2" "$results/$1.txt" | sed -e "s|^.*$2 *||" -e 's| (.*||'; }

read_row=BM_Read255TripsPaced/iterations:2/manual_time
row() { printf '%-58s %s\n' "$1" "$2"; }
echo
row "measure" "result"
row "-------" "------"
row "read 255 trips at 9600 baud (mean of 2)" "$(gbench link $read_row) against $(counter link $read_row wire_s) s on the wire"
row "  ratio to the wire time (worst of 2; target <= 1.02)" "$(after link 'read 255 trips: worst ratio to wire time')"
program=$(after link 'read 255 trips: program mean'); simplest=$(after link 'read 255 trips: simplest client mean')
row "  the simplest client: write, wait for the CR (mean of 2)" "$simplest"
row "  ratio of the program to it (target <= 1.005)" "$(awk -v p="$program" -v s="$simplest" 'BEGIN { printf "%.4f", p / s }')"
cli_row=BM_CliDownload255TripsPaced/iterations:2/manual_time
row "riventar-cli download -o of 255 trips, 9600 baud (mean of 2)" "$(gbench cli $cli_row) against $(counter cli $cli_row wire_s) s on the wire"
row "  ratio to the wire time (worst of 2)" "$(after cli 'cli download 255 trips: worst ratio to wire time')"
row "riventar-cli download --new, 5 of 255 trips new, 9600 baud (mean of 5)" "$(gbench cli BM_CliDownloadNewPaced/iterations:5/manual_time)"
row "  worst of 5 (target < 1 s)" "$(after cli 'cli download --new, 5 of 255 trips new: worst')"
row "riventar-cli log trips --format dat of 100,000 trips (mean of 5)" "$(gbench cli BM_CliLogTrips100kDat/iterations:5/manual_time)"
row "  worst of 5 (target < 0.5 s)" "$(after cli 'cli log trips --format dat of 100,000 trips: worst')"
row "disconnect latency (mean of 50)" "$(gbench link BM_Disconnect/iterations:50/manual_time)"
row "  worst of 50 (target < 20 ms)" "$(after link 'disconnect: worst')"
row "idle CPU of a connected link, 3 s (target < 0.1 %)" "$(after link 'idle connected link:')"
row "load 100,000 trips: parse the .dat bytes" "$(gbench trips_micro Parse/100000)"
row "load 100,000 trips from a .dat file into the shown table" "$(after trips_e2e 'load a .dat file and show the table')"
row "show 100,000 trips: redraw, scroll to the end, paint" "$(after app 'show 100,000 trips in the table (redraw, scroll to the end, paint): median')"
row "save 100,000 trips: format the .dat bytes" "$(gbench trips_micro Serialize/100000)"
row "save 100,000 trips to a .dat file (dialog to disk)" "$(after trips_e2e 'save to a .dat file')"
row "export 100,000 trips: format the .csv bytes" "$(gbench trips_micro Export/100000)"
row "export 100,000 trips to a .csv file (dialog to disk)" "$(after trips_e2e 'export to a .csv file')"
row "statistics over all 100,000 trips: figures" "$(gbench stats BM_FiguresEverything/repeats:9_median)"
row "  menu choice to the filled statistics window" "$(gbench stats BM_WindowEverything/repeats:9_median)"
row "chart over all 100,000 trips: buckets (target < 10 ms)" "$(gbench stats BM_BucketsEverything/repeats:9_median)"
row "  chart button to the painted chart window (target < 200 ms)" "$(gbench stats BM_ChartEverything/repeats:9_median)"
row "logbook of 1,000,000 trips: file size a trip (target <= 128 B)" "$(after logbook 'file size a trip:')"
row "  open, Vehicles() and Imports() (target < 200 ms)" "$(after logbook 'open, Vehicles() and Imports():')"
row "  one vehicle's 10,000 trips in date order (target < 150 ms)" "$(after logbook "one vehicle's 10000 trips in date order:")"
row "  one vehicle's 100,000 trips in date order (target < 150 ms)" "$(after logbook "one vehicle's 100000 trips in date order:")"
row "  record a reading of 255 new trips, synced (target < 50 ms)" "$(after logbook 'record a reading of 255 new trips:')"
row "  quick_check of the whole file (target < 150 ms, else in the background)" "$(after logbook 'quick_check of the whole file:')"
row "  commit 255 rows: the log alone" "$(after logbook 'commit 255 rows, wal:')"
row "  commit 255 rows: the log checkpointed" "$(after logbook 'commit 255 rows, wal+checkpoint:')"
row "  commit 255 rows: a rollback journal" "$(after logbook 'commit 255 rows, delete:')"
row "  bring in 100 files of 1,000 trips (target < 2 s)" "$(after logbook 'bring in 100 files of 1,000 trips:')"
row "server logbook of 10,000,000 trips: fill with server-side SQL" "$(after logbook_server 'fill 10000000 trips with server-side SQL:')"
row "  database size a trip" "$(after logbook_server 'database size a trip:')"
row "  open, Vehicles() and Imports()" "$(after logbook_server 'open, Vehicles() and Imports():')"
row "  one vehicle's 10,000 trips in date order (target < 100 ms)" "$(after logbook_server "one vehicle's 10000 trips in date order:")"
row "  record a reading of 255 new trips (target < 100 ms)" "$(after logbook_server 'record a reading of 255 new trips:')"
row "  the same, the months' triggers off / on" "$(after logbook_server "months' triggers off / on:")"
row "  the step of the months' totals over every trip" "$(after logbook_server "the step of the months' totals over every trip:")"
row "  50 senders of 20 readings of 255 trips, overlapping" "$(after logbook_server '50 senders of 20 readings of 255 trips:')"
row "  50 senders: throughput" "$(after logbook_server '50 senders:')"
row "start-up to the shown main window (Xvfb)" "$(after app 'start-up to the shown main window:')"
row "peak memory: the program at its shown main window" "$(after app 'peak memory of the program at its shown main window:')"
row "peak memory: 100,000 trips loaded, saved, exported" "$(after trips_e2e 'peak memory (resident)')"
row "logbook of 1,100,000 trips: open its window (target < 200 ms)" "$(after logbook_window 'open the logbook window (1,100,000 trips, 101 vehicles): median')"
row "  a vehicle's 100,000 trips into the table (target < 300 ms)" "$(after logbook_window "show a vehicle's 100,000 trips in the table: median")"
row "  peak memory, window shown, trips in the table (target < 150 MB)" "$(after logbook_window 'peak memory with the logbook open, its window shown and 100,000 trips in the table:')"
echo
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo)"
echo "system: Debian $(cat /etc/debian_version), Qt $(dpkg-query -W -f='${Version}' libqt6core6 2>/dev/null), $(c++ --version | head -n1)"
echo "load average (1, 5, 15 min): $load_before before, $load_after after"
echo "full outputs: $results/"
