#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <thread>

#include "adapters/logbook/location.h"
#include "adapters/logbook/sqlite_store.h"
#include "core/logbook/stamp.h"
#include "core/trips/dat_file.h"
#include "tests/adapters/earlier_logbooks.h"
#include "tests/support/logbook_trips.h"
#include "tests/support/temp_dir.h"

using namespace riventar::logbook;
using riventar::testing::Reading;
using riventar::testing::Trip;
using riventar::trips::TripList;
using riventar::trips::TripRecord;

namespace {

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void Write(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// The side files SQLite keeps beside `path` that are there now.
std::string SideFiles(const std::string& path) {
  std::string out;
  for (const char* suffix : {"-journal", "-wal", "-shm"})
    if (std::filesystem::exists(path + suffix)) out += suffix;
  return out;
}

TripList Trips(int count, int salt = 0) {
  TripList list;
  for (int i = 0; i < count; ++i) list.push_back(Trip(1 + i % 28, i % 24, 6000 + i + salt));
  return list;
}

// Runs `body` in a child process; its exit status.
int InChild(const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Another program's connection, straight through Qt SQL.
class Stranger {
 public:
  explicit Stranger(const std::string& path) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("stranger"));
    db.setDatabaseName(QString::fromStdString(path));
    EXPECT_TRUE(db.open());
  }
  ~Stranger() {
    QSqlDatabase::database(QStringLiteral("stranger")).close();
    QSqlDatabase::removeDatabase(QStringLiteral("stranger"));
  }
  std::int64_t Integer(const char* sql) {
    QSqlQuery q(QSqlDatabase::database(QStringLiteral("stranger")));
    EXPECT_TRUE(q.exec(QString::fromLatin1(sql)) && q.next()) << sql;
    return q.value(0).toLongLong();
  }
  void Exec(const char* sql) {
    QSqlQuery q(QSqlDatabase::database(QStringLiteral("stranger")));
    EXPECT_TRUE(q.exec(QString::fromLatin1(sql))) << sql;
  }
};

// A logbook as the program of `version` (1 or 2) left it, made from one of
// today's: the later tables and columns taken away again, the mark gone.
void MakeEarlier(const std::string& path, int version) {
  Stranger s(path);
  riventar::testing::MakeVersionFour([&s](const char* sql) { s.Exec(sql); });
  s.Exec("PRAGMA application_id = 0");
  s.Exec("ALTER TABLE outbox DROP COLUMN set_aside");
  s.Exec("ALTER TABLE outbox DROP COLUMN server");
  s.Exec("DROP TABLE device_records");
  s.Exec("DROP TABLE devices");
  s.Exec(
      "CREATE TABLE device_memory ("
      " device TEXT NOT NULL, slot INTEGER NOT NULL,"
      " stamp BIGINT NOT NULL, trip_time BIGINT NOT NULL, moving_time BIGINT NOT NULL,"
      " distance BIGINT NOT NULL, fuel BIGINT NOT NULL,"
      " PRIMARY KEY (device, slot))");
  if (version == 1) {
    s.Exec("DROP TABLE outbox_trips");
    s.Exec("DROP TABLE outbox");
  }
  s.Exec(version == 1 ? "UPDATE schema_version SET version = 1" : "UPDATE schema_version SET version = 2");
}

class LogbookStore : public ::testing::Test {
 protected:
  riventar::testing::TempDir dir_{"riventar-logbook"};
  std::string path_ = (dir_ / "sub/logbook.sqlite").string();
};

}  // namespace

