// riventar-cli run as a child process against the simulated device.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sqlite3.h>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/text/cp1251.h"
#include "core/trips/dat_file.h"
#include "core/trips/trip_record.h"
#include "sim/simulator.h"
#include "sim/trip_store.h"
#include "tests/support/file_bytes.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;
using riventar::sim::DeviceTrip;
using Commands = std::vector<std::string>;
namespace trips = riventar::trips;

using riventar::testing::Contents;
using riventar::testing::Outcome;
using riventar::testing::Write;

namespace {

// The trips as the window holds them after reading these from the device.
trips::TripList Shown(const std::vector<DeviceTrip>& device) {
  trips::TripList list;
  for (std::size_t i = 0; i < device.size(); ++i) {
    char echo[16];
    std::snprintf(echo, sizeof echo, "!TR%02x", static_cast<unsigned>(i & 0xff));
    if (auto trip = trips::TripFromReply(echo + riventar::sim::EncodeTrip(device[i]) + "\r")) list.push_back(*trip);
  }
  return list;
}

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = scratch.Path();
    // The logbook of every run, in a folder of its own: `dir` holds only what the tests look for.
    logbook = logbookFolder / "logbook.sqlite";
    ::setenv("RIVENTAR_LOGBOOK", logbook.c_str(), 1);
    sim.SetTrips(device);
  }
  void TearDown() override { ::unsetenv("RIVENTAR_LOGBOOK"); }
  riventar::testing::TempDir scratch{"riventar-cli-test"}, logbookFolder{"riventar-cli-logbook"};

  // Runs the program with --port at the simulator; `fileSizeLimit` bytes, if
  // any, is the most it may write to a file; standard output goes to `out`.
  Outcome Run(std::vector<std::string> args, rlim_t fileSizeLimit = RLIM_INFINITY, fs::path out = {}) {
    return Wait(Start(std::move(args), fileSizeLimit, std::move(out)));
  }
  // `errTerminal`: a pseudo-terminal's slave for standard error.
  pid_t Start(std::vector<std::string> args, rlim_t fileSizeLimit = RLIM_INFINITY, fs::path out = {},
              const char* errTerminal = nullptr) {
    if (std::find(args.begin(), args.end(), "--port") == args.end())
      args.insert(args.begin(), {"--port", sim.SlavePath()});
    args.insert(args.begin(), RIVENTAR_CLI);
    if (out.empty()) out = dir / "stdout";
    const fs::path err = dir / "stderr";
    const pid_t child = ::fork();
    if (child == 0) {
      ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDOUT_FILENO);
      const int errFd = errTerminal ? ::open(errTerminal, O_RDWR | O_NOCTTY)
                                    : ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      ::dup2(errFd, STDERR_FILENO);
      const rlimit limit{fileSizeLimit, fileSizeLimit};
      if (fileSizeLimit != RLIM_INFINITY) ::setrlimit(RLIMIT_FSIZE, &limit);
      std::vector<char*> argv;
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    return child;
  }
  // A status as the shell shows it: 128 + the signal that ended the program.
  Outcome Wait(pid_t child) {
    int status = 0;
    ::waitpid(child, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), Contents(dir / "stdout"),
            Contents(dir / "stderr")};
  }

  // A download's summary of trips filed unassigned as the logbook's reading
  // `id`: where they went, then the command that files them under their car
  // (none when `id` is 0: the download failed after recording them).
  static std::string Unassigned(const std::string& read, const std::string& rest, int id) {
    return "riventar-cli: " + read + ", recorded in the logbook: unassigned" + rest + "\n" +
           (id == 0 ? std::string()
                    : "riventar-cli: to file them under their vehicle: riventar-cli log move --import " +
                          std::to_string(id) + " --to \"REG\"\n");
  }

  // 8:15 on Wednesday 5 October 2005: 1:02:03 out, 45 minutes moving, 25.3 km, 2.1 l.
  const DeviceTrip known{5, 10, 3, 5, 8, 15, 3723, 2700, 151800, 33600};
  const std::vector<DeviceTrip> device = [this] {
    auto list = riventar::sim::RealisticTrips(4);
    list.insert(list.begin(), known);
    return list;
  }();
  riventar::sim::Simulator sim;
  fs::path dir;
  fs::path logbook;
};

TEST_F(Cli, DownloadWritesWhatTheWindowSavesAndExports) {
  const trips::TripList shown = Shown(device);
  struct Case {
    std::vector<std::string> args;
    std::string file;  // empty: standard output
    std::string expected;
  };
  const std::string knownJson =
      "  {\"date\": \"2005-10-05\", \"start\": \"08:15\", \"trip_time_s\": 3723, \"moving_time_s\": 2700, "
      "\"distance_km\": 25.300, \"fuel_l\": 2.100, \"avg_speed_kmh\": 33.6, \"consumption_l_100km\": 8.3}";
  const Case cases[] = {
      {{"download", "-o", (dir / "a.dat").string()}, "a.dat", trips::SerializeDatFile({}, shown)},
      {{"download", "-o", (dir / "a.CSV").string()}, "a.CSV", trips::SerializeCsv(shown)},
      {{"download", "-o", (dir / "a.txt").string(), "--format", "csv"}, "a.txt", trips::SerializeCsv(shown)},
      {{"download", "-o", (dir / "a.json").string()}, "a.json", "[\n" + knownJson + ",\n"},  // the start
      {{"--json", "download"}, "", "[\n" + knownJson + ",\n"},
      {{"download", "--format", "csv"}, "", trips::SerializeCsv(shown)},
      {{"download"},
       "",
       "N  Дата            Время  На маршруте  В движении  Путь  Скорость  Топливо  Расход\n"
       "1  СР-05-ОКТ-2005  08:15  01:02:03     00:45:00    25.3  033.6     2.1      8.3\n"},
  };
  for (const Case& c : cases) {
    sim.ClearCommands();
    const Outcome o = Run(c.args);
    EXPECT_EQ(o.status, 0) << o.err;
    const std::string got = c.file.empty() ? o.out : Contents(dir / c.file);
    if (c.file.empty() || c.file == "a.json") {
      EXPECT_EQ(got.substr(0, c.expected.size()), c.expected) << c.args[0];
    } else {
      EXPECT_EQ(got, c.expected) << c.file;
      EXPECT_TRUE(o.out.empty());
    }
    EXPECT_EQ(sim.Commands(), (Commands{"$NOP", "$TN", "$TR00", "$TR01", "$TR02", "$TR03", "$TR04"}));
  }
  const std::string json = Run({"--json", "download"}).out;
  std::size_t objects = 0;
  for (auto at = json.find("{\"date\""); at != std::string::npos; at = json.find("{\"date\"", at + 1)) ++objects;
  EXPECT_EQ(objects, device.size());
}

