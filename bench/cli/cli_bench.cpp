// riventar-cli as a child process, the whole run of the program timed,
// start-up, handshake and logbook included: downloading 255 trips to a .dat
// file with the simulated device paced at 9600 baud, against the wire time of
// every command and reply; downloading only the 5 trips the logbook lacks;
// writing 100,000 trips of the logbook as a .dat file.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/trips/dat_file.h"
#include "sim/simulator.h"
#include "sim/trip_store.h"

namespace {

using Steady = std::chrono::steady_clock;

namespace fs = std::filesystem;

// The program's run with `args`; its standard output to `out`, its logbook
// the one the benchmark set in RIVENTAR_LOGBOOK.
int Run(std::vector<std::string> args, const std::string& out = "/dev/null") {
  args.insert(args.begin(), RIVENTAR_CLI);
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDOUT_FILENO);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int RunCli(const std::string& port, const std::string& file) {
  return Run({"--port", port, "download", "--no-logbook", "-o", file});
}

// A logbook of the benchmark's own, removed at the end.
class ScratchLogbook {
 public:
  ScratchLogbook() : path_(fs::temp_directory_path() / ("riventar-bench-" + std::to_string(::getpid()) + ".sqlite")) {
    Remove();
    ::setenv("RIVENTAR_LOGBOOK", path_.c_str(), 1);
  }
  ~ScratchLogbook() {
    Remove();
    ::unsetenv("RIVENTAR_LOGBOOK");
  }
  void Remove() {
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) fs::remove(path_.string() + suffix);
  }

 private:
  fs::path path_;
};

double Seconds(Steady::duration d) { return std::chrono::duration<double>(d).count(); }

void BM_CliDownload255TripsPaced(benchmark::State& state) {
  riventar::sim::Simulator sim(riventar::sim::SimulatorOptions::Paced());
  sim.SetTrips(riventar::sim::RealisticTrips(255));
  const std::string file = (std::filesystem::temp_directory_path() / "riventar-bench-cli.dat").string();
  double worst = 0;
  for (auto _ : state) {
    const std::size_t in0 = sim.BytesReceived(), out0 = sim.BytesSent();
    const auto start = Steady::now();
    const int status = RunCli(sim.SlavePath(), file);
    const double elapsed = std::chrono::duration<double>(Steady::now() - start).count();
    const std::size_t bytes = sim.BytesReceived() - in0 + sim.BytesSent() - out0;
    const double wire = std::chrono::duration<double>(bytes * riventar::sim::ByteTime).count();
    if (status != 0) return state.SkipWithError("riventar-cli failed");
    state.SetIterationTime(elapsed);
    state.counters["wire_s"] = wire;
    state.counters["ratio"] = elapsed / wire;
    worst = std::max(worst, elapsed / wire);
  }
  std::filesystem::remove(file);
  std::printf("cli download 255 trips: worst ratio to wire time %.4f\n", worst);
}
BENCHMARK(BM_CliDownload255TripsPaced)->Iterations(2)->UseManualTime()->Unit(benchmark::kSecond);

// The device holds 255 trips, the logbook its first 250 from the last reading:
// the two checks and 5 trips go over the line, not 255.
void BM_CliDownloadNewPaced(benchmark::State& state) {
  riventar::sim::Simulator sim(riventar::sim::SimulatorOptions::Paced());
  const auto trips = riventar::sim::RealisticTrips(255);
  ScratchLogbook logbook;
  const std::string file = (fs::temp_directory_path() / "riventar-bench-cli-new.dat").string();
  double worst = 0;
  for (auto _ : state) {
    logbook.Remove();
    fs::remove(file);
    sim.SetPace(false);
    sim.SetTrips({trips.begin(), trips.begin() + 250});
    if (Run({"--port", sim.SlavePath(), "download"}) != 0) return state.SkipWithError("the first reading failed");
    sim.SetTrips(trips);
    sim.SetPace(true);
    const auto start = Steady::now();
    const int status = Run({"--port", sim.SlavePath(), "download", "--new", "-o", file});
    const double elapsed = Seconds(Steady::now() - start);
    if (status != 0) return state.SkipWithError("riventar-cli download --new failed");
    state.SetIterationTime(elapsed);
    worst = std::max(worst, elapsed);
  }
  fs::remove(file);
  std::printf("cli download --new, 5 of 255 trips new: worst %.3f s\n", worst);
}
BENCHMARK(BM_CliDownloadNewPaced)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

// Ten trips a day from 1 January 2000.
riventar::trips::TripList HundredThousandTrips() {
  using namespace std::chrono;
  riventar::trips::TripList list;
  sys_days day = sys_days{year{2000} / January / 1};
  for (int i = 0; i < 100000; ++i) {
    if (i % 10 == 0 && i != 0) day += days{1};
    const year_month_day d{day};
    riventar::trips::TripRecord r;
    r.Year = static_cast<std::uint8_t>(int{d.year()} - 2000);
    r.Month = static_cast<std::uint8_t>(unsigned{d.month()} - 1);
    r.Day = static_cast<std::uint8_t>(unsigned{d.day()});
    r.Weekday = static_cast<std::uint8_t>(weekday{day}.iso_encoding() - 1);
    r.Hour = static_cast<std::uint8_t>(7 + i % 10);
    r.TripTime = 1800 + static_cast<std::uint32_t>(i % 600);
    r.MovingTime = 1500;
    r.Distance = 90000 + static_cast<std::uint32_t>(i % 1000);
    r.Fuel = 16000;
    riventar::trips::Derive(r);
    list.push_back(r);
  }
  return list;
}

// "log trips --format dat" of a logbook of 100,000 trips, to a file: the bytes
// of the file they were imported from.
void BM_CliLogTrips100kDat(benchmark::State& state) {
  const ScratchLogbook logbook;
  const fs::path dat = fs::temp_directory_path() / "riventar-bench-100k.dat";
  const std::string out = (fs::temp_directory_path() / "riventar-bench-100k-out.dat").string();
  const std::string bytes = riventar::trips::SerializeDatFile({"ВАЗ-2110", "А123ВС77", ""}, HundredThousandTrips());
  std::ofstream(dat, std::ios::binary) << bytes;
  const auto importStart = Steady::now();
  if (Run({"log", "import", dat.string()}) != 0) return state.SkipWithError("log import failed");
  const double imported = Seconds(Steady::now() - importStart);
  double worst = 0;
  for (auto _ : state) {
    const auto start = Steady::now();
    const int status = Run({"log", "trips", "--vehicle", "А123ВС77", "--format", "dat"}, out);
    const double elapsed = Seconds(Steady::now() - start);
    if (status != 0) return state.SkipWithError("log trips failed");
    state.SetIterationTime(elapsed);
    worst = std::max(worst, elapsed);
  }
  std::ifstream written(out, std::ios::binary);
  const std::string got((std::istreambuf_iterator<char>(written)), std::istreambuf_iterator<char>());
  fs::remove(dat);
  fs::remove(out);
  if (got != bytes) std::printf("cli log trips: the .dat bytes differ from the imported file's\n");
  std::printf("cli log trips --format dat of 100,000 trips: worst %.3f s (log import of them %.2f s)\n", worst,
              imported);
}
BENCHMARK(BM_CliLogTrips100kDat)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