TEST_F(LogbookStore, ALogbookOfVersionTwoKeepsWhatEachDeviceHeld) {
  {
    OpenLogbook(path_);
    MakeEarlier(path_, 2);
    Stranger old(path_);
    const std::pair<const char*, TripList> held[] = {{"/dev/ttyUSB0", {Trip(3, 1), Trip(5, 1)}},
                                                     {"/dev/ttyS0", {Trip(9, 1)}}};
    for (const auto& [device, trips] : held) {
      for (std::size_t slot = 0; slot < trips.size(); ++slot) {
        const TripRecord& r = trips[slot];
        old.Exec(("INSERT INTO device_memory VALUES ('" + std::string(device) + "', " + std::to_string(slot) + ", " +
                  std::to_string(Stamp(r)) + ", " + std::to_string(r.TripTime) + ", " + std::to_string(r.MovingTime) +
                  ", " + std::to_string(r.Distance) + ", " + std::to_string(r.Fuel) + ")")
                     .c_str());
      }
    }
  }
  auto store = OpenLogbook(path_);
  EXPECT_EQ(store->DeviceMemories("/dev/ttyUSB0"), (std::vector<TripList>{{Trip(3, 1), Trip(5, 1)}}));
  EXPECT_EQ(store->DeviceMemories("/dev/ttyS0"), (std::vector<TripList>{{Trip(9, 1)}}));
  store->Record(Reading({Trip(7, 1)}));
  EXPECT_EQ(store->DeviceMemories("/dev/ttyUSB0").size(), 2u);
  store.reset();
  QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("version"));
  {
    db.setDatabaseName(QString::fromStdString(path_));
    ASSERT_TRUE(db.open());
    QSqlQuery q(db);
    ASSERT_TRUE(q.exec(QStringLiteral("SELECT version FROM schema_version")) && q.next());
    EXPECT_EQ(q.value(0).toInt(), SchemaVersion);
    EXPECT_EQ(SchemaVersion, 5);
  }
  db = QSqlDatabase();
  QSqlDatabase::removeDatabase(QStringLiteral("version"));
}