TEST_F(Cli, AppendKeepsTheVehicleAndTheTripsThere) {
  const trips::VehicleInfo vehicle{"ВАЗ-2110", "А123ВС", "Иванов"};
  const trips::TripList earlier = Shown(riventar::sim::RealisticTrips(2, 7));
  const fs::path file = dir / "car.dat";
  Write(file, trips::SerializeDatFile(vehicle, earlier));
  ASSERT_EQ(Run({"download", "-o", file.string(), "--append"}).status, 0);
  trips::TripList all = earlier;
  for (const auto& t : Shown(device)) all.push_back(t);
  EXPECT_EQ(Contents(file), trips::SerializeDatFile(vehicle, all));
}

TEST_F(Cli, ResetOnlyAfterTheFileIsSafelyWritten) {
  const fs::path file = dir / "trips.dat";
  Write(file, "old contents");
  // A file-size limit below the file's size (and above the message's): the
  // write fails, the old file and the trips stay.
  const Outcome full = Run({"download", "--no-logbook", "-o", file.string(), "--reset"}, 200);
  EXPECT_EQ(full.status, 4);
  EXPECT_NE(full.err.find("the file as it was is kept; the device is not reset, so it still holds them"),
            std::string::npos)
      << full.err;
  EXPECT_EQ(Contents(file), "old contents");
  EXPECT_EQ(sim.Trips().size(), device.size());
  EXPECT_EQ(sim.Commands().back(), "$TR04");

  sim.ClearCommands();
  const Outcome done = Run({"download", "-o", file.string(), "--reset"});
  EXPECT_EQ(done.status, 0) << done.err;
  EXPECT_EQ(Contents(file), trips::SerializeDatFile({}, Shown(device)));
  EXPECT_EQ(sim.Commands().back(), "$TC");
  EXPECT_TRUE(sim.Trips().empty());
}

// Trip 3 ("$TR02") arrives cut short on every attempt: no made-up trip in
// its place, no file, and the device keeps its trips.
TEST_F(Cli, ATripCutShortFailsTheDownloadAndNothingIsSavedOrReset) {
  for (const std::size_t keep : {5u, 15u}) {
    const fs::path file = dir / ("trips" + std::to_string(keep) + ".dat");
    sim.ClearCommands();
    sim.SetMisbehaviour(riventar::sim::Misbehaviour::CutOn("TR02", keep));
    const Outcome o = Run({"download", "-o", file.string(), "--reset"});
    EXPECT_EQ(o.status, 1) << o.err;
    EXPECT_NE(o.err.find("the device's reply to trip 3 ($TR02) was not a whole record"), std::string::npos) << o.err;
    EXPECT_FALSE(fs::exists(file));
    const Commands sent = sim.Commands();
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "$TC"), 0);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "$TR02"), 5);
    EXPECT_EQ(sim.Trips().size(), device.size());
  }
}

TEST_F(Cli, SettingsGoOutAsTheWindowSendsThem) {
  struct Case {
    std::vector<std::string> args;
    Commands sent;
    std::string printed;
  };
  const Case cases[] = {
      {{"set", "brightness", "6"}, {"$LBS060e", "$LBR"}, "brightness  6\n"},
      {{"set", "brightness", "19"}, {"$LBS1301", "$LBR"}, "brightness  19\n"},
      {{"set", "power-off", "1:49:13"}, {"$SDSfffa", "$SDR"}, "power-off  1:49:13\n"},
      {{"set", "power-off", "0:05:0"}, {"$SDS0bb8", "$SDR"}, "power-off  0:05:00\n"},
      {{"set", "start-delay", "3"}, {"$AS03", "$AR"}, "start-delay  3\n"},
      {{"set", "start-delay", "off"}, {"$AS00", "$AR"}, "start-delay  off\n"},
      {{"set", "mode", "ecu-control"}, {"$MS04", "$MR"}, "mode  ecu-control\n"},
      {{"set", "correction", "add", "5"}, {"$ICS05", "$ICR"}, "correction  add 5\n"},
      {{"set", "correction", "subtract", "127"}, {"$ICS81", "$ICR"}, "correction  subtract 127\n"},
      {{"set", "correction", "off"}, {"$ICS00", "$ICR"}, "correction  off\n"},
      {{"set", "clock", "2008-02-29T23:59"}, {"$WCS080205292359", "$WCR"}, "clock  2008-02-29T23:59\n"},
      {{"--json", "set", "clock", "2005-10-16T00:07"},
       {"$WCS051007160007", "$WCR"},
       "{\"clock\": \"2005-10-16T00:07\"}\n"},
      {{"reset-counter"}, {"$TC", "$TN"}, "trips  0\n"},
  };
  for (const Case& c : cases) {
    sim.ClearCommands();
    const Outcome o = Run(c.args);
    EXPECT_EQ(o.status, 0) << o.err;
    Commands expected = c.sent;
    expected.insert(expected.begin(), "$NOP");
    EXPECT_EQ(sim.Commands(), expected);
    EXPECT_EQ(o.out, c.printed);
  }
}

TEST_F(Cli, FailuresEndWithTheirStatus) {
  Write(dir / "text.dat", "model\r\nreg\r\nowner\r\nnot a trip line\r\n");
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message;  // a part of standard error
    bool silent = false;  // the device answers nothing
  };
  const Case cases[] = {
      {{"info"}, 1, "the device did not answer", true},
      {{"download", "-o", (dir / "x.dat").string()}, 1, "the device did not answer", true},
      {{"frobnicate"}, 2, ""},
      {{"set", "brightness", "20"}, 2, "от 1 до 19"},
      {{"set", "power-off", "1:49:14"}, 2, "1 час 49 минут 13 секунд"},
      {{"set", "clock", "2009-02-29T10:00"}, 2, "no calendar date"},
      {{"set", "correction", "add", "-5"}, 2, "отрицательным"},
      {{"download", "--no-logbook", "--reset"}, 4, "--reset with --no-logbook needs -o FILE"},
      {{"download", "-o", (dir / "x.csv").string(), "--append"}, 2, ".dat files only"},
      {{"--port", "/nonexistent/tty", "info"},
       3,
       "Не возможно открыть последовательный порт\nУстройство: /nonexistent/tty"},
      // Checked before the device is asked: the device is silent, and asking it would take a second.
      {{"download", "-o", (dir / "no/such/dir.dat").string()}, 4, "cannot create", true},
      {{"download", "-o", "/dev/full", "--format", "dat"}, 4, "/dev/full: not a regular file", true},
      {{"download", "-o", dir.string(), "--format", "csv"}, 4, "Is a directory", true},
      {{"download", "-o", (dir / "text.dat").string(), "--append"}, 5, "not in the trip file format", true},
      {{"stats", (dir / "missing.dat").string()}, 4, "cannot read"},
      {{"stats", (dir / "text.dat").string()}, 5, "not in the trip file format"},
  };
  for (const Case& c : cases) {
    sim.ClearCommands();
    sim.SetMisbehaviour(c.silent ? riventar::sim::Misbehaviour::SilentAfter(0) : riventar::sim::Misbehaviour{});
    const auto start = std::chrono::steady_clock::now();
    const Outcome o = Run(c.args);
    EXPECT_EQ(o.status, c.status) << c.args[0] << " " << o.err;
    EXPECT_NE(o.err.find(c.message), std::string::npos) << o.err;
    EXPECT_TRUE(o.out.empty()) << o.out;
    if (c.status != 1) {
      EXPECT_TRUE(sim.Commands().empty()) << c.args[0];
      EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(800)) << c.args[0];
    }
  }
}

