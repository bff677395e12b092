// The simulated device: what it answers, what it stores, and that the
// program's own decoder reads its trips as they were stored.
#include "sim/simulator.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "adapters/link/link.h"
#include "core/link/commands.h"
#include "core/trips/trip_record.h"
#include "sim/device.h"
#include "sim/trip_store.h"

namespace {

using namespace std::chrono_literals;
using riventar::sim::Device;
using riventar::sim::DeviceTrip;

TEST(SimDevice, ReadingCommandsPutTheirDataAtPositionK) {
  Device device;
  device.trips = riventar::sim::RealisticTrips(3);
  device.settings.brightness = 12;
  device.settings.shutdownDelay = 901;
  device.settings.startTripDelay = 3;
  device.settings.clockCorrection = 0xf4;
  device.settings.mode = 2;
  device.SetClock({5, 10, 1, 10, 14, 5});
  const std::pair<const char*, std::string> cases[] = {
      {"NOP", "!NOP\r"},
      {"TN", "!TN03\r"},
      {"LBR", "!LBR0c\r"},
      {"SDR", "!SDR0385\r"},
      {"AR", "!AR03\r"},
      {"ICR", "!ICRf4\r"},
      {"MR", "!MR02\r"},
      {"WCR", "!WCR051001101405\r"},
      {"VHR", "!VHRSIM-BK HW 2.1\r"},
      {"VSR", "!VSRSIM-BK SW 1.07\r"},
  };
  for (const auto& [command, reply] : cases) EXPECT_EQ(device.Answer(command).value_or("none"), reply) << command;
}

TEST(SimDevice, EachWriteIsSeenInTheNextReadBack) {
  const struct {
    const char* write;
    const char* read;
    const char* expected;
  } cases[] = {
      {"LBS0c08", "LBR", "!LBR0c\r"}, {"SDS0385", "SDR", "!SDR0385\r"},
      {"AS05", "AR", "!AR05\r"},      {"ICSf4", "ICR", "!ICRf4\r"},
      {"MS04", "MR", "!MR04\r"},      {"WCS070512031859", "WCR", "!WCR070512031859\r"},
      {"TC", "TN", "!TN00\r"},
  };
  Device device;
  device.trips = riventar::sim::RealisticTrips(7);
  for (const auto& c : cases) {
    EXPECT_EQ(device.Answer(c.write).value_or("none"), std::string("!") + c.write + "\r") << c.write;
    EXPECT_EQ(device.Answer(c.read).value_or("none"), c.expected) << c.write;
  }
}

TEST(SimDevice, UnknownOrMalformedCommandsGetNoAnswer) {
  Device device;
  for (const char* command : {"XYZ", "TR0", "TR0g", "LBS0c", "WCS0705120318", "WCS07051203185x", "NOP1", ""})
    EXPECT_FALSE(device.Answer(command).has_value()) << command;
}

TEST(SimDevice, TheProgramDecodesEveryStoredTripAsStored) {
  Device device;
  device.trips = riventar::sim::RealisticTrips(255);
  ASSERT_EQ(device.trips.size(), 255u);
  for (unsigned i = 0; i < device.trips.size(); ++i) {
    const std::string command = riventar::link::TripReadCommand(static_cast<std::uint8_t>(i));
    const auto reply = device.Answer(std::string_view(command).substr(1, command.size() - 2));
    ASSERT_TRUE(reply.has_value());
    ASSERT_EQ(reply->size(), 48u);  // positions 0..46 and the CR
    const auto trip = riventar::trips::TripFromReply(*reply);
    ASSERT_TRUE(trip.has_value()) << i;  // a realistic trip is always accepted
    const DeviceTrip& stored = device.trips[i];
    EXPECT_EQ(trip->Year, stored.year);
    EXPECT_EQ(trip->Month + 1, stored.month);
    EXPECT_EQ(trip->Weekday + 1, stored.weekday);
    EXPECT_EQ(trip->Day, stored.day);
    EXPECT_EQ(trip->Hour, stored.hour);
    EXPECT_EQ(trip->Minute, stored.minute);
    EXPECT_EQ(trip->Distance, stored.distance);
    EXPECT_EQ(trip->Fuel, stored.fuel);
    EXPECT_LE(trip->MovingTime, trip->TripTime);
  }
}

TEST(SimTrips, RealisticTripsAreADriversWeeks) {
  const auto trips = riventar::sim::RealisticTrips(60);
  EXPECT_EQ(trips, riventar::sim::RealisticTrips(60));  // same seed, same trips
  for (std::size_t i = 1; i < trips.size(); ++i) {
    const auto key = [](const DeviceTrip& t) { return std::tuple(t.year, t.month, t.day, t.hour, t.minute); };
    EXPECT_LE(key(trips[i - 1]), key(trips[i])) << i;
  }
  for (const DeviceTrip& t : trips) {
    const double kmh = t.distance / 6000.0 / (t.movingTime / 3600.0);
    const double per100 = t.fuel / 16000.0 / (t.distance / 6000.0) * 100;
    EXPECT_GT(kmh, 10);
    EXPECT_LT(kmh, 110);
    EXPECT_GT(per100, 4);
    EXPECT_LT(per100, 16);
  }
}

TEST(SimTrips, InvalidTripsAreMixedIn) {
  const auto trips = riventar::sim::WithInvalidTrips(riventar::sim::RealisticTrips(15));
  for (std::size_t i = 0; i < trips.size(); ++i) {
    const auto reply = "!TR00" + riventar::sim::EncodeTrip(trips[i]) + "\r";
    EXPECT_EQ(riventar::trips::TripFromReply(reply).has_value(), i % 3 != 1) << i;
  }
}

TEST(SimTrips, LoadsTheThreeLineFormats) {
  char path[] = "/tmp/riventar-trips-XXXXXX";
  const int fd = ::mkstemp(path);
  ASSERT_GE(fd, 0);
  ::close(fd);
  const DeviceTrip hexTrip{24, 3, 1, 4, 7, 39, 1524, 1315, 83306, 21029};
  {
    std::ofstream out(path);
    out << "# a comment\n\n2024-03-05 18:10 1800 1500 90000 32000\n"
        << riventar::sim::EncodeTrip(hexTrip) << "\r\n"
        << "180302050f1e00000e1000000c3a0001d4c000009c40\n";
  }
  const auto trips = riventar::sim::LoadTrips(path);
  ASSERT_EQ(trips.size(), 3u);
  EXPECT_EQ(trips[0], (DeviceTrip{24, 3, 2, 5, 18, 10, 1800, 1500, 90000, 32000}));  // a Tuesday
  EXPECT_EQ(trips[1], hexTrip);
  EXPECT_EQ(trips[2], (DeviceTrip{24, 3, 2, 5, 15, 30, 3600, 3130, 120000, 40000}));
  {
    std::ofstream out(path, std::ios::app);
    out << "2024-02-30 10:00 1 1 6 16\n";
  }
  try {
    riventar::sim::LoadTrips(path);
    ADD_FAILURE() << "an impossible date was loaded";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find(":6:"), std::string::npos) << e.what();
  }
  ::unlink(path);
}

