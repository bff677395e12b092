// The logbook at a million trips (100 vehicles of 10,000), in a real file on
// this machine's disk, every recording synced:
//   - the file's size a trip (goal: at most 128 bytes);
//   - what the window does when it opens: OpenLogbook (with SQLite's
//     quick_check of every page), Vehicles(), Imports() (goal: under 200 ms);
//   - quick_check alone (goal: under 150 ms);
//   - one vehicle's trips in date order, 10,000 and 100,000 (goal: < 150 ms);
//   - recording one reading of 255 trips, checkpointed into the main file
//     (goal: under 50 ms), and the same 255 rows committed by plain SQL in
//     the three ways a commit could reach the file: the write-ahead log
//     alone, the log checkpointed at once, a rollback journal;
//   - bringing in 100 files of 1,000 trips (goal: under 2 s).
// Prints one line per figure: "name: value".
#include <sys/resource.h>

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "adapters/logbook/sqlite_store.h"
#include "bench/timing.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace riventar;
using namespace riventar::bench;

// Trip `n` of a vehicle: five a day from 1 January 2000 (months of 28 days
// keep the dates simple), all different by their distance and `salt`.
trips::TripRecord Trip(int vehicle, int n, int salt = 0) {
  trips::TripRecord r;
  const int day = n / 5;
  r.Year = static_cast<std::uint8_t>(day / 336);
  r.Month = static_cast<std::uint8_t>(day / 28 % 12);
  r.Day = static_cast<std::uint8_t>(1 + day % 28);
  r.Weekday = static_cast<std::uint8_t>(day % 7);
  r.Hour = static_cast<std::uint8_t>(7 + n % 5 * 3);
  r.Minute = static_cast<std::uint8_t>(vehicle % 60);
  r.TripTime = 1200 + static_cast<std::uint32_t>(n % 3000);
  r.MovingTime = 900 + static_cast<std::uint32_t>(salt);
  r.Distance = 30000 + static_cast<std::uint32_t>(vehicle * 7 + n % 5000);
  r.Fuel = 40000 + static_cast<std::uint32_t>(n % 7000);
  trips::Derive(r);
  return r;
}

