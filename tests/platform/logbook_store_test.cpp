#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>

#include "core/logbook/stamp.h"
#include "core/trips/dat_file.h"
#include "platform/logbook/location.h"
#include "platform/logbook/sqlite_store.h"
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
  ~Stranger() { QSqlDatabase::removeDatabase(QStringLiteral("stranger")); }
  void Exec(const char* sql) {
    QSqlQuery q(QSqlDatabase::database(QStringLiteral("stranger")));
    EXPECT_TRUE(q.exec(QString::fromLatin1(sql))) << sql;
  }
};

class LogbookStore : public ::testing::Test {
 protected:
  riventar::testing::TempDir dir_{"riventar-logbook"};
  std::string path_ = (dir_ / "sub/logbook.sqlite").string();
};

}  // namespace

TEST_F(LogbookStore, KeepsEveryTripOnceAndSaysWhichWereNew) {
  auto store = OpenLogbook(path_);
  const Recorded first = store->Record(Reading({Trip(2, 9), Trip(1, 8)}));
  EXPECT_EQ(first.read, 2);
  EXPECT_EQ(first.added, 2);
  const Recorded second = store->Record(Reading({Trip(2, 9), Trip(3, 7), Trip(3, 7)}));
  EXPECT_EQ(second.read, 3);
  EXPECT_EQ(second.added, 1);
  EXPECT_EQ(second.wasNew, (std::vector<bool>{false, true, false}));

  store.reset();  // durable: a new connection sees it all
  store = OpenLogbook(path_);
  EXPECT_EQ(store->Trips({}), (TripList{Trip(1, 8), Trip(2, 9), Trip(3, 7)}));
  EXPECT_EQ(store->Trips({"a123bc 77", "2024-01-02", "2024-01-02"}), (TripList{Trip(2, 9)}));
  EXPECT_EQ(store->Trips({"В999ВВ", {}, {}}), TripList{});
  const auto imports = store->Imports();
  ASSERT_EQ(imports.size(), 2u);
  EXPECT_EQ(imports[1].origin, Origin::Device);
  EXPECT_EQ(imports[1].source, "/dev/ttyUSB0");
  EXPECT_EQ(imports[1].at, "2024-03-01 10:00:00");
  EXPECT_EQ(imports[1].read, 3);
  EXPECT_EQ(imports[1].added, 1);
}

TEST_F(LogbookStore, VehiclesByPlateWithTotalsAndTheLastSavedTexts) {
  auto store = OpenLogbook(path_);
  store->Record(Reading({Trip(5, 8, 6000), Trip(40, 8, 12000)}, "a123bc 77"));
  store->Record(Reading({Trip(7, 8, 6000)}, "А123ВС77"));  // the same car: its first texts stay
  store->Record(Reading({Trip(9, 8, 6000)}, ""));
  // Saved under another car: the held trip moves there with its totals.
  const Recorded saved = store->RecordSaved(
      {Origin::Saved, "/home/u/b.dat", "2024-03-02 11:00:00", {"Нива", "В777ОР", "Петров"}, {Trip(5, 8, 6000)}});
  EXPECT_EQ(saved.added, 0);

  const auto vehicles = store->Vehicles();
  ASSERT_EQ(vehicles.size(), 3u);
  EXPECT_EQ(vehicles[0].plateKey, "");
  EXPECT_EQ(vehicles[0].trips, 1);
  EXPECT_EQ(vehicles[1].plateKey, "А123ВС77");
  EXPECT_EQ(vehicles[1].texts.RegId, "a123bc 77");
  EXPECT_EQ(vehicles[1].trips, 2);
  EXPECT_EQ(vehicles[1].firstDate, "2024-01-07");
  EXPECT_EQ(vehicles[1].lastDate, "2024-02-09");
  EXPECT_EQ(vehicles[1].distance, 18000u);
  EXPECT_EQ(vehicles[2].texts, (riventar::trips::VehicleInfo{"Нива", "В777ОР", "Петров"}));
  EXPECT_EQ(vehicles[2].trips, 1);
  EXPECT_EQ(vehicles[2].firstDate, "2024-01-05");
  EXPECT_EQ(store->Imports().size(), 3u);  // nothing new saved: no import

  // Saving again with new texts renames the car; a later reading does not.
  store->RecordSaved({Origin::Saved, "/home/u/b.dat", "", {"Нива 4x4", "в777ор", ""}, {Trip(6, 8)}});
  store->Record(Reading({Trip(8, 8)}, "B777OP"));
  EXPECT_EQ(store->Vehicles()[2].texts.Model, "Нива 4x4");
  EXPECT_EQ(store->Vehicles()[2].trips, 3);

  const auto months = store->Months("А123ВС77");
  ASSERT_EQ(months.size(), 2u);
  EXPECT_EQ(months[0].year, 2024);
  EXPECT_EQ(months[0].month, 1);
  EXPECT_EQ(months[0].distance, 6000u);
  EXPECT_EQ(months[1].month, 2);
  EXPECT_EQ(months[1].fuel, 16000u);
}

TEST_F(LogbookStore, RemembersWhatEachDeviceHeldAtItsLastReading) {
  auto store = OpenLogbook(path_);
  store->Record(Reading({Trip(3, 1), Trip(1, 1), Trip(2, 1)}));
  store->Record(Reading({Trip(9, 1)}, "", Origin::Device, "/dev/ttyS0"));
  store->Record(Reading({Trip(8, 1)}, "", Origin::File, "/dev/ttyUSB0"));
  EXPECT_EQ(store->DeviceMemory("/dev/ttyUSB0"), (TripList{Trip(3, 1), Trip(1, 1), Trip(2, 1)}));
  store->Record(Reading({Trip(1, 1)}));  // the counter was reset
  EXPECT_EQ(store->DeviceMemory("/dev/ttyUSB0"), TripList{Trip(1, 1)});
  EXPECT_EQ(store->DeviceMemory("/dev/ttyS0"), TripList{Trip(9, 1)});
  EXPECT_EQ(store->DeviceMemory("/dev/ttyS1"), TripList{});
}