TEST_F(LogbookStore, TwoProcessesRecordingAtOnceKeepEachTripExactlyOnce) {
  OpenLogbook(path_);  // created before the race: both children find it
  // Readings of 255 trips sliding by 100: trips 0..1154 and 500..1654.
  const auto child = [this](int offset) {
    return InChild([&] {
      try {
        auto store = OpenLogbook(path_);
        for (int start = offset; start + 255 <= offset + 1200; start += 100) {
          TripList trips;
          for (int i = start; i < start + 255; ++i) trips.push_back(Trip(1 + i / 24 % 28, i % 24, 6000 + i));
          store->Record(Reading(trips));
        }
        return 0;
      } catch (const StoreError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
      }
    });
  };
  const pid_t other = ::fork();
  if (other == 0) ::_exit(child(500));
  EXPECT_EQ(child(0), 0);
  int status = 0;
  ::waitpid(other, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  auto store = OpenLogbook(path_);
  EXPECT_EQ(store->Trips({}).size(), 1655u);
  int added = 0;
  for (const ImportRow& row : store->Imports()) added += row.added;
  EXPECT_EQ(added, 1655);
  EXPECT_EQ(store->Vehicles().at(0).trips, 1655);
}

TEST_F(LogbookStore, RefusesFilesItMustNotTouchAndLeavesThemAsTheyWere) {
  std::filesystem::create_directories(dir_ / "sub");
  const auto logbookWith = [this](int trips) {
    TripList list;
    for (int i = 0; i < trips; ++i) list.push_back(Trip(1 + i % 28, i % 24, 6000 + i));
    OpenLogbook(path_)->Record(Reading(list));
    return Bytes(path_);
  };
  struct Case {
    const char* name;
    std::function<void()> make;
    StoreError::Kind kind;
  } cases[] = {
      {"garbage",
       [&] {
         std::string bytes(8192, '\0');
         std::mt19937 random(7);
         for (char& c : bytes) c = static_cast<char>(random());
         Write(path_, bytes);
       },
       StoreError::Kind::Corrupt},
      {"a text file", [&] { Write(path_, "model\r\nА123ВС77\r\n"); }, StoreError::Kind::Corrupt},
      {"truncated",
       [&] {
         const std::string bytes = logbookWith(3000);
         Write(path_, bytes.substr(0, bytes.size() / 2));
       },
       StoreError::Kind::Corrupt},
      {"some other database", [&] { Stranger(path_).Exec("CREATE TABLE notes (text TEXT)"); },
       StoreError::Kind::Corrupt},
      {"newer",
       [&] {
         logbookWith(10);
         Stranger(path_).Exec("UPDATE schema_version SET version = 99");
       },
       StoreError::Kind::Newer},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(path_);
    c.make();
    const std::string before = Bytes(path_);
    try {
      OpenLogbook(path_);
      ADD_FAILURE() << c.name << ": opened";
    } catch (const StoreError& e) {
      EXPECT_EQ(e.kind(), c.kind) << c.name << ": " << e.what();
    }
    EXPECT_EQ(Bytes(path_), before) << c.name;
    EXPECT_EQ(SideFiles(path_), "") << c.name;
  }
}

TEST_F(LogbookStore, AReadOnlyFolderIsSaidSoAndNothingChanges) {
  OpenLogbook(path_)->Record(Reading({Trip(1, 1)}));
  const std::string before = Bytes(path_);
  // root writes anywhere: the child gives up root first.
  const bool root = ::geteuid() == 0;
  const auto folder = (dir_ / "sub").string();
  ::chmod(dir_.Path().c_str(), 0755);
  ::chmod(folder.c_str(), root ? 0755 : 0555);
  ::chmod(path_.c_str(), root ? 0644 : 0444);
  const int kind = InChild([&] {
    if (root && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return 100;
    try {
      OpenLogbook(path_);
      return 101;
    } catch (const StoreError& e) {
      return static_cast<int>(e.kind());
    }
  });
  ::chmod(folder.c_str(), 0755);
  EXPECT_EQ(kind, static_cast<int>(StoreError::Kind::ReadOnly));
  EXPECT_EQ(Bytes(path_), before);
}

TEST_F(LogbookStore, AWriterHeldUpBeyondTheBusyTimeoutIsLockedAndChangesNothing) {
  auto store = OpenLogbook(path_, std::chrono::milliseconds(200));
  store->Record(Reading({Trip(1, 1)}));
  {
    Stranger holder(path_);
    holder.Exec("BEGIN IMMEDIATE");
    try {
      store->Record(Reading({Trip(2, 1)}));
      ADD_FAILURE() << "recorded through another's lock";
    } catch (const StoreError& e) {
      EXPECT_EQ(e.kind(), StoreError::Kind::Locked) << e.what();
    }
    EXPECT_EQ(store->Trips({}), TripList{Trip(1, 1)});  // readers are never held up
    holder.Exec("ROLLBACK");
  }
  EXPECT_EQ(store->Record(Reading({Trip(2, 1)})).added, 1);  // and the store works on
}

TEST_F(LogbookStore, ADamagedFileIsRefusedBeforeAnythingIsWrittenToIt) {
  OpenLogbook(path_)->Record(Reading(Trips(3000)));
  std::string bytes = Bytes(path_);
  ASSERT_GT(bytes.size(), 40000u);
  // One page in the middle overwritten: the first pages, and so the schema, still read.
  for (std::size_t i = 0; i < 4096; ++i) bytes[8 * 4096 + i] = static_cast<char>(i * 37 + 11);
  Write(path_, bytes);
  for (const Access access : {Access::Write, Access::ReadOrWrite, Access::Read}) {
    try {
      OpenLogbook(path_, access);
      ADD_FAILURE() << "opened";
    } catch (const StoreError& e) {
      EXPECT_EQ(e.kind(), StoreError::Kind::Corrupt) << e.what();
      EXPECT_NE(std::string(e.what()).find("damaged"), std::string::npos) << e.what();
    }
    EXPECT_EQ(Bytes(path_), bytes);
    EXPECT_EQ(SideFiles(path_), "");
  }
}

TEST_F(LogbookStore, OnlyItsOwnMarkOrTheExactTablesOfAnEarlierVersionMakeALogbook) {
  std::filesystem::create_directories(dir_ / "sub");
  const auto earlier = [this](bool versionOne) {
    OpenLogbook(path_)->Record(Reading({Trip(1, 1)}));
    MakeEarlier(path_, versionOne ? 1 : 2);
  };
  struct Case {
    const char* name;
    std::function<void()> make;
    bool opens;
  } cases[] = {
      {"an earlier version 2", [&] { earlier(false); }, true},
      {"an earlier version 1", [&] { earlier(true); }, true},
      {"one more table",
       [&] {
         earlier(false);
         Stranger(path_).Exec("CREATE TABLE notes (text TEXT)");
       },
       false},
      {"a column more",
       [&] {
         earlier(false);
         Stranger(path_).Exec("ALTER TABLE vehicles ADD COLUMN colour TEXT");
       },
       false},
      {"another program's with the same tables",
       [&] {
         earlier(false);
         Stranger(path_).Exec("PRAGMA application_id = 1234");
       },
       false},
      {"a schema_version table and nothing else of ours",
       [&] {
         Stranger s(path_);
         s.Exec("CREATE TABLE schema_version (version INTEGER NOT NULL)");
         s.Exec("INSERT INTO schema_version VALUES (1)");
         s.Exec("CREATE TABLE people (name TEXT)");
       },
       false},
  };
  for (const Case& c : cases) {
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path_ + suffix);
    c.make();
    const std::string before = Bytes(path_);
    try {
      auto store = OpenLogbook(path_);
      EXPECT_TRUE(c.opens) << c.name << ": opened";
      EXPECT_EQ(store->Trips({}), TripList{Trip(1, 1)}) << c.name;
      store->Record(Reading({Trip(2, 1)}));
      store.reset();
      Stranger s(path_);
      EXPECT_EQ(s.Integer("PRAGMA application_id"), LogbookApplicationId) << c.name;
      EXPECT_EQ(s.Integer("SELECT version FROM schema_version"), SchemaVersion) << c.name;
    } catch (const StoreError& e) {
      EXPECT_FALSE(c.opens) << c.name << ": " << e.what();
      EXPECT_EQ(e.kind(), StoreError::Kind::Corrupt) << c.name << ": " << e.what();
      EXPECT_EQ(Bytes(path_), before) << c.name;
      EXPECT_EQ(SideFiles(path_), "") << c.name;
    }
  }
}

TEST_F(LogbookStore, AKillWhileTheFileIsMadeLeavesNoneOrAWholeOne) {
  std::filesystem::create_directories(dir_ / "sub");
  for (int delay = 0; delay < 40; delay += 2) {
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) std::filesystem::remove(path_ + suffix);
    const pid_t pid = ::fork();
    if (pid == 0) {
      try {
        OpenLogbook(path_);
      } catch (const StoreError&) {
      }
      ::_exit(0);
    }
    std::this_thread::sleep_for(std::chrono::microseconds(delay * 250));
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    try {
      auto store = OpenLogbook(path_);
      EXPECT_EQ(store->Record(Reading({Trip(1, 1)})).added, 1) << delay;
    } catch (const StoreError& e) {
      ADD_FAILURE() << "after a kill at " << delay * 250 << " us: " << e.what();
    }
  }
  // What the killed ones left half made goes once it is old; one just begun
  // may be another program's at work.
  const auto leftovers = [this] {
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir_ / "sub"))
      n += entry.path().filename().string().starts_with(".logbook.sqlite.new-");
    return n;
  };
  for (const auto& entry : std::filesystem::directory_iterator(dir_ / "sub"))
    std::filesystem::last_write_time(entry.path(),
                                     std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
  std::ofstream(dir_ / "sub/.logbook.sqlite.new-0123456789ab", std::ios::binary) << "half made";
  std::filesystem::remove(path_);
  OpenLogbook(path_);
  EXPECT_EQ(leftovers(), 1);
  EXPECT_TRUE(std::filesystem::exists(dir_ / "sub/.logbook.sqlite.new-0123456789ab"));
}

