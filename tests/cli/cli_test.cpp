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
  for (const auto& c : cases) {
    Write(dir / "car.dat", c.before);
    const Outcome o = Run({"download", "-o", (dir / "car.dat").string(), "--append"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(Contents(dir / "car.dat"), c.after);
    EXPECT_EQ(o.err, "riventar-cli: 5 trips read, " + std::exchange(fresh, "0") + " new, added to " +
                         (dir / "car.dat").string() + "\n");
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
  EXPECT_EQ(o.err, "riventar-cli: 6 trips read, 1 new, 1 trip added to " + file +
                       " (5 trips there already); the device's counter is reset\n");
  EXPECT_EQ(Contents(file), trips::SerializeDatFile({}, Shown(more)));

  // The same trips once more (another run killed before the reset): the file is left as it is.
  sim.SetTrips(more);
  o = Run(command);
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.err, "riventar-cli: 6 trips read, 0 new, nothing added to " + file +
                       " (6 trips there already); the device's counter is reset\n");
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
      {{"download"}, false, 0, "riventar-cli: 5 trips read, 5 new\n"},
      {{"download", "-o", file}, false, 0, "riventar-cli: 5 trips read, 0 new, written to " + file + "\n"},
      {{"download", "-o", file, "--reset"},
       true,
       1,
       "riventar-cli: 5 trips read, 0 new, written to " + file +
           "; but the device did not answer the counter reset, so it still holds them\n"},
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
  const std::string written = "riventar-cli: 5 trips read, 5 new, written to " + file;
  using riventar::sim::Misbehaviour;
  const struct {
    Misbehaviour onReset;
    std::string err;
  } cases[] = {
      {Misbehaviour::SilentOn({"TC"}),
       written + "; but the device did not answer the counter reset, so it still holds them\n"},
      // Answered within the reply timeout, after the signal has come.
      {Misbehaviour::LateOn(std::chrono::milliseconds(100), {"TC"}), written + "; the device's counter is reset\n"},
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
  EXPECT_EQ(o.err, "riventar-cli: 5 trips read, 5 new\n");
  o = Run({"download", "--format", "csv"});
  EXPECT_EQ(o.err, "riventar-cli: 5 trips read, 0 new\n");
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
  EXPECT_EQ(o.err, "riventar-cli: 3 trips read, 5 known not read again, 3 new\n");
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
  EXPECT_EQ(o.err, "riventar-cli: 27 trips read (13 left out as invalid), 27 new\n");
  const struct {
    int added;  // trips made since
    Commands sent;
    std::string err;
  } cases[] = {
      {0, {"$NOP", "$TN", "$TR00", "$TR27"}, "riventar-cli: 0 trips read, 40 known not read again, 0 new\n"},
      {2,
       {"$NOP", "$TN", "$TR00", "$TR27", "$TR28", "$TR29"},
       "riventar-cli: 2 trips read, 40 known not read again, 2 new\n"},
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
      {second, {"$NOP", "$TN", "$TR00", "$TR01", "$TR02", "$TR03", "$TR04"}, "riventar-cli: 5 trips read, 5 new\n"},
      // The first car, one trip later: record 0 is asked once for both cars.
      {first, {"$NOP", "$TN", "$TR00", "$TR05", "$TR06"}, "riventar-cli: 1 trip read, 6 known not read again, 1 new\n"},
      {second, {"$NOP", "$TN", "$TR00", "$TR04"}, "riventar-cli: 0 trips read, 5 known not read again, 0 new\n"},
      {first, {"$NOP", "$TN", "$TR00", "$TR06"}, "riventar-cli: 0 trips read, 7 known not read again, 0 new\n"},
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

}  // namespace