std::vector<std::vector<std::string>> Lines(const std::vector<TripList>& memories) {
  std::vector<std::vector<std::string>> out;
  for (const TripList& m : memories) {
    auto& lines = out.emplace_back();
    for (const TripRecord& r : m) lines.push_back(riventar::trips::TripLine(r));
  }
  return out;
}

TEST_F(LogbookStore, RemembersSeveralDevicesPerPathEachRecordByItsIndex) {
  auto store = OpenLogbook(path_);
  TripRecord rejected = Trip(4, 1);
  rejected.TripTime = 0;
  Recording car = Reading({Trip(3, 1), Trip(5, 1)});
  car.records = {Trip(3, 1), rejected, Trip(5, 1)};
  store->Record(car);
  store->Record(Reading({Trip(9, 1)}, "В777ОР"));  // another car through the same adapter
  EXPECT_EQ(Lines(store->DeviceMemories("/dev/ttyUSB0")), Lines({{Trip(9, 1)}, car.records}));
  // The first car again, one trip more: known by its record 0, remembered in place of what it was.
  car.records.push_back(Trip(6, 1));
  car.trips.push_back(Trip(6, 1));
  EXPECT_EQ(store->Record(car).added, 1);
  EXPECT_EQ(Lines(store->DeviceMemories("/dev/ttyUSB0")), Lines({car.records, {Trip(9, 1)}}));
  EXPECT_EQ(Lines({store->DeviceMemory("/dev/ttyUSB0")}), Lines({car.records}));
  // A device that holds nothing is no device to know again.
  store->Record(Reading({}));
  EXPECT_EQ(store->DeviceMemories("/dev/ttyUSB0").size(), 2u);
  // A path keeps the devices read last.
  for (int day = 10; day < 10 + DevicesPerPath; ++day) store->Record(Reading({Trip(day, 2)}));
  const auto memories = store->DeviceMemories("/dev/ttyUSB0");
  ASSERT_EQ(memories.size(), static_cast<std::size_t>(DevicesPerPath));
  EXPECT_EQ(Lines({memories.front()}), Lines({{Trip(10 + DevicesPerPath - 1, 2)}}));
  EXPECT_EQ(Lines({memories.back()}), Lines({{Trip(10, 2)}}));
  EXPECT_TRUE(store->DeviceMemories("/dev/ttyS0").empty());
}

TEST_F(LogbookStore, ALogbookOfVersionTwoKeepsWhatEachDeviceHeld) {
  {
    // Version 2's tables as that program made them.
    std::filesystem::create_directories(dir_ / "sub");
    Stranger old(path_);
    for (const char* sql : {
             "CREATE TABLE schema_version (version INTEGER NOT NULL)",
             "INSERT INTO schema_version (version) VALUES (2)",
             "CREATE TABLE vehicles (id INTEGER PRIMARY KEY, plate_key TEXT NOT NULL UNIQUE, model TEXT NOT NULL,"
             " reg_id TEXT NOT NULL, owner TEXT NOT NULL, trips BIGINT NOT NULL, first_stamp BIGINT,"
             " last_stamp BIGINT, distance BIGINT NOT NULL)",
             "CREATE TABLE imports (id INTEGER PRIMARY KEY, origin INTEGER NOT NULL, at TEXT NOT NULL,"
             " source TEXT NOT NULL, read_count INTEGER NOT NULL, added INTEGER NOT NULL)",
             "CREATE TABLE trips (stamp BIGINT NOT NULL, trip_time BIGINT NOT NULL, moving_time BIGINT NOT NULL,"
             " distance BIGINT NOT NULL, fuel BIGINT NOT NULL, vehicle INTEGER NOT NULL REFERENCES vehicles (id),"
             " first_import INTEGER NOT NULL REFERENCES imports (id),"
             " PRIMARY KEY (stamp, trip_time, moving_time, distance, fuel)) WITHOUT ROWID",
             "CREATE INDEX trips_by_vehicle ON trips (vehicle, stamp)",
             "CREATE TABLE device_memory (device TEXT NOT NULL, slot INTEGER NOT NULL, stamp BIGINT NOT NULL,"
             " trip_time BIGINT NOT NULL, moving_time BIGINT NOT NULL, distance BIGINT NOT NULL, fuel BIGINT NOT NULL,"
             " PRIMARY KEY (device, slot))",
             "CREATE TABLE outbox (id INTEGER PRIMARY KEY, recording TEXT NOT NULL UNIQUE, saved INTEGER NOT NULL,"
             " origin INTEGER NOT NULL, source TEXT NOT NULL, at TEXT NOT NULL, plate_key TEXT NOT NULL,"
             " model TEXT NOT NULL, reg_id TEXT NOT NULL, owner TEXT NOT NULL)",
             "CREATE TABLE outbox_trips (entry INTEGER NOT NULL REFERENCES outbox (id) ON DELETE CASCADE,"
             " slot INTEGER NOT NULL, stamp BIGINT NOT NULL, trip_time BIGINT NOT NULL, moving_time BIGINT NOT NULL,"
             " distance BIGINT NOT NULL, fuel BIGINT NOT NULL, fresh INTEGER NOT NULL,"
             " PRIMARY KEY (entry, slot)) WITHOUT ROWID",
         })
      old.Exec(sql);
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
    EXPECT_EQ(SchemaVersion, 4);
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
}

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);  // Qt SQL loads its driver as a plugin
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