TEST_F(Cli, ComPortsAreBoundAsTheWindowBindsThem) {
  ::setenv("RIVENTAR_COM2", sim.SlavePath().c_str(), 1);
  const Outcome o = Run({"--port", "COM2", "get"});
  ::unsetenv("RIVENTAR_COM2");
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(sim.Commands().front(), "$NOP");
}

TEST_F(Cli, TraceShowsBothDirectionsInOrder) {
  const fs::path trace = dir / "trace.log";
  ASSERT_EQ(Run({"--trace", trace.string(), "set", "mode", "clock"}).status, 0);
  std::istringstream lines(Contents(trace));
  std::vector<std::string> seen;
  double last = 0;
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    double at = 0;
    std::string direction, bytes;
    fields >> at >> direction >> bytes;
    EXPECT_GE(at, last);
    last = at;
    seen.push_back(direction + " " + bytes);
  }
  EXPECT_EQ(seen, (Commands{"> $NOP\\r", "< !NOP\\r", "> $MS00\\r", "< !MS00\\r", "> $MR\\r", "< !MR00\\r"}));
}

TEST_F(Cli, StatisticsOfAFileForAPeriod) {
  const fs::path file = dir / "car.dat";
  Write(file, trips::SerializeDatFile({}, Shown(device)));
  const Outcome o = Run({"--json", "stats", file.string(), "--period", "day", "--at", "1"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out,
            "{\"period\": \"СР-05-ОКТ-2005\", \"start\": \"2005-10-05\", \"end\": \"2005-10-05\", \"days\": 1, "
            "\"trip_days\": 1, \"trips\": 1, \"trip_time_s\": 3723, \"moving_time_s\": 2700, \"distance_km\": 25.300, "
            "\"fuel_l\": 2.100, \"avg_speed_kmh\": 33.6, \"consumption_l_100km\": 8.3}\n");
  const Outcome text = Run({"stats", file.string(), "--period", "day"});
  EXPECT_NE(text.out.find("Пройденный путь:            25.3 км\n"), std::string::npos) << text.out;
  EXPECT_EQ(Run({"stats", file.string(), "--at", "6"}).status, 2);
}

TEST_F(Cli, OutputThatCannotBeWrittenFails) {
  const fs::path file = dir / "car.dat";
  Write(file, trips::SerializeDatFile({}, Shown(device)));
  const std::vector<std::string> commands[] = {
      {"info"},
      {"get"},
      {"--json", "get"},
      {"set", "mode", "clock"},
      {"reset-counter"},
      {"download"},
      {"--json", "download"},
      {"--json", "ports"},
      {"stats", file.string()},
      {"--help"},
      {"set", "--help"},
  };
  for (const auto& args : commands) {
    sim.SetTrips(device);
    const Outcome o = Run(args, RLIM_INFINITY, "/dev/full");
    EXPECT_EQ(o.status, 4) << args[0] << " " << args.back();
    EXPECT_EQ(o.err.find("riventar-cli: cannot write to standard output: "), 0u) << o.err;
  }
  // The trace: where it cannot be made nothing is sent; where it fills the disk the command still runs.
  Outcome o = Run({"--trace", (dir / "no/such/trace.log").string(), "get"});
  EXPECT_EQ(o.status, 4);
  EXPECT_NE(o.err.find("cannot create the trace file"), std::string::npos) << o.err;
  sim.ClearCommands();
  o = Run({"--trace", "/dev/full", "set", "mode", "clock"});
  EXPECT_EQ(o.status, 4);
  EXPECT_EQ(o.out, "mode  clock\n");
  EXPECT_NE(o.err.find("cannot write the trace file /dev/full: "), std::string::npos) << o.err;
  EXPECT_EQ(sim.Commands().size(), 3u);
}

TEST_F(Cli, AppendKeepsTheFileAsItIsAndAddsTheWindowsLines) {
  std::string added;
  for (const auto& t : Shown(device)) added += trips::TripLine(t);
  const std::string header = "ВАЗ\r\nА123ВС\r\nИванов\r\n";
  // A line with "zz" in its hour field, and one the window would not show (month 13).
  const std::string odd = "0a020105zz070000000e0000000a000000640000000c\r\n";
  const std::string rejected = "0a0e010508070000000e0000000a000000640000000c\r\n";
  const struct {
    std::string before, after;
  } cases[] = {
      {header + odd + rejected, header + odd + rejected + added},
      {header, header + added},  // the vehicle lines alone
      {"", trips::SerializeDatFile({}, Shown(device))},
  };
  std::string fresh = "5";
  int reading = 0;
  for (const auto& c : cases) {
    Write(dir / "car.dat", c.before);
    const Outcome o = Run({"download", "-o", (dir / "car.dat").string(), "--append"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(Contents(dir / "car.dat"), c.after);
    // The file's vehicle lines are no choice of the car: the trips wait, unassigned.
    EXPECT_EQ(o.err, Unassigned("5 trips read, " + std::exchange(fresh, "0") + " new",
                                ", added to " + (dir / "car.dat").string(), ++reading));
  }
}

TEST_F(Cli, AppendingAgainAfterAKilledRunAddsNothingTwice) {
  const std::string file = (dir / "car.dat").string();
  const std::vector<std::string> command = {"download", "-o", file, "--append", "--reset"};
  // Killed once the file is written, while the reset's answer is awaited.
  sim.SetMisbehaviour(riventar::sim::Misbehaviour::SilentOn({"TC"}));
  const pid_t child = Start(command);
  ASSERT_TRUE(sim.WaitForCommands(8, std::chrono::seconds(5)));
  ASSERT_EQ(sim.Commands().back(), "$TC");
  ::kill(child, SIGKILL);
  EXPECT_EQ(Wait(child).status, 128 + SIGKILL);
  const std::string once = trips::SerializeDatFile({}, Shown(device));
  ASSERT_EQ(Contents(file), once);

  // One more trip made meanwhile: only it is added.
  std::vector<DeviceTrip> more = device;
  more.push_back(riventar::sim::RealisticTrips(6, 4).back());
  sim.SetTrips(more);
  sim.SetMisbehaviour({});
  Outcome o = Run(command);
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.err,
            Unassigned("6 trips read, 1 new",
                       ", 1 trip added to " + file + " (5 trips there already); the device's counter is reset", 2));
  EXPECT_EQ(Contents(file), trips::SerializeDatFile({}, Shown(more)));

  // The same trips once more (another run killed before the reset): the file is left as it is.
  sim.SetTrips(more);
  o = Run(command);
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.err,
            Unassigned("6 trips read, 0 new",
                       ", nothing added to " + file + " (6 trips there already); the device's counter is reset", 3));
  const std::string contents = Contents(file);
  EXPECT_EQ(std::count(contents.begin(), contents.end(), '\n'), 3 + 6);
}

TEST_F(Cli, SuccessAndAFailedResetAreSaid) {
  const std::string file = (dir / "car.dat").string();
  const struct {
    std::vector<std::string> args;
    bool silentOnReset;
    int status;
    std::string err;
  } cases[] = {
      {{"download"}, false, 0, Unassigned("5 trips read, 5 new", "", 1)},
      {{"download", "-o", file}, false, 0, Unassigned("5 trips read, 0 new", ", written to " + file, 2)},
      {{"download", "-o", file, "--reset"},
       true,
       1,
       Unassigned("5 trips read, 0 new",
                  ", written to " + file + "; but the device did not answer the counter reset, so it still holds them",
                  0)},
      {{"download", "--no-logbook", "-o", file, "--reset"},
       false,
       0,
       "riventar-cli: 5 trips read, written to " + file + "; the device's counter is reset\n"},
  };
  for (const auto& c : cases) {
    fs::remove(file);
    using riventar::sim::Misbehaviour;
    sim.SetMisbehaviour(c.silentOnReset ? Misbehaviour::SilentOn({"TC"}) : Misbehaviour{});
    const Outcome o = Run(c.args);
    EXPECT_EQ(o.status, c.status);
    EXPECT_EQ(o.err, c.err);
    if (c.args.size() > 1) {
      EXPECT_EQ(Contents(file), trips::SerializeDatFile({}, Shown(device)));
    }
  }
}

TEST_F(Cli, CommandLinesAreRefusedWithAllTheyGetWrong) {
  const std::string longValue(100, 'x');
  const std::string echoed = "'" + std::string(39, 'x') + "…'";
  const struct {
    std::vector<std::string> args;
    std::vector<std::string> said;  // parts of standard error, in order
  } cases[] = {
      {{"frobnicate"}, {"unknown command 'frobnicate'"}},
      {{"set", "frobnicate", "1"}, {"unknown setting 'frobnicate'"}},
      {{"--port", "", "info"}, {"--port needs"}},
      {{"info", "--bogus"}, {"--bogus"}},
      {{"set", "correction", "off", "5"}, {"correction off takes no interval"}},
      {{"set", "power-off", "-0:01:00"}, {"'-0:01:00' is not of the form H:M:S"}},
      {{"set", "clock", "2005-13-40T25:61"},
       {"минут", "\nЗначение часов", "\nЗначение текущей даты", "\nЗначение номера месяца"}},
      {{"set", "clock", "1999-12-31T23:59"}, {"the year must lie within 2000–2099"}},
      {{"set", "brightness", longValue}, {echoed + " is not a valid integer value"}},
      {{"set", "clock", longValue}, {echoed}},
      {{"stats", "f.dat", "--period", longValue}, {echoed}},
      {{"download", "--format", "xml"}, {"'xml' is not dat, csv or json"}},
  };
  for (const auto& c : cases) {
    sim.ClearCommands();
    const Outcome o = Run(c.args);
    EXPECT_EQ(o.status, 2) << c.args[0];
    EXPECT_EQ(o.err.find("riventar-cli: "), 0u) << o.err;
    EXPECT_EQ(o.err.find(std::string(41, 'x')), std::string::npos) << o.err;
    std::size_t at = 0;
    for (const std::string& part : c.said) {
      at = o.err.find(part, at);
      EXPECT_NE(at, std::string::npos) << part << " in " << o.err;
    }
    EXPECT_TRUE(sim.Commands().empty());
  }
  const Outcome help = Run({"set", "correction", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("DIRECTION [N]"), std::string::npos) << help.out;
}

TEST_F(Cli, AnUnpluggedAdapterIsSaidSo) {
  // Trip 2 goes unanswered while the adapter is pulled out.
  sim.SetMisbehaviour(riventar::sim::Misbehaviour::SilentOn({"TR02"}));
  std::thread puller([this] {
    if (sim.WaitForCommands(5, std::chrono::seconds(5))) sim.Unplug();
  });
  const Outcome o = Run({"download", "-o", (dir / "car.dat").string()});
  puller.join();
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err.find("riventar-cli: device disconnected"), 0u) << o.err;
  EXPECT_FALSE(fs::exists(dir / "car.dat"));
}

TEST_F(Cli, AnInterruptClearsTheBarAndLeavesNoFileBehind) {
  sim.SetTrips(riventar::sim::RealisticTrips(200));
  sim.SetPace(true);
  const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_TRUE(terminal >= 0 && ::grantpt(terminal) == 0 && ::unlockpt(terminal) == 0);
  const pid_t child =
      Start({"download", "-o", (dir / "car.dat").string(), "--reset"}, RLIM_INFINITY, {}, ::ptsname(terminal));
  ASSERT_TRUE(sim.WaitForCommands(10, std::chrono::seconds(5)));
  ::kill(child, SIGINT);
  EXPECT_EQ(Wait(child).status, 128 + SIGINT);
  // The program is gone and the slave with it: everything written is there, then EIO.
  std::string shown;
  char buffer[4096];
  for (ssize_t n; (n = ::read(terminal, buffer, sizeof buffer)) > 0;) shown.append(buffer, static_cast<std::size_t>(n));
  ::close(terminal);
  EXPECT_NE(shown.find("] 5/200"), std::string::npos) << shown;
  EXPECT_TRUE(shown.ends_with("\r\033[K")) << shown;
  for (const auto& entry : fs::directory_iterator(dir))
    EXPECT_TRUE(entry.path().filename() == "stdout" || entry.path().filename() == "stderr") << entry.path();
  EXPECT_EQ(sim.Trips().size(), 200u);
}

TEST_F(Cli, ASignalDuringTheLastWritesWaitsUntilTheOutcomeIsSaid) {
  const std::string file = (dir / "car.dat").string();
  const std::string read = "5 trips read, 5 new", written = ", written to " + file;
  using riventar::sim::Misbehaviour;
  const struct {
    Misbehaviour onReset;
    std::string err;
  } cases[] = {
      {Misbehaviour::SilentOn({"TC"}),
       Unassigned(read, written + "; but the device did not answer the counter reset, so it still holds them", 0)},
      // Answered within the reply timeout, after the signal has come.
      {Misbehaviour::LateOn(std::chrono::milliseconds(100), {"TC"}),
       Unassigned(read, written + "; the device's counter is reset", 1)},
  };
  for (const auto& c : cases) {
    fs::remove(logbook);
    fs::remove(file);
    sim.SetTrips(device);
    sim.SetMisbehaviour(c.onReset);
    sim.ClearCommands();
    const pid_t child = Start({"download", "-o", file, "--reset"});
    // "$NOP", "$TN", five trips, then "$TC": the file is written and the reset's answer awaited.
    ASSERT_TRUE(sim.WaitForCommands(8, std::chrono::seconds(5)));
    ASSERT_EQ(sim.Commands().back(), "$TC");
    ::kill(child, SIGTERM);
    const Outcome o = Wait(child);
    EXPECT_EQ(o.status, 128 + SIGTERM);
    EXPECT_EQ(o.err, c.err);
    EXPECT_EQ(Contents(file), trips::SerializeDatFile({}, Shown(device)));
  }
}

TEST_F(Cli, TheLogbookKeepsEveryTripOnceAndGivesBackTheWindowsBytes) {
  const std::vector<std::string> vehicle = {"--vehicle-reg", "А123ВС 77", "--vehicle-model", "ВАЗ-2110"};
  std::vector<std::string> args{"download", "--format", "csv"};
  args.insert(args.end(), vehicle.begin(), vehicle.end());
  Outcome o = Run(args);
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.err, "riventar-cli: 5 trips read, 5 new, recorded in the logbook: ВАЗ-2110 А123ВС 77\n");
  // The same device again, nothing said: the logbook knows it.
  o = Run({"download", "--format", "csv"});
  EXPECT_EQ(o.err,
            "riventar-cli: the logbook knows this device: ВАЗ-2110 А123ВС 77\n"
            "riventar-cli: 5 trips read, 0 new, recorded in the logbook: ВАЗ-2110 А123ВС 77\n");
  // The plate as typed another way; the trips in date order, the vehicle's texts as the header.
  const std::string expected = trips::SerializeDatFile({"ВАЗ-2110", "А123ВС 77", ""}, Shown(device));
  o = Run({"log", "trips", "--vehicle", "a123bc77", "--format", "dat"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, expected);
  ASSERT_EQ(Run({"log", "trips", "--vehicle", "A123BC-77", "-o", (dir / "out.dat").string()}).status, 0);
  EXPECT_EQ(Contents(dir / "out.dat"), expected);
  o = Run({"--json", "log", "trips", "--from", "2005-10-05", "--to", "2005-10-05"});
  EXPECT_EQ(std::count(o.out.begin(), o.out.end(), '{'), 1) << o.out;
}

TEST_F(Cli, NewReadsAndGivesOnlyWhatTheLogbookLacks) {
  ASSERT_EQ(Run({"download"}).status, 0);
  std::vector<DeviceTrip> more = device;
  const auto later = riventar::sim::RealisticTrips(8, 3);
  more.insert(more.end(), later.begin() + 5, later.end());
  sim.SetTrips(more);
  sim.ClearCommands();
  const Outcome o = Run({"download", "--new", "--format", "dat"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(sim.Commands(), (Commands{"$NOP", "$TN", "$TR00", "$TR04", "$TR05", "$TR06", "$TR07"}));
  EXPECT_EQ(o.out, trips::SerializeDatFile({}, Shown({later.begin() + 5, later.end()})));
  EXPECT_EQ(o.err, Unassigned("3 trips read, 5 known not read again, 3 new", "", 2));
  // Nothing new: the two checks, no file, and the device may forget what the logbook holds.
  sim.ClearCommands();
  const Outcome again = Run({"download", "--new", "-o", (dir / "new.dat").string(), "--reset"});
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(sim.Commands(), (Commands{"$NOP", "$TN", "$TR00", "$TR07", "$TC"}));
  EXPECT_FALSE(fs::exists(dir / "new.dat"));
}

TEST_F(Cli, NewComparesAtTheDevicesOwnIndexesWhereItHoldsRejectedTrips) {
  // 40 records, 13 of them out of range.
  const auto held = riventar::sim::WithInvalidTrips(riventar::sim::RealisticTrips(40));
  sim.SetTrips(held);
  Outcome o = Run({"download"});
  EXPECT_EQ(o.err, Unassigned("27 trips read (13 left out as invalid), 27 new", "", 1));
  const struct {
    int added;  // trips made since
    Commands sent;
    std::string err;
  } cases[] = {
      {0, {"$NOP", "$TN", "$TR00", "$TR27"}, Unassigned("0 trips read, 40 known not read again, 0 new", "", 2)},
      {2,
       {"$NOP", "$TN", "$TR00", "$TR27", "$TR28", "$TR29"},
       Unassigned("2 trips read, 40 known not read again, 2 new", "", 4)},
  };
  for (const auto& c : cases) {
    auto more = held;
    const auto later = riventar::sim::RealisticTrips(40 + c.added, 9);
    more.insert(more.end(), later.end() - c.added, later.end());
    sim.SetTrips(more);
    sim.ClearCommands();
    o = Run({"download", "--new", "--format", "dat"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(sim.Commands(), c.sent);
    EXPECT_EQ(o.err, c.err);
    EXPECT_EQ(o.out, trips::SerializeDatFile({}, Shown({later.end() - c.added, later.end()})));
    sim.SetTrips(held);  // the next case starts from the same history
    ASSERT_EQ(Run({"download", "--new"}).status, 0);
  }
}

TEST_F(Cli, NewKnowsTwoCarsReadThroughOneAdapterInTurn) {
  const auto first = riventar::sim::RealisticTrips(7, 11), second = riventar::sim::RealisticTrips(5, 12);
  const std::vector<DeviceTrip> firstEarlier(first.begin(), first.end() - 1);
  sim.SetTrips(firstEarlier);
  ASSERT_EQ(Run({"download", "--new"}).status, 0);
  const struct {
    std::vector<DeviceTrip> held;
    Commands sent;
    std::string err;
  } cases[] = {
      // Fewer trips than the first car's history: nothing to check.
      {second, {"$NOP", "$TN", "$TR00", "$TR01", "$TR02", "$TR03", "$TR04"}, Unassigned("5 trips read, 5 new", "", 2)},
      // The first car, one trip later: record 0 is asked once for both cars.
      {first,
       {"$NOP", "$TN", "$TR00", "$TR05", "$TR06"},
       Unassigned("1 trip read, 6 known not read again, 1 new", "", 3)},
      {second, {"$NOP", "$TN", "$TR00", "$TR04"}, Unassigned("0 trips read, 5 known not read again, 0 new", "", 4)},
      {first, {"$NOP", "$TN", "$TR00", "$TR06"}, Unassigned("0 trips read, 7 known not read again, 0 new", "", 5)},
  };
  for (const auto& c : cases) {
    sim.SetTrips(c.held);
    sim.ClearCommands();
    const Outcome o = Run({"download", "--new", "--format", "csv"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(sim.Commands(), c.sent);
    EXPECT_EQ(o.err, c.err);
  }
  const std::string all = Run({"log", "trips", "--format", "dat"}).out;
  EXPECT_EQ(all.size(), 3 * 2 + (first.size() + second.size()) * trips::TripLineSize);
}

TEST_F(Cli, ImportingTwiceChangesNothingAndARefusedFileIsSaid) {
  const fs::path good = dir / "car.dat", bad = dir / "text.dat";
  Write(good, trips::SerializeDatFile({"ВАЗ", "А123ВС", "Иванов"}, Shown(device)));
  Write(bad, "model\r\nreg\r\nowner\r\nnot a trip line\r\n");
  Outcome o = Run({"log", "import", bad.string(), good.string()});
  EXPECT_EQ(o.status, 5);
  EXPECT_EQ(o.out, good.string() + ": 5 trips read, 5 new\n");
  EXPECT_NE(o.err.find("text.dat is not in the trip file format; not imported"), std::string::npos) << o.err;
  const std::string before = Run({"log", "trips", "--format", "dat"}).out;
  o = Run({"log", "import", good.string()});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, good.string() + ": 5 trips read, 0 new\n");
  EXPECT_EQ(Run({"log", "trips", "--format", "dat"}).out, before);
  o = Run({"--json", "log", "vehicles"});
  EXPECT_NE(o.out.find("\"registration\": \"А123ВС\", \"model\": \"ВАЗ\", \"owner\": \"Иванов\", \"trips\": 5"),
            std::string::npos)
      << o.out;
}

TEST_F(Cli, AGarbageLogbookIsRefusedAndLeftAsItIs) {
  const std::string garbage = "this is no database, but a user's notes\n";
  Write(logbook, garbage);
  const std::vector<std::string> commands[] = {
      {"download", "-o", (dir / "car.dat").string(), "--reset"}, {"log", "trips"}, {"log", "import", "x.dat"}};
  for (const auto& args : commands) {
    sim.ClearCommands();
    const Outcome o = Run(args);
    EXPECT_EQ(o.status, 6) << args[0] << " " << o.err;
    EXPECT_NE(o.err.find("the logbook " + logbook.string()), std::string::npos) << o.err;
    EXPECT_TRUE(sim.Commands().empty());
    EXPECT_EQ(Contents(logbook), garbage);
  }
  EXPECT_FALSE(fs::exists(dir / "car.dat"));
}

TEST_F(Cli, TwoProgramsRecordingAtOnceKeepEachTripOnce) {
  const auto all = riventar::sim::RealisticTrips(9);
  riventar::sim::Simulator other;
  sim.SetTrips({all.begin(), all.begin() + 6});
  other.SetTrips({all.begin() + 3, all.end()});
  sim.SetPace(true);
  other.SetPace(true);
  const pid_t first = Start({"download", "--format", "csv"});
  const pid_t second = Start({"--port", other.SlavePath(), "download", "--format", "csv"});
  EXPECT_EQ(Wait(first).status, 0);
  EXPECT_EQ(Wait(second).status, 0);
  EXPECT_EQ(Run({"log", "trips", "--format", "dat"}).out, trips::SerializeDatFile({}, Shown(all)));
}

// A logbook of 338 trips with one page in its middle overwritten.
TEST_F(Cli, ADamagedLogbookIsRefusedBeforeItIsTrustedAndTheWayOutIsNamed) {
  const fs::path many = dir / "many.dat";
  Write(many, trips::SerializeDatFile({}, Shown(riventar::sim::RealisticTrips(338))));
  ASSERT_EQ(Run({"log", "import", many.string()}).status, 0);
  std::string bytes = Contents(logbook);
  ASSERT_GT(bytes.size(), 6 * 4096u);
  for (std::size_t i = 0; i < 4096; ++i) bytes[bytes.size() / 4096 / 2 * 4096 + i] = static_cast<char>(i * 37 + 11);
  Write(logbook, bytes);
  const std::vector<std::string> commands[] = {{"log", "vehicles"},
                                               {"log", "trips", "-o", (dir / "tax.csv").string()},
                                               {"download", "--reset", "-o", (dir / "car.dat").string()}};
  for (const auto& args : commands) {
    sim.ClearCommands();
    const Outcome o = Run(args);
    EXPECT_EQ(o.status, 6) << args[1] << " " << o.err;
    EXPECT_NE(o.err.find("damaged"), std::string::npos) << o.err;
    EXPECT_NE(o.err.find("--logbook PATH"), std::string::npos) << o.err;
    EXPECT_NE(o.err.find("Другой файл журнала..."), std::string::npos) << o.err;
    EXPECT_TRUE(sim.Commands().empty());
    EXPECT_EQ(Contents(logbook), bytes);
    EXPECT_FALSE(fs::exists(logbook.string() + "-wal"));
  }
  EXPECT_FALSE(fs::exists(dir / "tax.csv"));
  EXPECT_FALSE(fs::exists(dir / "car.dat"));
}

TEST_F(Cli, AListingMakesNothingAndALocationMustSayWhere) {
  const fs::path typo = dir / "typo" / "logbook.sqlite";
  Outcome o = Run({"--logbook", typo.string(), "log", "vehicles"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.err.find("no logbook at " + typo.string()), std::string::npos) << o.err;
  EXPECT_FALSE(fs::exists(dir / "typo"));
  o = Run({"--logbook", "", "log", "trips"});
  EXPECT_EQ(o.status, 2) << o.err;
  ::setenv("RIVENTAR_LOGBOOK", "logbook.sqlite", 1);
  o = Run({"log", "vehicles"});
  EXPECT_EQ(o.status, 6) << o.err;
  EXPECT_NE(o.err.find("RIVENTAR_LOGBOOK must be an absolute path"), std::string::npos) << o.err;
}

TEST_F(Cli, ABackupIsTheWholeLogbookInOneFile) {
  ASSERT_EQ(Run({"download"}).status, 0);
  const fs::path copy = dir / "copy.sqlite";
  Outcome o = Run({"log", "backup", copy.string()});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_FALSE(fs::exists(copy.string() + "-wal"));
  EXPECT_EQ(Run({"--logbook", copy.string(), "log", "trips", "--format", "dat"}).out,
            trips::SerializeDatFile({}, Shown(device)));
  o = Run({"log", "backup", (dir / "no such folder" / "copy.sqlite").string()});
  EXPECT_EQ(o.status, 4) << o.err;
}

// Another program holds the logbook's write lock for the whole download.
TEST_F(Cli, WhatTheFileSavedButTheLogbookDidNotIsSaidWithTheCommandThatBringsItIn) {
  ASSERT_EQ(Run({"log", "vehicles"}).status, 0);
  ASSERT_EQ(Run({"log", "import", "/dev/null"}).status, 4);  // makes the logbook, records nothing
  sqlite3* holder = nullptr;
  ASSERT_EQ(sqlite3_open(logbook.c_str(), &holder), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(holder, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  const fs::path file = dir / "car.dat";
  Outcome o = Run({"download", "-o", file.string()});
  sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(holder);
  EXPECT_EQ(o.status, 6) << o.err;
  EXPECT_NE(o.err.find("is busy"), std::string::npos) << o.err;
  EXPECT_NE(o.err.find("'riventar-cli log import " + file.string() + "' brings them into the logbook"),
            std::string::npos)
      << o.err;
  EXPECT_EQ(Run({"log", "import", file.string()}).status, 0);
  EXPECT_EQ(Run({"log", "trips", "--format", "dat"}).out, trips::SerializeDatFile({}, Shown(device)));
}

// Whether `text` holds `part`; the message says what it held.
::testing::AssertionResult Holds(const std::string& text, const std::string& part) {
  if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "no \"" << part << "\" in:\n" << text;
}

// Two cars over several weeks, filed and set right through the command line,
// each step checked against what the logbook lists.
TEST_F(Cli, EveryTripEndsUpOnTheRightCarAndEachCorrectionIsInTheHistory) {
  const std::string carA = "А123ВС 77", typoB = "В456ОР 777", carB = "В456ОР 99";
  const std::vector<DeviceTrip> tripsB = riventar::sim::RealisticTrips(5, 12);
  const auto vehicles = [this] { return Run({"--json", "log", "vehicles"}).out; };
  const auto tripsOf = [this](const std::string& reg) {
    return Run({"log", "trips", "--vehicle", reg, "--format", "dat"}).out;
  };
  const auto history = [this] { return Run({"--json", "log", "history"}).out; };

  // Looked at only: unassigned, and the command that files them.
  Outcome o = Run({"download"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.err, Unassigned("5 trips read, 5 new", "", 1));
  EXPECT_TRUE(Holds(vehicles(), "{\"registration\": \"не назначены\", \"model\": \"\", \"owner\": \"\", \"trips\": 5"));

  // Downloaded for car A: the same trips go to it, and the file names it.
  const fs::path carFile = dir / "car.dat";
  o = Run({"download", "--vehicle-reg", carA, "--vehicle-model", "ВАЗ-2110", "--vehicle-owner", "Петров", "-o",
           carFile.string(), "--append", "--reset"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.err, "riventar-cli: 5 trips read, 0 new, recorded in the logbook: ВАЗ-2110 А123ВС 77, added to " +
                       carFile.string() + "; the device's counter is reset\n");
  EXPECT_EQ(tripsOf(carA), trips::SerializeDatFile({"ВАЗ-2110", carA, "Петров"}, Shown(device)));
  EXPECT_EQ(Contents(carFile), tripsOf(carA));
  EXPECT_FALSE(Holds(vehicles(), "не назначены"));

  // Car B, its plate mistyped; then its device again, one trip later, nothing said: known.
  sim.SetTrips({tripsB.begin(), tripsB.end() - 1});
  o = Run({"download", "--vehicle-reg", typoB, "--vehicle-model", "ГАЗель", "--vehicle-owner", "Сидоров"});
  EXPECT_EQ(o.err, "riventar-cli: 4 trips read, 4 new, recorded in the logbook: ГАЗель В456ОР 777\n");
  sim.SetTrips(tripsB);
  o = Run({"download"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.err,
            "riventar-cli: the logbook knows this device: ГАЗель В456ОР 777\n"
            "riventar-cli: 5 trips read, 1 new, recorded in the logbook: ГАЗель В456ОР 777\n");
  // Told car A for car B's device: said, and still as told (nothing new moves no held trip).
  o = Run({"download", "--vehicle", "a123bc77"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_TRUE(Holds(o.err,
                    "the logbook knows this device as ГАЗель В456ОР 777's; the trips are filed under "
                    "ВАЗ-2110 А123ВС 77 as told\n"));
  EXPECT_EQ(tripsOf(typoB), trips::SerializeDatFile({"ГАЗель", typoB, "Сидоров"}, Shown(tripsB)));

  // The typo renamed: the model and owner stay.
  o = Run({"log", "vehicle", typoB, "--rename", carB});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_TRUE(o.out.empty());
  EXPECT_EQ(tripsOf(carB), trips::SerializeDatFile({"ГАЗель", carB, "Сидоров"}, Shown(tripsB)));
  EXPECT_EQ(Run({"log", "trips", "--vehicle", typoB}).status, 2);

  // One of car A's trips moved to a typo plate, which becomes a vehicle; merged back, A keeps its texts.
  const std::string key = trips::TripLine(Shown(device)[1]).substr(0, 44);
  o = Run({"log", "move", "--trip", key, "--to", "А123ВС 777"});
  EXPECT_EQ(o.err, "riventar-cli: 1 trip moved to А123ВС 777\n");
  EXPECT_EQ(tripsOf("А123ВС 777"), trips::SerializeDatFile({"", "А123ВС 777", ""}, {Shown(device)[1]}));
  o = Run({"log", "vehicle", "А123ВС 777", "--merge-into", carA});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(tripsOf(carA), trips::SerializeDatFile({"ВАЗ-2110", carA, "Петров"}, Shown(device)));
  EXPECT_FALSE(Holds(vehicles(), "А123ВС 777"));
  // Moved away and back: the empty typo vehicle is deleted.
  ASSERT_EQ(Run({"log", "move", "--trip", key, "--to", "А123ВС 777"}).status, 0);
  ASSERT_EQ(Run({"log", "move", "--vehicle", "А123ВС 777", "--to", carA}).status, 0);
  o = Run({"log", "vehicle", "А123ВС 777", "--delete"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_FALSE(Holds(vehicles(), "А123ВС 777"));
  EXPECT_EQ(tripsOf(carA), trips::SerializeDatFile({"ВАЗ-2110", carA, "Петров"}, Shown(device)));

  // A file brought in by mistake, taken back.
  const fs::path wrong = dir / "wrong.dat";
  Write(wrong, trips::SerializeDatFile({"", carA, ""}, Shown(riventar::sim::RealisticTrips(3, 21))));
  ASSERT_EQ(Run({"log", "import", wrong.string()}).status, 0);
  const std::string imports = history();
  const auto at = imports.find("\"change\": \"import\"");
  ASSERT_NE(at, std::string::npos) << imports;
  const std::string id =
      imports.substr(imports.rfind("{\"id\": ", at) + 7,
                     imports.find(',', imports.rfind("{\"id\": ", at)) - imports.rfind("{\"id\": ", at) - 7);
  o = Run({"log", "undo", id});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.err, "riventar-cli: import " + id + " undone: 3 trips removed\n");
  EXPECT_EQ(tripsOf(carA), trips::SerializeDatFile({"ВАЗ-2110", carA, "Петров"}, Shown(device)));

  // What a trip was for: in the trips' JSON and table, and in the year's report.
  o = Run({"log", "tag", "--vehicle", carA, "--from", "2005-10-05", "--until", "2005-10-05", "--purpose", "служебная",
           "--driver", "Петров", "--note", "в Тверь; обратно"});
  EXPECT_EQ(o.err, "riventar-cli: 1 trip tagged\n");
  o = Run({"--json", "log", "trips", "--vehicle", carA, "--from", "2005-10-05", "--to", "2005-10-05"});
  EXPECT_TRUE(
      Holds(o.out, "\"vehicle\": \"А123ВС 77\", \"key\": \"" + trips::TripLine(Shown({known})[0]).substr(0, 44) +
                       "\", \"purpose\": \"служебная\", \"driver\": \"Петров\", \"note\": \"в Тверь; обратно\"}"));
  EXPECT_TRUE(Holds(Run({"log", "trips", "--vehicle", carA}).out, "служебная  Петров  в Тверь; обратно"));
  // Printed as CSV, the tags follow each trip's cells, quoted where they hold the separator.
  const std::string printed = Run({"log", "trips", "--vehicle", carA, "--format", "csv"}).out;
  EXPECT_TRUE(Holds(printed, riventar::text::ToCp1251(";Цель;Водитель;Примечание\r\n")));
  EXPECT_TRUE(Holds(printed, riventar::text::ToCp1251(";служебная;Петров;\"в Тверь; обратно\"\r\n")));
  // The export's bytes stay the window's.
  ASSERT_EQ(Run({"log", "trips", "--vehicle", carA, "-o", (dir / "a.csv").string()}).status, 0);
  EXPECT_EQ(Contents(dir / "a.csv"), trips::SerializeCsv(Shown(device)));
  EXPECT_TRUE(Holds(Run({"log", "report", "--year", "2005", "--vehicle", carA}).out, "служебная"));

  // Every change, newest first, with its vehicle.
  const std::string changes = history();
  std::vector<std::string> kinds;
  for (auto p = changes.find("\"change\": \""); p != std::string::npos; p = changes.find("\"change\": \"", p + 1))
    kinds.push_back(changes.substr(p + 11, changes.find('"', p + 11) - p - 11));
  EXPECT_EQ(kinds, (std::vector<std::string>{"tag", "undo", "import", "delete", "move", "move", "merge", "move", "edit",
                                             "reading", "reading", "reading", "reading", "reading"}));
  EXPECT_TRUE(Holds(changes, "\"undone\": true"));
  EXPECT_TRUE(Holds(Run({"log", "history"}).out, "import (undone)"));
}

// The command that files unassigned trips names the logbook the download used.
TEST_F(Cli, TheHintForUnassignedTripsRunsAsItStands) {
  // A name a shell would split or expand, quoted so that it does not.
  const std::string other = (dir / "car's log $HOME.sqlite").string();
  const std::string quoted = "'" + dir.string() + "/car'\\''s log $HOME.sqlite'";
  const Outcome o = Run({"--logbook", other, "download"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_TRUE(Holds(o.err, "riventar-cli: to file them under their vehicle: riventar-cli --logbook " + quoted +
                               " log move --import 1 --to \"REG\"\n"));
  EXPECT_EQ(Run({"--logbook", other, "log", "move", "--import", "1", "--to", "А123ВС 77"}).err,
            "riventar-cli: 5 trips moved to А123ВС 77\n");
  EXPECT_EQ(Run({"--logbook", other, "log", "trips", "--vehicle", "А123ВС 77", "--format", "dat"}).out,
            trips::SerializeDatFile({"", "А123ВС 77", ""}, Shown(device)));
}

// A correction the logbook cannot make is refused with its reason, and changes nothing.
TEST_F(Cli, ARefusedCorrectionSaysWhyAndLeavesTheLogbookAsItWas) {
  ASSERT_EQ(Run({"download", "--vehicle-reg", "А123ВС 77"}).status, 0);
  ASSERT_EQ(Run({"log", "import", "/dev/null"}).status, 4);
  ASSERT_EQ(Run({"log", "undo", "1"}).status, 0);
  const auto contents = [this] {
    return Run({"--json", "log", "vehicles"}).out + Run({"--json", "log", "trips"}).out +
           Run({"--json", "log", "history"}).out;
  };
  ASSERT_EQ(Run({"download", "--vehicle-reg", "А123ВС 77"}).status, 0);
  const std::string key = trips::TripLine(Shown(device)[0]).substr(0, 44);
  ASSERT_EQ(Run({"log", "move", "--trip", key, "--to", "Е001КХ 50"}).status, 0);
  const std::string before = contents();
  const struct {
    std::vector<std::string> args;
    std::string said;
  } cases[] = {
      {{"log", "move", "--vehicle", "Х999ХХ 99", "--to", "А123ВС 77"}, "no vehicle 'Х999ХХ 99' in the logbook"},
      {{"log", "vehicle", "Х999ХХ 99", "--model", "Нива"}, "no vehicle 'Х999ХХ 99' in the logbook"},
      {{"log", "vehicle", "А123ВС 77", "--merge-into", "Х999ХХ 99"}, "no vehicle 'Х999ХХ 99' in the logbook"},
      {{"log", "vehicle", "А123ВС 77", "--delete"}, "А123ВС 77 has 4 trips"},
      {{"log", "vehicle", "А123ВС 77", "--rename", "е001кх50"}, "'е001кх50' is Е001КХ 50's number"},
      {{"log", "vehicle", "unassigned", "--delete"}, "the unassigned trips are no vehicle"},
      {{"log", "undo", "1"}, "reading 1 is undone already"},
      {{"log", "undo", "99"}, "no reading or import 99 in the logbook"},
      {{"log", "move", "--import", "99", "--to", "А123ВС 77"}, "no reading or import 99 in the logbook"},
      {{"log", "move", "--trip", std::string(44, '0'), "--to", "А123ВС 77"}, "no trip '0000"},
      {{"log", "move", "--to", "А123ВС 77"}, "say which trips"},
      {{"log", "move", "--vehicle", "А123ВС 77", "--to", " - "}, "' - ' is no registration number"},
      {{"log", "move", "--vehicle", "Е001КХ 50", "--to", "А123ВС 77", "--model", "Нива"}, "'А123ВС 77' is known"},
      {{"log", "tag", "--vehicle", "А123ВС 77", "--from", "2005-13-01", "--purpose", "личная"},
       "'2005-13-01' is not a date YYYY-MM-DD"},
      {{"log", "tag", "--vehicle", "А123ВС 77"}, "say what to set"},
      {{"log", "tag", "--import", "2", "--from", "2005-01-01", "--purpose", "личная"}, "--from and --until go with"},
      {{"download", "--vehicle", "Х999ХХ 99"}, "no vehicle 'Х999ХХ 99' in the logbook"},
  };
  for (const auto& c : cases) {
    sim.ClearCommands();
    const Outcome o = Run(c.args);
    EXPECT_EQ(o.status, 2) << c.args[1] << ": " << o.err;
    EXPECT_TRUE(Holds(o.err, c.said)) << c.args[1];
    EXPECT_TRUE(o.out.empty()) << o.out;
  }
  EXPECT_TRUE(sim.Commands().empty());  // a refused download never asks the device
  EXPECT_EQ(contents(), before);
}

}  // namespace