TEST_F(LogbookStore, AChangeCutOffInTheMiddleIsRolledBackAsSqliteWould) {
  OpenLogbook(path_)->Record(Reading({Trip(1, 1)}));
  // Another program, in the rollback journal's mode, is killed in the middle of a
  // change big enough to reach the file: a hot journal stays.
  InChild([this] {
    Stranger s(path_);
    s.Exec("PRAGMA journal_mode = DELETE");
    s.Exec("PRAGMA cache_size = 1");
    s.Exec("BEGIN");
    s.Exec("CREATE TABLE filler (text TEXT)");
    s.Exec(
        "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
        "INSERT INTO filler SELECT hex(randomblob(100)) FROM n");
    ::raise(SIGKILL);
    return 0;
  });
  ASSERT_EQ(SideFiles(path_), "-journal");
  auto store = OpenLogbook(path_);
  EXPECT_EQ(store->Trips({}), TripList{Trip(1, 1)});
  EXPECT_EQ(store->Record(Reading({Trip(2, 1)})).added, 1);
}

TEST_F(LogbookStore, EveryCommitIsInTheMainFileAndACopyIsConsistent) {
  auto store = OpenLogbook(path_);  // open throughout, as the window keeps it
  store->Record(Reading(Trips(500)));
  EXPECT_EQ(std::filesystem::file_size(path_ + "-wal"), 0u);
  // "The file" alone, as a user would move it.
  const std::string moved = (dir_ / "moved.sqlite").string();
  Write(moved, Bytes(path_));
  EXPECT_EQ(OpenLogbook(moved, Access::Read)->Trips({}).size(), 500u);

  const std::string copy = (dir_ / "copy.sqlite").string();
  Write(copy, "an older copy");
  BackUpLogbook(path_, copy);
  EXPECT_EQ(SideFiles(copy), "");
  EXPECT_EQ(OpenLogbook(copy, Access::Read)->Trips({}), store->Trips({}));
  try {
    BackUpLogbook(path_, (dir_ / "no such folder/copy.sqlite").string());
    ADD_FAILURE() << "copied";
  } catch (const StoreError& e) {
    EXPECT_EQ(e.path(), (dir_ / "no such folder/copy.sqlite").string());
  }
  EXPECT_FALSE(std::filesystem::exists(dir_ / "no such folder"));
}