TEST(SimTransport, MisbehavioursCountDownAndNameCommands) {
  riventar::sim::Simulator sim;
  riventar::link::Link link;
  ASSERT_FALSE(link.Start(sim.SlavePath()).has_value());
  link.SetReplyTimeout(100ms);  // the silences are the point here, not the wait
  auto m = riventar::sim::Misbehaviour::SilentAfter(2);
  m.silentOn = {"TC"};
  sim.SetMisbehaviour(m);
  EXPECT_FALSE(link.CommandExchange(riventar::link::TripCounterResetCommand()));  // named: not counted
  EXPECT_TRUE(link.CommandExchange(riventar::link::NopCommand()));
  EXPECT_EQ(sim.CurrentMisbehaviour().silentAfter, 1);
  EXPECT_TRUE(link.CommandExchange(riventar::link::NopCommand()));
  EXPECT_FALSE(link.CommandExchange(riventar::link::NopCommand()));
  EXPECT_EQ(sim.Commands(), (std::vector<std::string>{"$TC", "$NOP", "$NOP", "$NOP"}));
}

TEST(SimTransport, PacedExchangeTakesItsWireTime) {
  riventar::sim::Simulator sim(riventar::sim::SimulatorOptions::Paced());
  sim.SetTrips(riventar::sim::RealisticTrips(1));
  riventar::link::Link link;
  ASSERT_FALSE(link.Start(sim.SlavePath()).has_value());
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(link.CommandExchange(riventar::link::TripReadCommand(0)));
  const auto took = std::chrono::steady_clock::now() - start;
  const auto wire = (6 + 48) * riventar::sim::ByteTime;  // "$TR00\r" and the reply
  EXPECT_GE(took, wire);
  EXPECT_LT(took, wire + 150ms);  // generous: CI machines are busy
  EXPECT_EQ(sim.BytesReceived(), 6u);
  EXPECT_EQ(sim.BytesSent(), 48u);
}

}  // namespace
