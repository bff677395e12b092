#include <gtest/gtest.h>

#include "tests/core/trips/sample_trips.h"
#include "core/trips/trip_text.h"

using namespace riventar::trips;

namespace {

TripRecord WorkedExample() { return riventar::testing::WorkedExampleTrip(); }

}  // namespace

TEST(TripText, WorkedExampleRow) {
  const TripRecord r = WorkedExample();
  const char* expected[] = {"1", "СР-05-ОКТ-2005", "08:15", "01:02:03", "00:45:10", "25.3", "033.6", "2.1", "8.3"};
  for (int c = 0; c < TableColumns; ++c) EXPECT_EQ(CellText(r, 1, c), expected[c]) << c;
}

TEST(TripText, ValueRules) {
  struct Case {
    std::string actual;
    const char* expected;
  };
  const Case cases[] = {
      {DurationText(921600), "00:00:00"},  // 256 hours wrap
      {DurationText(59), "00:00:59"},
      {DistanceText(5999), "0.9"},
      {DistanceText(6000), "1.0"},
      {DistanceText(6599), "1.0"},
      {SpeedText(54), "005.4"},
      {SpeedText(1234), "123.4"},
      {SpeedText(12345), "1234.5"},
      {FuelText(15999), "0.9"},
      {ConsumptionText(2559), "255.9"},
      {ConsumptionText(2560), "0.0"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.actual, c.expected);
}

TEST(TripText, DateYearsAndPlaceholders) {
  TripRecord r = WorkedExample();
  r.Year = 0;
  EXPECT_EQ(DateText(r), "СР-05-ОКТ-2000");
  r.Year = 100;
  EXPECT_EQ(DateText(r), "СР-05-ОКТ-20100");
  r.Month = 12;
  r.Weekday = 255;
  EXPECT_EQ(DateText(r), "?" "?-05-?" "?" "?-20100");
}
