// riventar-sim: the on-board computer on a pseudo-terminal.
//
//   riventar-sim --link /tmp/riventar-com1 --trips 40 --pace &
//   RIVENTAR_COM1=/tmp/riventar-com1 riventar
//
// Prints the path the program should open, then answers until killed.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

#include "sim/simulator.h"

namespace {

using riventar::sim::Misbehaviour;

constexpr const char* Usage =
    "usage: riventar-sim [options]\n"
    "  --link PATH        make PATH a symbolic link to the pty and print it\n"
    "  --trips N          hold N trips of a driver's few weeks (default 40, at most 255)\n"
    "  --trips-file FILE  hold the trips of FILE (see sim/trip_store.h; .dat files work)\n"
    "  --invalid-trips    put trips outside the accepted ranges among them\n"
    "  --pace             send and receive at 9600 baud, 10 bits a byte\n"
    "  --silent-after N   answer N commands, then none\n"
    "  --silent-on CMD    never answer commands starting with CMD (\"TR01\", \"TC\"); repeatable\n"
    "  --late MS          answer every command MS milliseconds after it arrived\n"
    "  --late-on CMD      with --late, only commands starting with CMD; repeatable\n"
    "  --noise            send a noise line before every reply\n"
    "  --overlong         send an over-long line before every reply\n"
    "  --cut-reply CMD:N  answer commands starting with CMD (\"TR02\") with only the first N\n"
    "                     characters of the reply (\"!TR02\" is 5), then its CR; repeatable\n"
    "  --log FILE         append every received command to FILE (\"-\" for standard error)\n";

[[noreturn]] void Die(const std::string& message) {
  std::cerr << "riventar-sim: " << message << "\n" << Usage;
  std::exit(2);
}

int Number(std::string_view option, const char* text) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (!*text || *end || value < 0 || value > 1'000'000) Die(std::string(option) + " needs a number, not " + text);
  return static_cast<int>(value);
}

}  // namespace

int main(int argc, char** argv) {
  std::string linkPath, tripsFile, logPath;
  int tripCount = 40;
  bool invalid = false, pace = false;
  Misbehaviour m;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    auto value = [&]() -> const char* {
      if (i + 1 >= argc) Die(std::string(a) + " needs a value");
      return argv[++i];
    };
    if (a == "--link")
      linkPath = value();
    else if (a == "--trips")
      tripCount = Number(a, value());
    else if (a == "--trips-file")
      tripsFile = value();
    else if (a == "--invalid-trips")
      invalid = true;
    else if (a == "--pace")
      pace = true;
    else if (a == "--silent-after")
      m.silentAfter = Number(a, value());
    else if (a == "--silent-on")
      m.silentOn.emplace_back(value());
    else if (a == "--late")
      m.late = std::chrono::milliseconds{Number(a, value())};
    else if (a == "--late-on")
      m.lateOn.emplace_back(value());
    else if (a == "--noise")
      m.preamble += riventar::sim::NoiseLine;
    else if (a == "--overlong")
      m.preamble += riventar::sim::OverlongLine();
    else if (a == "--cut-reply") {
      const std::string_view cut = value();
      const auto colon = cut.rfind(':');
      if (colon == std::string_view::npos || colon == 0) Die("--cut-reply needs CMD:N, not " + std::string(cut));
      const std::string keep(cut.substr(colon + 1));
      m.cutOn.push_back({std::string(cut.substr(0, colon)), static_cast<std::size_t>(Number(a, keep.c_str()))});
    } else if (a == "--log")
      logPath = value();
    else if (a == "--help" || a == "-h") {
      std::cout << Usage;
      return 0;
    } else {
      Die("unknown option " + std::string(a));
    }
  }

  // The signals end the run below; block them before any thread exists.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stopSignals, s);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  try {
    auto trips = tripsFile.empty() ? riventar::sim::RealisticTrips(tripCount) : riventar::sim::LoadTrips(tripsFile);
    if (invalid) trips = riventar::sim::WithInvalidTrips(std::move(trips));

    riventar::sim::SimulatorOptions options;
    options.pace = pace;
    options.clockRunning = true;
    riventar::sim::Simulator sim(options);
    sim.SetTrips(std::move(trips));
    sim.SetMisbehaviour(m);

    std::ofstream logFile;
    if (!logPath.empty()) {
      if (logPath != "-") {
        logFile.open(logPath, std::ios::app);
        if (!logFile) Die("cannot write " + logPath);
      }
      std::ostream& log = logPath == "-" ? std::cerr : logFile;
      sim.SetCommandObserver([&log](const std::string& command) {
        const auto now = std::chrono::system_clock::now();
        const std::time_t t = std::chrono::system_clock::to_time_t(now);
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
        char stamp[32];
        std::tm local{};
        localtime_r(&t, &local);
        std::strftime(stamp, sizeof stamp, "%H:%M:%S", &local);
        log << stamp << '.' << (ms < 100 ? ms < 10 ? "00" : "0" : "") << ms << ' ' << command << std::endl;
      });
    }

    std::string shown = sim.SlavePath();
    if (!linkPath.empty()) {
      std::error_code ec;
      if (std::filesystem::is_symlink(linkPath, ec)) std::filesystem::remove(linkPath, ec);
      std::filesystem::create_symlink(sim.SlavePath(), linkPath);
      shown = linkPath;
    }
    std::cout << shown << std::endl;

    int received = 0;
    sigwait(&stopSignals, &received);
    sim.SetCommandObserver({});
    if (!linkPath.empty()) {
      std::error_code ec;
      std::filesystem::remove(linkPath, ec);
    }
  } catch (const std::exception& e) {
    std::cerr << "riventar-sim: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