TEST_F(LogbookStore, AReadOnlyLogbookIsReadAndOnlyRecordingFails) {
  OpenLogbook(path_)->Record(Reading({Trip(1, 1)}));
  const std::string before = Bytes(path_);
  const bool root = ::geteuid() == 0;
  const auto folder = (dir_ / "sub").string();
  ::chmod(dir_.Path().c_str(), 0755);
  ::chmod(folder.c_str(), 0555);
  ::chmod(path_.c_str(), 0444);
  const int result = InChild([&] {
    if (root && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return 100;
    try {
      for (const Access access : {Access::Read, Access::ReadOrWrite}) {
        auto store = OpenLogbook(path_, access);
        if (store->Trips({}) != TripList{Trip(1, 1)} || store->Vehicles().size() != 1) return 101;
        try {
          store->Record(Reading({Trip(2, 1)}));
          return 102;
        } catch (const StoreError& e) {
          if (e.kind() != StoreError::Kind::ReadOnly) return 103;
        }
      }
      // A mistyped folder is not made for a listing.
      try {
        OpenLogbook((dir_ / "typo/logbook.sqlite").string(), Access::Read);
        return 104;
      } catch (const StoreError& e) {
        if (e.kind() != StoreError::Kind::CannotOpen) return 105;
      }
      return 0;
    } catch (const StoreError& e) {
      std::fprintf(stderr, "%s\n", e.what());
      return 106;
    }
  });
  ::chmod(folder.c_str(), 0755);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(Bytes(path_), before);
  EXPECT_EQ(SideFiles(path_), "");
}

TEST_F(LogbookStore, AFullDiskIsSaidToBeFullAndLosesNothing) {
  const auto small = dir_ / "small";
  std::filesystem::create_directories(small);
  if (::mount("tmpfs", small.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=384k") != 0)
    GTEST_SKIP() << "no small disk of its own here (mounting needs root): " << std::strerror(errno);
  struct Unmount {
    std::string path;
    ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
  } unmount{small.string()};
  const std::string path = (small / "logbook.sqlite").string();
  const auto fill = [&] {
    std::ofstream filler(small / "filler", std::ios::binary | std::ios::app);
    const std::string block(1024, 'x');
    while (filler.write(block.data(), static_cast<std::streamsize>(block.size())) && filler.flush()) {
    }
  };
  auto store = OpenLogbook(path);
  store->Record(Reading(Trips(50)));
  fill();
  // Recording: the log cannot grow.
  try {
    for (int salt = 1;; ++salt) store->Record(Reading(Trips(2000, salt * 2000)));
  } catch (const StoreError& e) {
    EXPECT_EQ(e.kind(), StoreError::Kind::Full) << e.what();
  }
  // Opening: SQLite's shared memory cannot be made ("disk I/O error" on its own).
  store.reset();
  fill();
  try {
    OpenLogbook(path)->Record(Reading(Trips(2000, 1)));
    ADD_FAILURE() << "recorded on a full disk";
  } catch (const StoreError& e) {
    EXPECT_EQ(e.kind(), StoreError::Kind::Full) << e.what();
    std::fprintf(stderr, "full: %s\n", e.what());
  }
  std::filesystem::remove(small / "filler");
  store = OpenLogbook(path);
  EXPECT_EQ(store->Trips({}).size(), 50u);
  EXPECT_EQ(store->Record(Reading({Trip(30, 1)})).added, 1);
}

TEST(LogbookLocation, CommandLineThenEnvironmentThenSavedThenDefault) {
  riventar::testing::TempDir dir;
  QSettings settings(QString::fromStdString((dir / "riventar.conf").string()), QSettings::IniFormat);
  qunsetenv(LocationVariable);
  EXPECT_EQ(LogbookLocation(std::nullopt, settings), DefaultLogbookLocation());
  EXPECT_TRUE(DefaultLogbookLocation().ends_with("/riventar/logbook.sqlite"));
  SaveLogbookLocation("/saved.sqlite", settings);
  EXPECT_EQ(LogbookLocation(std::nullopt, settings), "/saved.sqlite");
  qputenv(LocationVariable, "/env.sqlite");
  EXPECT_EQ(LogbookLocation(std::nullopt, settings), "/env.sqlite");
  EXPECT_EQ(LogbookLocation("/cli.sqlite", settings), "/cli.sqlite");
  qunsetenv(LocationVariable);
  SaveLogbookLocation("", settings);
  EXPECT_EQ(LogbookLocation(std::nullopt, settings), DefaultLogbookLocation());
  // Relative, it would be another file in every folder.
  qputenv(LocationVariable, "logbook.sqlite");
  EXPECT_THROW(LogbookLocation(std::nullopt, settings), StoreError);
  qputenv(LocationVariable, "postgresql://fleet.example/logbook");
  EXPECT_EQ(LogbookLocation(std::nullopt, settings), "postgresql://fleet.example/logbook");
  qunsetenv(LocationVariable);
}

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);  // Qt SQL loads its driver as a plugin
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
