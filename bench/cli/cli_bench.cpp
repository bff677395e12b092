// riventar-cli downloading 255 trips to a .dat file with the simulated device
// paced at 9600 baud, against the wire time of every command and reply; the
// whole run of the program is timed, start-up and handshake included.
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "sim/simulator.h"
#include "sim/trip_store.h"

namespace {

using Steady = std::chrono::steady_clock;

int RunCli(const std::string& port, const std::string& file) {
  const pid_t child = ::fork();
  if (child == 0) {
    ::execl(RIVENTAR_CLI, RIVENTAR_CLI, "--port", port.c_str(), "download", "-o", file.c_str(),
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

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

}  // namespace

BENCHMARK_MAIN();
