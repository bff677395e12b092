#include "core/trips/trip_text.h"

#include <gtest/gtest.h>

#include "tests/core/trips/sample_trips.h"

using namespace riventar::trips;

namespace {

TripRecord WorkedExample() { return riventar::testing::WorkedExampleTrip(); }

}  // namespace

TEST(TripText, WorkedExampleRow) {
  const TripRecord r = WorkedExample();
  const char* expected[] = {"1", "СР-05-ОКТ-2005", "08:15", "01:02:03", "00:45:10", "25.3", "033.6", "2.1", "8.3"};
  for (int c = 0; c < TableColumns; ++c) EXPECT_EQ(CellText(r, 1, c), expected[c]) << c;
}

// Through the cell texts the table shows and the export writes.
TEST(TripText, ValueRules) {
  struct Case {
    int column;
    std::uint32_t TripRecord::*field;
    std::uint32_t value;
    const char* expected;
  };
  const Case cases[] = {
      {3, &TripRecord::TripTime, 921600, "00:00:00"},  // 256 hours wrap
      {4, &TripRecord::MovingTime, 59, "00:00:59"},   {5, &TripRecord::Distance, 5999, "0.9"},
      {5, &TripRecord::Distance, 6000, "1.0"},        {5, &TripRecord::Distance, 6599, "1.0"},
      {6, &TripRecord::AvgSpeed, 54, "005.4"},        {6, &TripRecord::AvgSpeed, 1234, "123.4"},
      {6, &TripRecord::AvgSpeed, 12345, "1234.5"},    {7, &TripRecord::Fuel, 15999, "0.9"},
      {8, &TripRecord::Consumption, 2559, "255.9"},   {8, &TripRecord::Consumption, 2560, "0.0"},
  };
  for (const Case& c : cases) {
    TripRecord r = WorkedExample();
    r.*c.field = c.value;
    EXPECT_EQ(CellText(r, 1, c.column), c.expected) << c.column << " " << c.value;
  }
}

TEST(TripText, DateYearsAndPlaceholders) {
  TripRecord r = WorkedExample();
  r.Year = 0;
  EXPECT_EQ(DateText(r), "СР-05-ОКТ-2000");
  r.Year = 100;
  EXPECT_EQ(DateText(r), "СР-05-ОКТ-20100");
  r.Month = 12;
  r.Weekday = 255;
  EXPECT_EQ(DateText(r),
            "?"
            "?-05-?"
            "?"
            "?-20100");
}