logbook::Recording Recording(int vehicle, int first, int count, logbook::Origin origin, int salt = 0) {
  logbook::Recording r{origin,
                       origin == logbook::Origin::Device ? "/dev/ttyUSB0" : "/home/user/trips.dat",
                       "2024-03-01 10:00:00",
                       {"ВАЗ-2110", "А" + std::to_string(100 + vehicle) + "ВС77", "Иванов"},
                       {}};
  for (int n = first; n < first + count; ++n) r.trips.push_back(Trip(vehicle, n, salt));
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  testing::TempDir dir("riventar-logbook-bench");
  const std::string path = (dir / "logbook.sqlite").string();
  constexpr int Vehicles = 100, PerVehicle = 10000, PerRecording = 1000;

  // Recorded as the readings would come: vehicle after vehicle, so that the
  // trips arrive out of date order across the file.
  const double fill = Time([&] {
    auto store = logbook::OpenLogbook(path);
    for (int first = 0; first < PerVehicle; first += PerRecording)
      for (int v = 0; v < Vehicles; ++v) store->Record(Recording(v, first, PerRecording, logbook::Origin::File));
  });
  const auto bytes = std::filesystem::file_size(path);
  std::printf("fill 1,000,000 trips, 1,000 recordings of 1,000: %.1f s\n", fill / 1000);
  std::printf("file size a trip: %.1f bytes (%.1f MB)\n", double(bytes) / (Vehicles * PerVehicle), double(bytes) / 1e6);

  std::size_t listed = 0;
  const double open = MedianOf(11, [&] {
    auto store = logbook::OpenLogbook(path);
    listed = store->Vehicles().size() + store->Imports().size();
  });
  std::printf("open, Vehicles() and Imports(): median %.1f ms (%zu rows)\n", open, listed);

  auto store = logbook::OpenLogbook(path);
  const std::string plate = logbook::PlateKey("А150ВС77");
  std::size_t got = 0;
  const double tenThousand = MedianOf(11, [&] { got = store->Trips({plate, {}, {}}).size(); });
  std::printf("one vehicle's %zu trips in date order: median %.1f ms\n", got, tenThousand);
  const double months = MedianOf(11, [&] { got = store->Months(plate).size(); });
  std::printf("one vehicle's %zu months: median %.1f ms\n", got, months);

  std::vector<double> newReadings, heldReadings;
  for (int i = 0; i < 20; ++i) {
    newReadings.push_back(Time([&] { store->Record(Recording(7, PerVehicle + i * 255, 255, {})); }));
    heldReadings.push_back(Time([&] { store->Record(Recording(7, PerVehicle + i * 255, 255, {})); }));
  }
  std::printf("record a reading of 255 new trips: median %.1f ms, worst %.1f ms\n", Median(newReadings),
              *std::max_element(newReadings.begin(), newReadings.end()));
  std::printf("record a reading of 255 held trips: median %.1f ms, worst %.1f ms\n", Median(heldReadings),
              *std::max_element(heldReadings.begin(), heldReadings.end()));

  // A new vehicle's 100,000 trips from 100 files.
  const double import = Time([&] {
    for (int f = 0; f < 100; ++f) store->Record(Recording(Vehicles, f * 1000, 1000, logbook::Origin::File, 1));
  });
  std::printf("bring in 100 files of 1,000 trips: %.2f s\n", import / 1000);
  const std::string big = logbook::PlateKey("А" + std::to_string(100 + Vehicles) + "ВС77");
  const double hundredThousand = MedianOf(7, [&] { got = store->Trips({big, {}, {}}).size(); });
  std::printf("one vehicle's %zu trips in date order: median %.1f ms\n", got, hundredThousand);

  store.reset();
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
    db.setDatabaseName(QString::fromStdString(path));
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    db.open();
    QString verdict;
    const double check = MedianOf(5, [&] {
      QSqlQuery q(db);
      q.exec(QStringLiteral("PRAGMA quick_check(1)"));
      q.next();
      verdict = q.value(0).toString();
    });
    std::printf("quick_check of the whole file: median %.1f ms (%s)\n", check, qPrintable(verdict));
    db.close();
  }
  QSqlDatabase::removeDatabase(QStringLiteral("raw"));

  // 255 rows, one transaction, synced, under each way of reaching the file.
  for (const char* way : {"wal", "wal+checkpoint", "delete"}) {
    const std::string copy = (dir / (std::string("commit-") + way + ".sqlite")).string();
    std::filesystem::copy_file(path, copy);
    std::vector<double> times;
    {
      QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("way"));
      db.setDatabaseName(QString::fromStdString(copy));
      db.open();
      QSqlQuery q(db);
      q.exec(QStringLiteral("PRAGMA journal_mode = ") + (std::string(way) == "delete" ? "DELETE" : "WAL"));
      q.exec(QStringLiteral("PRAGMA synchronous = FULL"));
      for (int i = 0; i < 20; ++i) {
        times.push_back(Time([&] {
          q.exec(QStringLiteral("BEGIN IMMEDIATE"));
          QSqlQuery insert(db);
          insert.prepare(QStringLiteral("INSERT INTO trips VALUES (?, 1, 2, 3, 4, 1, 1)"));
          for (int n = 0; n < 255; ++n) {
            insert.bindValue(0, QVariant::fromValue<qint64>((std::int64_t{1} << 40) + i * 1000 + n));
            insert.exec();
          }
          q.exec(QStringLiteral("COMMIT"));
          if (std::string(way) == "wal+checkpoint") q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        }));
      }
      db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("way"));
    std::printf("commit 255 rows, %s: median %.1f ms, worst %.1f ms\n", way, Median(times),
                *std::max_element(times.begin(), times.end()));
  }

  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  std::printf("peak memory (resident): %.1f MB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
  return 0;
}
