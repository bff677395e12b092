// What every logbook answers alike, whichever it is: a file of its own, a
// fleet's server (the suite's own PostgreSQL), or the fleet's logbook as a
// computer sees it (its file first, then that server). What only one of them
// does (a file's integrity, the server's roles, TLS and locks, the outbox
// when the server is away) is tested beside it.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "adapters/logbook/fleet_store.h"
#include "adapters/logbook/pg_store.h"
#include "adapters/logbook/sqlite_store.h"
#include "core/trips/dat_file.h"
#include "tests/support/logbook_trips.h"
#include "tests/support/pg_server.h"
#include "tests/support/temp_dir.h"

using namespace riventar::logbook;
using riventar::testing::PgServer;
using riventar::testing::Reading;
using riventar::testing::Trip;
using riventar::trips::TripList;
using riventar::trips::TripRecord;

namespace {

enum class Kind { File, Server, Shared };

std::string NameOf(const ::testing::TestParamInfo<Kind>& info) {
  switch (info.param) {
    case Kind::File:
      return "File";
    case Kind::Server:
      return "Server";
    case Kind::Shared:
      return "Shared";
  }
  return "Unknown";
}

class LogbookContract : public ::testing::TestWithParam<Kind> {
 protected:
  void SetUp() override {
    if (GetParam() == Kind::File) return;
    static std::atomic<int> count{0};
    uri_ = PgServer::Shared().CreateDatabase("contract" + std::to_string(++count));
  }

  // The logbook under test, opened anew: what an earlier one committed is there.
  std::unique_ptr<Store> Open() {
    switch (GetParam()) {
      case Kind::File:
        return OpenLogbook(dir_ / "sub/logbook.sqlite");
      case Kind::Server:
        return OpenServerLogbook(uri_);
      case Kind::Shared:
        return OpenSharedLogbook(OpenQueuingLogbook(dir_ / "local.sqlite", DefaultBusyTimeout, ServerQueueKey(uri_)),
                                 "the test's server", [this] { return OpenServerLogbook(uri_); },
                                 {[](const std::string& line) { ADD_FAILURE() << "the server failed: " << line; }});
    }
    return nullptr;
  }
  // The server keeps no device's memory: a device is one computer's.
  bool KeepsDevices() const { return GetParam() != Kind::Server; }

  riventar::testing::TempDir dir_{"riventar-contract"};
  std::string uri_;
};

std::vector<std::vector<std::string>> Lines(const std::vector<TripList>& memories) {
  std::vector<std::vector<std::string>> out;
  for (const TripList& m : memories) {
    auto& lines = out.emplace_back();
    for (const TripRecord& r : m) lines.push_back(riventar::trips::TripLine(r));
  }
  return out;
}

}  // namespace

