// Reading only the new trips, over a scripted device: what is asked again,
// what is read, and when everything is read after all.
#include "core/logbook/new_trips.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/trips/dat_file.h"
#include "core/trips/device_reading.h"
#include "sim/device.h"
#include "sim/trip_store.h"
#include "tests/support/scripted_exchange.h"

namespace {

using riventar::sim::DeviceTrip;
using riventar::testing::ScriptedExchange;
using Lines = std::vector<std::string>;
namespace trips = riventar::trips;

std::string Command(const char* text, int index) {
  char b[16];
  std::snprintf(b, sizeof b, "%s%02x", text, static_cast<unsigned>(index));
  return b;
}

// An echoing device holding `held`.
ScriptedExchange::Device Holding(const std::vector<DeviceTrip>& held) {
  return [held](std::string_view command) {
    const std::string text(command.substr(1, command.find('\r') - 1));
    if (!text.starts_with("TR")) return Lines{};
    const auto index = std::stoul(text.substr(2), nullptr, 16);
    return index < held.size() ? Lines{"!" + text + riventar::sim::EncodeTrip(held[index]) + "\r"} : Lines{};
  };
}

trips::TripList Records(const std::vector<DeviceTrip>& device) {
  trips::TripList list;
  for (std::size_t i = 0; i < device.size(); ++i)
    list.push_back(
        *trips::TripFromReply(Command("!TR", static_cast<int>(i)) + riventar::sim::EncodeTrip(device[i]) + "\r"));
  return list;
}

TEST(NewTrips, OnlyAnUnchangedHistoryIsSkipped) {
  const auto all = riventar::sim::RealisticTrips(8);
  const auto other = riventar::sim::RealisticTrips(8, 2);
  const std::vector<DeviceTrip> five(all.begin(), all.begin() + 5);
  auto changedFirst = all, changedLast = all;
  changedFirst[0] = other[0];
  changedLast[4] = other[4];
  struct Case {
    const char* name;
    std::vector<DeviceTrip> device;
    std::vector<DeviceTrip> logbook;  // what the logbook remembers of the device
    Lines sent;                       // "$TR" commands
    int known;
  };
  const Case cases[] = {
      {"unchanged history: trips 0 and 4 checked, 5 to 7 read",
       all,
       five,
       {"$TR00", "$TR04", "$TR05", "$TR06", "$TR07"},
       5},
      {"nothing new: the checks only", five, five, {"$TR00", "$TR04"}, 5},
      {"one trip known: one check",
       all,
       {all[0]},
       {"$TR00", "$TR01", "$TR02", "$TR03", "$TR04", "$TR05", "$TR06", "$TR07"},
       1},
      {"trip 0 changed: everything",
       changedFirst,
       five,
       {"$TR00", "$TR00", "$TR01", "$TR02", "$TR03", "$TR04", "$TR05", "$TR06", "$TR07"},
       0},
      {"trip k-1 changed: everything",
       changedLast,
       five,
       {"$TR00", "$TR04", "$TR00", "$TR01", "$TR02", "$TR03", "$TR04", "$TR05", "$TR06", "$TR07"},
       0},
      {"fewer trips than known: everything, no check", {all[0], all[1]}, five, {"$TR00", "$TR01"}, 0},
      {"empty memory: everything", {all[0], all[1]}, {}, {"$TR00", "$TR01"}, 0},
  };
  for (const Case& c : cases) {
    ScriptedExchange device(Holding(c.device));
    const auto reading =
        riventar::logbook::ReadNewTrips(device, static_cast<int>(c.device.size()), {Records(c.logbook)});
    ASSERT_TRUE(reading) << c.name;
    EXPECT_EQ(device.Sent(), c.sent) << c.name;
    EXPECT_EQ(reading->known, c.known) << c.name;
    EXPECT_EQ(reading->read, static_cast<int>(c.device.size()) - c.known) << c.name;
    EXPECT_EQ(reading->trips, Records(c.device)) << c.name;
  }
}

// Every record by its index, rejected ones included, as a reading remembers them.
trips::TripList Raw(const std::vector<DeviceTrip>& device) {
  trips::TripList list;
  for (std::size_t i = 0; i < device.size(); ++i)
    list.push_back(
        trips::DecodeTripReply(Command("!TR", static_cast<int>(i)) + riventar::sim::EncodeTrip(device[i]) + "\r"));
  return list;
}

std::vector<std::string> TripLines(const trips::TripList& list) {
  std::vector<std::string> lines;
  for (const auto& r : list) lines.push_back(trips::TripLine(r));
  return lines;
}

TEST(NewTrips, RejectedRecordsKeepTheirIndexAndSeveralDevicesAreTold) {
  // Records 1, 4, 7 and 10 rejected; 10 is the last of the eleven known.
  const auto car = riventar::sim::WithInvalidTrips(riventar::sim::RealisticTrips(14));
  const auto other = riventar::sim::RealisticTrips(14, 5);
  const std::vector<DeviceTrip> carKnown(car.begin(), car.begin() + 11), otherKnown(other.begin(), other.begin() + 6);
  // The car read once before, then a record other than its last changed: record 0 agrees, record 10 does not.
  auto carEarlier = carKnown;
  carEarlier[10] = other[10];
  struct Case {
    const char* name;
    std::vector<std::vector<DeviceTrip>> memories;  // most recently read first
    Lines sent;
    int known;
  };
  const Case cases[] = {
      {"a rejected last record is checked at its index", {carKnown}, {"$TR00", "$TR0a", "$TR0b", "$TR0c", "$TR0d"}, 11},
      {"the other car passed over, record 0 asked once",
       {otherKnown, carKnown},
       {"$TR00", "$TR0a", "$TR0b", "$TR0c", "$TR0d"},
       11},
      {"record 0 alike, record k-1 not: the next one",
       {carEarlier, otherKnown, carKnown},
       {"$TR00", "$TR0a", "$TR0b", "$TR0c", "$TR0d"},
       11},
      {"none matches: everything",
       {otherKnown, carEarlier},
       {"$TR00", "$TR0a", "$TR00", "$TR01", "$TR02", "$TR03", "$TR04", "$TR05", "$TR06", "$TR07", "$TR08", "$TR09",
        "$TR0a", "$TR0b", "$TR0c", "$TR0d"},
       0},
  };
  for (const Case& c : cases) {
    std::vector<trips::TripList> memories;
    for (const auto& m : c.memories) memories.push_back(Raw(m));
    ScriptedExchange device(Holding(car));
    const auto reading = riventar::logbook::ReadNewTrips(device, static_cast<int>(car.size()), memories);
    ASSERT_TRUE(reading) << c.name;
    EXPECT_EQ(device.Sent(), c.sent) << c.name;
    EXPECT_EQ(reading->known, c.known) << c.name;
    EXPECT_EQ(reading->trips, trips::AcceptedTrips(Raw(car))) << c.name;
    EXPECT_EQ(reading->trips.size(), 14u - 5u) << c.name;
    EXPECT_EQ(reading->read, c.known == 0 ? 9 : 2) << c.name;
    EXPECT_EQ(TripLines(reading->records), TripLines(Raw(car))) << c.name;
  }
}

TEST(NewTrips, AnUnansweredCheckIsNoReading) {
  const auto all = riventar::sim::RealisticTrips(3);
  ScriptedExchange silent([](std::string_view) { return Lines{}; });
  EXPECT_FALSE(riventar::logbook::ReadNewTrips(silent, 3, {Records(all)}));
  EXPECT_EQ(silent.Sent(), Lines(5, "$TR00"));
}

}  // namespace
