#include "core/trips/trip_record.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

using namespace riventar::trips;

namespace {

// A "$TR" reply line: "!" + four ignored characters + the trip's fields + CR.
std::string Reply(unsigned year, unsigned monthWeekday, unsigned day, unsigned hour, unsigned minute,
                  std::uint32_t tripTime, std::uint32_t movingTime, std::uint32_t distance, std::uint32_t fuel) {
  char b[64];
  std::snprintf(b, sizeof b, "!TR00%2.2x%2.2x%2.2x%2.2x%2.2x%8.8x%8.8x%8.8x%8.8x\r", year, monthWeekday, day, hour,
                minute, tripTime, movingTime, distance, fuel);
  return b;
}

}  // namespace

TEST(TripRecord, DecodesEveryFieldOfAReply) {
  const TripRecord r = DecodeTripReply(Reply(5, 0x3a, 5, 8, 15, 3723, 2710, 151800, 33600));
  EXPECT_EQ(r.Year, 5);
  EXPECT_EQ(r.Month, 9);    // October
  EXPECT_EQ(r.Weekday, 2);  // Wednesday
  EXPECT_EQ(r.Day, 5);
  EXPECT_EQ(r.Hour, 8);
  EXPECT_EQ(r.Minute, 15);
  EXPECT_EQ(r.TripTime, 3723u);
  EXPECT_EQ(r.MovingTime, 2710u);
  EXPECT_EQ(r.Distance, 151800u);
  EXPECT_EQ(r.Fuel, 33600u);
}

TEST(TripRecord, MonthAndWeekdayShareOneByte) {
  const TripRecord march = DecodeTripReply(Reply(5, 0x73, 1, 0, 0, 1, 1, 6, 16));
  EXPECT_EQ(march.Month, 2);
  EXPECT_EQ(march.Weekday, 6);
  const TripRecord zero = DecodeTripReply(Reply(5, 0x00, 1, 0, 0, 1, 1, 6, 16));
  EXPECT_EQ(zero.Month, 255);  // wraps, still accepted
  EXPECT_EQ(zero.Weekday, 255);
  EXPECT_TRUE(TripFromReply(Reply(5, 0x00, 1, 0, 0, 1, 1, 6, 16)).has_value());
}

TEST(TripRecord, DeviceAcceptanceBounds) {
  struct Case {
    std::uint32_t tripTime, movingTime, distance, fuel;
    bool accepted;
  };
  const Case cases[] = {
      {1, 1, 6, 16, true},         {360010, 360010, 60000010, 160000010, true},
      {0, 1, 6, 16, false},        {1, 0, 6, 16, false},
      {1, 1, 5, 16, false},        {1, 1, 6, 15, false},
      {360011, 1, 6, 16, false},   {1, 360011, 6, 16, false},
      {1, 1, 60000011, 16, false}, {1, 1, 6, 160000011, false},
  };
  for (const Case& c : cases) {
    TripRecord r;
    r.TripTime = c.tripTime;
    r.MovingTime = c.movingTime;
    r.Distance = c.distance;
    r.Fuel = c.fuel;
    EXPECT_EQ(AcceptedFromDevice(r), c.accepted)
        << c.tripTime << " " << c.movingTime << " " << c.distance << " " << c.fuel;
  }
}

TEST(TripRecord, FileAcceptanceHasNoUpperBounds) {
  TripRecord r;
  r.TripTime = 0xffffffff;
  r.MovingTime = 0xffffffff;
  r.Distance = 0xffffffff;
  r.Fuel = 0xffffffff;
  EXPECT_TRUE(AcceptedFromFile(r));
  r.Distance = 5;
  EXPECT_FALSE(AcceptedFromFile(r));
  r.Distance = 6;
  r.TripTime = 0;
  EXPECT_FALSE(AcceptedFromFile(r));
}

TEST(TripRecord, DerivedValues) {
  struct Case {
    std::uint32_t distance, movingTime, fuel;
    std::uint32_t speed, consumption;
  };
  const Case cases[] = {
      {60000, 600, 12800, 600, 80},            // 60.0 km/h, 8.0 l/100 km
      {60, 1, 16, 360, 100},                   // speed 36.0; 1 ml over 10 m
      {6, 1, 16, 36, 1000},                    // divisor of 1 metre
      {60000000, 360000, 80000000, 996, 500},  // product beyond 32 bits
      {151800, 2710, 33600, 336, 83},          // the worked example
  };
  for (const Case& c : cases) {
    TripRecord r;
    r.Distance = c.distance;
    r.MovingTime = c.movingTime;
    r.Fuel = c.fuel;
    Derive(r);
    EXPECT_EQ(r.AvgSpeed, c.speed) << c.distance;
    EXPECT_EQ(r.Consumption, c.consumption) << c.distance;
  }
}

TEST(TripRecord, AbsurdConsumptionSaturates) {
  TripRecord r;
  r.Distance = 6;
  r.MovingTime = 1;
  r.Fuel = 0xffffffff;
  Derive(r);
  EXPECT_EQ(r.Consumption, 0xffffffffu);
}

TEST(TripRecord, RejectedReplyGivesNothing) {
  EXPECT_FALSE(TripFromReply(Reply(5, 0x3a, 5, 8, 15, 0, 2710, 151800, 33600)).has_value());
  const auto accepted = TripFromReply(Reply(5, 0x3a, 5, 8, 15, 3723, 2710, 151800, 33600));
  ASSERT_TRUE(accepted.has_value());
  EXPECT_EQ(accepted->AvgSpeed, 336u);
  EXPECT_EQ(accepted->Consumption, 83u);
}
