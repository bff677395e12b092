// Reading only the new trips, over a scripted device: what is asked again,
// what is read, and when everything is read after all.
#include "core/logbook/new_trips.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

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
    const auto reading = riventar::logbook::ReadNewTrips(device, static_cast<int>(c.device.size()), Records(c.logbook));
    ASSERT_TRUE(reading) << c.name;
    EXPECT_EQ(device.Sent(), c.sent) << c.name;
    EXPECT_EQ(reading->known, c.known) << c.name;
    EXPECT_EQ(reading->read, static_cast<int>(c.device.size()) - c.known) << c.name;
    EXPECT_EQ(reading->trips, Records(c.device)) << c.name;
  }
}

TEST(NewTrips, AnUnansweredCheckIsNoReading) {
  const auto all = riventar::sim::RealisticTrips(3);
  ScriptedExchange silent([](std::string_view) { return Lines{}; });
  EXPECT_FALSE(riventar::logbook::ReadNewTrips(silent, 3, Records(all)));
  EXPECT_EQ(silent.Sent(), Lines(5, "$TR00"));
}

}  // namespace
