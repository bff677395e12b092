#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSettings>
#include <string>

#include "platform/logbook/location.h"
#include "platform/logbook/sqlite_store.h"
#include "tests/support/temp_dir.h"

using namespace riventar::logbook;
using riventar::trips::TripList;
using riventar::trips::TripRecord;

namespace {

TripRecord Trip(int day, int hour, std::uint32_t distance = 60000) {
  TripRecord r;
  r.Year = 24;
  r.Month = static_cast<std::uint8_t>(day > 31 ? 1 : 0);
  r.Day = static_cast<std::uint8_t>(day > 31 ? day - 31 : day);
  r.Hour = static_cast<std::uint8_t>(hour);
  r.Minute = 5;
  r.TripTime = 600;
  r.MovingTime = 500;
  r.Distance = distance;
  r.Fuel = 16000;
  riventar::trips::Derive(r);
  return r;
}

Recording Reading(const TripList& trips, const std::string& plate = "А123ВС77", Origin origin = Origin::Device,
                  const std::string& source = "/dev/ttyUSB0") {
  return {origin, source, "2024-03-01 10:00:00", {"ВАЗ-2110", plate, "Иванов"}, trips};
}

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
