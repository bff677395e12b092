// A fleet's logbook end to end: the built riventar-cli, on computers that are
// each a folder of their own (XDG_DATA_HOME), the simulated device, and a real
// PostgreSQL server.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/trips/dat_file.h"
#include "sim/simulator.h"
#include "sim/trip_store.h"
#include "tests/support/file_bytes.h"
#include "tests/support/pg_server.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using riventar::testing::PgServer;
using riventar::testing::SilentServer;

using riventar::testing::Contents;
using riventar::testing::Outcome;

namespace {

class Fleet : public ::testing::Test {
 protected:
  void SetUp() override {
    uri = PgServer::Shared().CreateDatabase(database);
    ::setenv("RIVENTAR_LOGBOOK", uri.c_str(), 1);
    ASSERT_EQ(Run("owner", {"log", "vehicles"}).status, 0);  // the tables made
  }
  void TearDown() override {
    ::unsetenv("RIVENTAR_LOGBOOK");
    PgServer::Shared().Start();  // when a test stopped it
  }

  // riventar-cli on `computer` (its own local logbook), with --port at `device`.
  pid_t Start(const std::string& computer, std::vector<std::string> args, riventar::sim::Simulator* device = nullptr) {
    if (device) args.insert(args.begin(), {"--port", device->SlavePath()});
    args.insert(args.begin(), RIVENTAR_CLI);
    const fs::path home = dir / computer;
    fs::create_directories(home);
    const pid_t child = ::fork();
    if (child == 0) {
      ::setenv("XDG_DATA_HOME", home.c_str(), 1);
      ::dup2(::open((home / "stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDOUT_FILENO);
      ::dup2(::open((home / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDERR_FILENO);
      std::vector<char*> argv;
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    return child;
  }
  Outcome Wait(const std::string& computer, pid_t child) {
    int status = 0;
    ::waitpid(child, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), Contents(dir / computer / "stdout"),
            Contents(dir / computer / "stderr")};
  }
  Outcome Run(const std::string& computer, std::vector<std::string> args, riventar::sim::Simulator* device = nullptr) {
    return Wait(computer, Start(computer, std::move(args), device));
  }
  // Among the logbook's tables.
  std::string Sql(const std::string& sql) {
    return PgServer::Shared().Sql(database, "SET search_path = riventar; " + sql);
  }
  // A ".dat" file of `count` trips from day `first` of `month`, under `model`.
  std::string DatFile(const std::string& name, int month, int first, int count, const std::string& model = "") {
    riventar::trips::TripList trips;
    for (int i = 0; i < count; ++i) {
      riventar::trips::TripRecord r;
      r.Year = 24;
      r.Month = static_cast<std::uint8_t>(month);
      r.Day = static_cast<std::uint8_t>(first + i);
      r.Hour = 8;
      r.TripTime = 600;
      r.MovingTime = 500;
      r.Distance = 6000;
      r.Fuel = 1000;
      riventar::trips::Derive(r);
      trips.push_back(r);
    }
    std::string bytes = riventar::trips::SerializeDatFile({"", "А123ВС77", ""}, trips);
    bytes.insert(0, model);  // the bytes as given, whatever the encoding
    const fs::path path = dir / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
  }
  std::string TripCount() {
    return Sql("SELECT COUNT(*), COUNT(DISTINCT (stamp, trip_time, moving_time, distance, fuel)) FROM trips");
  }

  const std::string database =
      "fleet_" + std::to_string(::getpid()) + "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
  std::string uri;
  riventar::testing::TempDir dir{"riventar-fleet"};
};

TEST_F(Fleet, TwoComputersSendingOverlappingReadingsAtOnceKeepEachTripOnce) {
  const auto all = riventar::sim::RealisticTrips(9);
  riventar::sim::Simulator first, second;
  first.SetTrips({all.begin(), all.begin() + 6});
  second.SetTrips({all.begin() + 3, all.end()});
  first.SetPace(true);
  second.SetPace(true);
  const pid_t a = Start("a", {"download", "--reset", "--format", "csv"}, &first);
  const pid_t b = Start("b", {"download", "--reset", "--format", "csv"}, &second);
  EXPECT_EQ(Wait("a", a).status, 0);
  EXPECT_EQ(Wait("b", b).status, 0);
  EXPECT_EQ(TripCount(), "9|9\n");
  // A third computer sees them all, and nothing waits anywhere.
  const Outcome trips = Run("c", {"log", "trips", "--format", "csv"});
  EXPECT_EQ(trips.status, 0) << trips.err;
  EXPECT_EQ(std::count(trips.out.begin(), trips.out.end(), '\n'), 10) << trips.out;
  const Outcome status = Run("a", {"--json", "log", "status"});
  EXPECT_NE(status.out.find("\"waiting_trips\": 0,"), std::string::npos) << status.out;
}

TEST_F(Fleet, AServerStoppedBeforeTheReadingQueuesItAllowsTheResetAndSyncSendsItOnceItIsBack) {
  riventar::sim::Simulator device;
  device.SetTrips(riventar::sim::RealisticTrips(5));
  PgServer::Shared().Stop();
  Outcome o = Run("a", {"download", "--reset", "--format", "csv"}, &device);
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.err.find("cannot be reached"), std::string::npos) << o.err;
  EXPECT_NE(o.err.find("5 trips wait on this computer to be sent"), std::string::npos) << o.err;
  EXPECT_TRUE(device.Trips().empty());  // the counter was reset
  o = Run("a", {"--json", "log", "status"});
  EXPECT_NE(o.out.find("\"waiting_trips\": 5, \"waiting_recordings\": 1"), std::string::npos) << o.out;
  o = Run("a", {"log", "sync"});
  EXPECT_EQ(o.status, 6);
  EXPECT_NE(o.err.find("5 trips (1 recording) still wait on this computer"), std::string::npos) << o.err;

  PgServer::Shared().Start();
  EXPECT_EQ(TripCount(), "0|0\n");
  o = Run("a", {"log", "sync"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, "5 trips sent (1 recording): 5 new on the server, 0 it already had\n");
  EXPECT_EQ(TripCount(), "5|5\n");
  o = Run("a", {"log", "sync"});
  EXPECT_EQ(o.out, "0 trips sent (0 recordings)\n");
  EXPECT_EQ(TripCount(), "5|5\n");
  EXPECT_EQ(Sql("SELECT COUNT(*) FROM imports"), "1\n");
}

TEST_F(Fleet, AServerThatNeverAnswersHoldsTheReadingUpOnlyForTheConnectTimeout) {
  riventar::sim::Simulator device;
  device.SetTrips(riventar::sim::RealisticTrips(5));
  const fs::path silent = dir / "silent";
  fs::create_directories(silent);
  const SilentServer server(silent);
  const auto started = std::chrono::steady_clock::now();
  const Outcome o = Run(
      "a",
      {"--logbook", "postgresql:///" + database + "?host=" + silent.string(), "download", "--reset", "--format", "csv"},
      &device);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 9s);  // the connect timeout and the reading, no more
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.err.find("cannot be reached"), std::string::npos) << o.err;
  EXPECT_TRUE(device.Trips().empty());
}

TEST_F(Fleet, ASyncKilledHalfWayLosesNothingAndSendsNothingTwice) {
  // Twenty readings' worth of trips wait, imported while the server is away.
  std::vector<std::string> import{"log", "import"};
  riventar::trips::TripList trips;
  for (int file = 0; file < 20; ++file) {
    trips.clear();
    for (int i = 0; i < 500; ++i) {
      riventar::trips::TripRecord r;
      r.Year = 24;
      r.Month = static_cast<std::uint8_t>(file % 12);
      r.Day = static_cast<std::uint8_t>(1 + i % 28);
      r.Hour = static_cast<std::uint8_t>(i % 24);
      r.TripTime = 600;
      r.MovingTime = 500;
      r.Distance = static_cast<std::uint32_t>(1000 + file * 500 + i);
      r.Fuel = 1000;
      riventar::trips::Derive(r);
      trips.push_back(r);
    }
    const fs::path path = dir / ("car" + std::to_string(file) + ".dat");
    std::ofstream(path, std::ios::binary) << riventar::trips::SerializeDatFile({"", "А123ВС77", ""}, trips);
    import.push_back(path.string());
  }
  PgServer::Shared().Stop();
  ASSERT_EQ(Run("a", import).status, 0);
  PgServer::Shared().Start();

  const pid_t sync = Start("a", {"log", "sync"});
  for (int i = 0; i < 2000 && Sql("SELECT COUNT(*) FROM trips") == "0\n"; ++i) std::this_thread::sleep_for(5ms);
  ::kill(sync, SIGKILL);
  EXPECT_EQ(Wait("a", sync).status, 128 + SIGKILL);
  const std::string half = TripCount();
  EXPECT_NE(half, "10000|10000\n");
  // Whole batches only (four files of 500 trips each), every trip under its import.
  EXPECT_EQ(Sql("SELECT COUNT(*) % 4, COALESCE(SUM(added), 0) FROM imports"),
            "0|" + half.substr(0, half.find('|')) + "\n");

  const Outcome o = Run("a", {"log", "sync"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(TripCount(), "10000|10000\n") << "after a kill at " << half;
  EXPECT_EQ(Sql("SELECT SUM(trips) FROM vehicles"), "10000\n");
}

TEST_F(Fleet, APasswordInTheLocationIsNeverPrinted) {
  riventar::sim::Simulator device;
  device.SetTrips(riventar::sim::RealisticTrips(2));
  const std::string secret = "Sup3r-s3cret";
  const std::string host = "?host=" + PgServer::Shared().Folder().string();
  const std::string withPassword = "postgresql://postgres:" + secret + "@/" + database + host;
  const std::string unreachable = "postgresql://postgres:" + secret + "@/" + database + "?host=/nonexistent";
  const std::vector<std::vector<std::string>> commands = {
      {"--logbook", withPassword, "download"},
      {"--logbook", unreachable, "download"},
      {"--logbook", unreachable, "log", "sync"},
      {"--logbook", unreachable, "log", "vehicles"},
      {"--logbook", withPassword, "--json", "log", "status"},
      {"--logbook", withPassword, "log", "status"},
      {"--logbook", withPassword, "log", "trips"},
      {"--logbook", withPassword, "log", "imports"},
      {"--logbook", withPassword, "log", "nonsense"},
      {"--logbook=" + withPassword, "log", "vehicles", "--nonsense"},
  };
  for (const auto& args : commands) {
    const Outcome o = Run("a", args, &device);
    EXPECT_EQ(o.out.find(secret), std::string::npos) << args[1] << " " << args[2] << ": " << o.out;
    EXPECT_EQ(o.err.find(secret), std::string::npos) << args[1] << " " << args[2] << ": " << o.err;
  }
}

TEST_F(Fleet, AServerOfANewerVersionIsLeftAsItIsAndTheTripsWait) {
  riventar::sim::Simulator device;
  device.SetTrips(riventar::sim::RealisticTrips(3));
  Sql("UPDATE schema_version SET version = 99");
  const std::string before = Sql("SELECT version FROM schema_version") + TripCount();
  Outcome o = Run("a", {"download", "--reset"}, &device);
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.err.find("newer version of the program; it is left as it is"), std::string::npos) << o.err;
  EXPECT_TRUE(device.Trips().empty());
  o = Run("a", {"log", "sync"});
  EXPECT_EQ(o.status, 6);
  EXPECT_EQ(Sql("SELECT version FROM schema_version") + TripCount(), before);
}

TEST_F(Fleet, ANulInAHeaderIsKeptAndARecordingTheServerRefusesHoldsUpNothing) {
  const std::string nul = DatFile("nul.dat", 0, 1, 3, std::string("Ni\0va", 5));
  Outcome o = Run("a", {"log", "import", nul});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(Sql("SELECT encode(model_bytes, 'hex') FROM vehicles"), "4e69007661\n");
  EXPECT_EQ(TripCount(), "3|3\n");

  // The owner's rule that the server keeps: files named "refuse" are not taken.
  Sql("ALTER TABLE imports ADD CONSTRAINT no_refuse CHECK (source NOT LIKE '%refuse%')");
  o = Run("a", {"log", "import", DatFile("refuse.dat", 1, 1, 2), DatFile("later.dat", 2, 1, 4)});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.err.find("refuse.dat"), std::string::npos) << o.err;
  EXPECT_NE(o.err.find("it is set aside on this computer, the others are sent"), std::string::npos) << o.err;
  EXPECT_EQ(TripCount(), "7|7\n");
  o = Run("a", {"log", "status"});
  EXPECT_NE(o.out.find("nothing waits to be sent"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("1 recording set aside"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("refuse.dat (2 trips): "), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("no_refuse"), std::string::npos) << o.out;
  o = Run("a", {"--json", "log", "status"});
  EXPECT_NE(o.out.find("\"set_aside\": [{\"at\": "), std::string::npos) << o.out;
  o = Run("a", {"log", "sync"});
  EXPECT_EQ(o.status, 6);
  EXPECT_NE(o.err.find("refused 1 recording for what they hold"), std::string::npos) << o.err;

  Sql("ALTER TABLE imports DROP CONSTRAINT no_refuse");
  o = Run("a", {"log", "sync"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, "2 trips sent (1 recording): 2 new on the server, 0 it already had\n");
  EXPECT_EQ(TripCount(), "9|9\n");
}

TEST_F(Fleet, TripsQueuedForOneServerWaitForThatServerAlone) {
  const std::string other = database + "_other";
  const std::string otherUri =
      "postgresql:///" + other + "?host=" + PgServer::Shared().Folder().string() + "&user=postgres";
  Outcome o = Run("a", {"--logbook", otherUri, "log", "import", DatFile("a.dat", 0, 1, 3)});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.err.find("3 trips wait on this computer"), std::string::npos) << o.err;

  o = Run("a", {"log", "import", DatFile("b.dat", 1, 1, 2)});  // this test's server
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.err, "");
  o = Run("a", {"log", "sync"});
  EXPECT_EQ(o.out, "0 trips sent (0 recordings)\n");
  EXPECT_EQ(TripCount(), "2|2\n");
  o = Run("a", {"log", "status"});
  EXPECT_NE(o.out.find("nothing waits to be sent to"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("3 trips (1 recording) wait for " + PgServer::Shared().Folder().string() + ":5432/" + other),
            std::string::npos)
      << o.out;

  PgServer::Shared().CreateDatabase(other);
  o = Run("a", {"--logbook", otherUri, "log", "sync"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, "3 trips sent (1 recording): 3 new on the server, 0 it already had\n");
  EXPECT_EQ(PgServer::Shared().Sql(other, "SELECT COUNT(*) FROM riventar.trips"), "3\n");
  EXPECT_EQ(TripCount(), "2|2\n");
}

TEST_F(Fleet, APasswordInTheLogbookOptionIsRefusedForAllToSeeItThere) {
  const std::string host = "?host=" + PgServer::Shared().Folder().string();
  for (const std::string& secret : {std::string("Sup3r-s3cret"), std::string("pa/ss-w0rd")}) {
    const std::string withPassword = "postgresql://postgres:" + secret + "@/" + database + host;
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--logbook", withPassword, "log", "vehicles"}, {"--logbook=" + withPassword, "log", "sync"}}) {
      const Outcome o = Run("a", args);
      EXPECT_EQ(o.status, 2) << o.err;
      EXPECT_NE(o.err.find("~/.pgpass"), std::string::npos) << o.err;
      EXPECT_EQ(o.err.find(secret), std::string::npos) << o.err;
      EXPECT_EQ(o.out.find(secret), std::string::npos) << o.out;
    }
  }
  // The environment is the user's own to read.
  ::setenv("RIVENTAR_LOGBOOK", ("postgresql://postgres:Sup3r-s3cret@/" + database + host).c_str(), 1);
  const Outcome o = Run("a", {"log", "vehicles"});
  EXPECT_EQ(o.status, 0) << o.err;
}

TEST_F(Fleet, ServerTextsAreShownNotObeyed) {
  Sql("INSERT INTO vehicles (plate_key, model, reg_id, owner, trips, distance) VALUES "
      "('A1', E'\\x1b]0;owned\\x07Lada\\x1b[2J', E'A1\\r', E'\\u009b31mAnna', 0, 0)");
  Outcome o = Run("a", {"log", "vehicles"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.out.find("Lada"), std::string::npos) << o.out;
  for (const char* control : {"\x1b", "\x07", "\r", "\xc2\x9b"})
    EXPECT_EQ(o.out.find(control), std::string::npos) << o.out;
  o = Run("a", {"--json", "log", "vehicles"});
  EXPECT_NE(o.out.find("\\u001b]0;owned\\u0007Lada\\u001b[2J"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("\\u009b31mAnna"), std::string::npos) << o.out;
  // The server's own words in a message, too: it names the database asked for.
  o = Run("a", {"--logbook", "postgresql:///%1B%5B2Jnowhere?user=postgres&host=" + PgServer::Shared().Folder().string(),
                "log", "vehicles"});
  EXPECT_EQ(o.status, 0);
  EXPECT_NE(o.err.find("[2Jnowhere\" does not exist"), std::string::npos) << o.err;
  EXPECT_EQ(o.err.find("\x1b"), std::string::npos) << o.err;
}

TEST_F(Fleet, SyncSaysHowManyTripsWereNewOnTheServerAndHowManyItHad) {
  const auto all = riventar::sim::RealisticTrips(9);
  riventar::sim::Simulator first, second;
  first.SetTrips({all.begin(), all.begin() + 6});
  second.SetTrips({all.begin() + 3, all.end()});
  PgServer::Shared().Stop();
  ASSERT_EQ(Run("a", {"download", "--reset", "--format", "csv"}, &first).status, 0);
  ASSERT_EQ(Run("b", {"download", "--reset", "--format", "csv"}, &second).status, 0);
  PgServer::Shared().Start();
  Outcome o = Run("a", {"log", "sync"});
  EXPECT_EQ(o.out, "6 trips sent (1 recording): 6 new on the server, 0 it already had\n") << o.err;
  o = Run("b", {"--json", "log", "sync"});
  EXPECT_NE(o.out.find("\"sent_trips\": 6, \"new_trips\": 3, \"known_trips\": 3,"), std::string::npos) << o.out;
  EXPECT_EQ(TripCount(), "9|9\n");
}

// A table another session keeps locked: the commands wait for the lock
// timeout at most, and only after what the device must do.
TEST_F(Fleet, TheCounterIsResetBeforeTheServerIsWaitedFor) {
  riventar::sim::Simulator device;
  device.SetTrips(riventar::sim::RealisticTrips(5));
  const riventar::testing::TableLock lock(PgServer::Shared(), database, "trips");
  const auto started = std::chrono::steady_clock::now();
  const pid_t download = Start("a", {"download", "--reset", "--format", "csv"}, &device);
  bool resetWhileWaiting = false;
  for (int i = 0; i < 400 && !resetWhileWaiting; ++i) {
    std::this_thread::sleep_for(20ms);
    resetWhileWaiting = device.Trips().empty() && ::waitpid(download, nullptr, WNOHANG) == 0;
  }
  EXPECT_TRUE(resetWhileWaiting);
  const Outcome o = Wait("a", download);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 20s);  // the lock timeout, 10 s, the reading, no more
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.err.find("lock timeout"), std::string::npos) << o.err;
  EXPECT_NE(o.err.find("5 trips wait on this computer to be sent"), std::string::npos) << o.err;
}

TEST_F(Fleet, CtrlCCancelsWhatTheServerWasDoing) {
  riventar::sim::Simulator device;
  device.SetTrips(riventar::sim::RealisticTrips(5));
  PgServer::Shared().Stop();
  ASSERT_EQ(Run("a", {"download", "--reset", "--format", "csv"}, &device).status, 0);
  PgServer::Shared().Start();
  const riventar::testing::TableLock lock(PgServer::Shared(), database, "trips");
  const std::string waiting =
      "SELECT COUNT(*) FROM pg_stat_activity WHERE application_name = 'riventar' AND wait_event_type = 'Lock'";
  const pid_t sync = Start("a", {"log", "sync"});
  for (int i = 0; i < 250 && Sql(waiting) != "1\n"; ++i) std::this_thread::sleep_for(20ms);
  ASSERT_EQ(Sql(waiting), "1\n");
  const auto interrupted = std::chrono::steady_clock::now();
  ::kill(sync, SIGINT);
  EXPECT_EQ(Wait("a", sync).status, 128 + SIGINT);
  EXPECT_LT(std::chrono::steady_clock::now() - interrupted, 1s);
  // The server let go of the statement, though the lock is still held.
  for (int i = 0; i < 150 && Sql(waiting) != "0\n"; ++i) std::this_thread::sleep_for(20ms);
  EXPECT_EQ(Sql(waiting), "0\n");
  const Outcome o = Run("a", {"--json", "log", "status"});
  EXPECT_NE(o.out.find("\"waiting_trips\": 5,"), std::string::npos) << o.out;
}

}  // namespace