TEST_P(LogbookContract, KeepsEveryTripOnceAndSaysWhichWereNew) {
  auto store = Open();
  const Recorded first = store->Record(Reading({Trip(2, 9), Trip(1, 8)}));
  EXPECT_EQ(first.read, 2);
  EXPECT_EQ(first.added, 2);
  EXPECT_EQ(first.wasNew, (std::vector<bool>{true, true}));
  const Recorded second = store->Record(Reading({Trip(2, 9), Trip(3, 7), Trip(3, 7)}));
  EXPECT_EQ(second.read, 3);
  EXPECT_EQ(second.added, 1);
  EXPECT_EQ(second.wasNew, (std::vector<bool>{false, true, false}));

  store.reset();  // durable: a new connection sees it all
  store = Open();
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

TEST_P(LogbookContract, VehiclesByPlateWithTotalsAndTheirFirstTexts) {
  auto store = Open();
  store->Record(Reading({Trip(5, 8, 6000), Trip(40, 8, 12000)}, "a123bc 77"));
  store->Record(Reading({Trip(7, 8, 6000)}, "А123ВС77"));  // the same car: its first texts stay
  store->Record(Reading({Trip(9, 8, 6000)}, ""));
  // Saved under a car not known yet: it is made with the file's texts.
  const Recorded saved = store->RecordSaved(
      {Origin::Saved, "/home/u/b.dat", "2024-03-02 11:00:00", {"Нива", "В777ОР", "Петров"}, {Trip(4, 8, 6000)}});
  EXPECT_EQ(saved.added, 1);

  const auto vehicles = store->Vehicles();
  ASSERT_EQ(vehicles.size(), 3u);
  EXPECT_EQ(vehicles[0].plateKey, "");
  EXPECT_EQ(vehicles[0].trips, 1);
  EXPECT_EQ(vehicles[1].plateKey, "А123ВС77");
  EXPECT_EQ(vehicles[1].texts.RegId, "a123bc 77");
  EXPECT_EQ(vehicles[1].trips, 3);
  EXPECT_EQ(vehicles[1].firstDate, "2024-01-05");
  EXPECT_EQ(vehicles[1].lastDate, "2024-02-09");
  EXPECT_EQ(vehicles[1].distance, 24000u);
  EXPECT_EQ(vehicles[2].texts, (riventar::trips::VehicleInfo{"Нива", "В777ОР", "Петров"}));
  EXPECT_EQ(vehicles[2].trips, 1);
  EXPECT_EQ(vehicles[2].firstDate, "2024-01-04");
  EXPECT_EQ(store->Imports().size(), 4u);

  // A later reading does not rename the car either.
  store->Record(Reading({Trip(8, 8)}, "B777OP"));
  EXPECT_EQ(store->Vehicles()[2].texts.Model, "Нива");
  EXPECT_EQ(store->Vehicles()[2].trips, 2);

  const auto months = store->Months("А123ВС77");
  ASSERT_EQ(months.size(), 2u);
  EXPECT_EQ(months[0].year, 2024);
  EXPECT_EQ(months[0].month, 1);
  EXPECT_EQ(months[0].distance, 12000u);
  EXPECT_EQ(months[1].month, 2);
  EXPECT_EQ(months[1].fuel, 16000u);
}

// Saving writes a file: the logbook's vehicles change only by a correction.
TEST_P(LogbookContract, SavingNeverMovesAHeldTripNorRenamesAKnownCar) {
  auto store = Open();
  store->Record(Reading({Trip(5, 8, 6000), Trip(40, 8, 12000)}, "a123bc 77"));
  store->Record(Reading({Trip(9, 8, 6000)}, ""));
  store->Record(Reading({Trip(6, 8, 6000)}, "В777ОР"));
  const Recorded saved = store->RecordSaved({Origin::Saved,
                                             "/home/u/b.dat",
                                             "2024-03-02 11:00:00",
                                             {"Нива 4x4", "в777ор", "Петров"},
                                             {Trip(5, 8, 6000), Trip(9, 8, 6000), Trip(10, 8, 6000)}});
  EXPECT_EQ(saved.added, 1);
  EXPECT_EQ(saved.wasNew, (std::vector<bool>{false, false, true}));

  const auto vehicles = store->Vehicles();
  ASSERT_EQ(vehicles.size(), 3u);
  EXPECT_EQ(vehicles[0].trips, 1);  // unassigned stays so: a saving names no car
  EXPECT_EQ(vehicles[1].trips, 2);
  EXPECT_EQ(vehicles[1].distance, 18000u);
  EXPECT_EQ(vehicles[2].texts, (riventar::trips::VehicleInfo{"ВАЗ-2110", "В777ОР", "Иванов"}));
  EXPECT_EQ(vehicles[2].trips, 2);
  EXPECT_EQ(vehicles[2].lastDate, "2024-01-10");
  // Nothing new saved: no import.
  store->RecordSaved({Origin::Saved, "/home/u/b.dat", "", {"", "В777ОР", ""}, {Trip(5, 8, 6000)}});
  EXPECT_EQ(store->Imports().size(), 4u);
  EXPECT_EQ(store->VehicleOf(Trip(5, 8, 6000)), "А123ВС77");
  // Nor a vehicle: a car named only by a saving that filed nothing is not made.
  store->RecordSaved({Origin::Saved, "/home/u/c.dat", "", {"", "Х001ХХ", ""}, {Trip(5, 8, 6000)}});
  EXPECT_EQ(store->Vehicles().size(), 3u);
}

TEST_P(LogbookContract, SumsEachVehiclesTripsWithinThePeriodExactly) {
  auto store = Open();
  store->Record(Reading({Trip(5, 8, 6000), Trip(40, 8, 12000), Trip(41, 8, 4294967295u)}, "А123ВС77"));
  store->Record(Reading({Trip(6, 8, 6000)}, "В777ОР"));
  store->Record(Reading({Trip(7, 8, 6000)}, ""));

  const auto byPlate = [](std::vector<PeriodTotals> sums) { return riventar::testing::SumsText(std::move(sums)); };
  EXPECT_EQ(byPlate(store->SumsByVehicle({})),
            ":1:6000:16000;А123ВС77:3:4294985295:48000;В777ОР:1:6000:16000;");  // beyond 32 bits
  // The plate is not looked at; the dates are inclusive.
  EXPECT_EQ(byPlate(store->SumsByVehicle({"В777ОР", "2024-01-06", "2024-02-09"})),
            ":1:6000:16000;А123ВС77:1:12000:16000;В777ОР:1:6000:16000;");
  EXPECT_EQ(byPlate(store->SumsByVehicle({{}, "2025-01-01", {}})), "");
  // Everything recorded reached the server: nothing waits anywhere.
  EXPECT_EQ(store->Unsent({}), TripList{});
  EXPECT_EQ(store->Vehicles()[1].pending, 0);
}

// "/dev/ttyUSB0" is a device on every computer: what it held is known on the
// computer that read it, never on the fleet's server.
TEST_P(LogbookContract, RemembersWhatEachDeviceHeldAtItsLastReadingOnlyOnTheComputerThatReadIt) {
  auto store = Open();
  store->Record(Reading({Trip(3, 1), Trip(1, 1), Trip(2, 1)}));
  store->Record(Reading({Trip(9, 1)}, "", Origin::Device, "/dev/ttyS0"));
  store->Record(Reading({Trip(8, 1)}, "", Origin::File, "/dev/ttyUSB0"));
  EXPECT_EQ(store->Trips({}).size(), 5u);
  if (!KeepsDevices()) {
    EXPECT_EQ(store->DeviceMemory("/dev/ttyUSB0"), TripList{});
    EXPECT_TRUE(store->DeviceMemories("/dev/ttyUSB0").empty());
    return;
  }
  EXPECT_EQ(store->DeviceMemory("/dev/ttyUSB0"), (TripList{Trip(3, 1), Trip(1, 1), Trip(2, 1)}));
  store->Record(Reading({Trip(1, 1)}));  // the counter was reset
  EXPECT_EQ(store->DeviceMemory("/dev/ttyUSB0"), TripList{Trip(1, 1)});
  EXPECT_EQ(store->DeviceMemory("/dev/ttyS0"), TripList{Trip(9, 1)});
  EXPECT_EQ(store->DeviceMemory("/dev/ttyS1"), TripList{});
}

TEST_P(LogbookContract, RemembersSeveralDevicesPerPathEachRecordByItsIndex) {
  if (!KeepsDevices()) GTEST_SKIP() << "the server keeps no device's memory";
  auto store = Open();
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

TEST_P(LogbookContract, OnlyTheFleetsLogbookSaysItIsShared) {
  auto store = Open();
  store->Record(Reading({Trip(1, 1)}));
  const SharingStatus status = Sharing(*store);
  EXPECT_EQ(status.shared, GetParam() == Kind::Shared);
  EXPECT_EQ(status.waiting.recordings, 0);
  const SyncResult sync = SendWaiting(*store);
  EXPECT_TRUE(sync.complete) << sync.problem;
  EXPECT_EQ(sync.sentRecordings, 0);
}

INSTANTIATE_TEST_SUITE_P(Every, LogbookContract, ::testing::Values(Kind::File, Kind::Server, Kind::Shared), NameOf);

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);  // Qt SQL loads its drivers as plugins
  // No ~/.pgpass, ~/.pg_service.conf or ~/.postgresql of whoever runs the tests.
  const riventar::testing::TempDir home{"riventar-home"};
  ::setenv("HOME", home.Path().c_str(), 1);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
