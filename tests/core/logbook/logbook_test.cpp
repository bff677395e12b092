#include "core/logbook/logbook.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/core/trips/sample_trips.h"

using namespace riventar::logbook;

TEST(TripKey, IsTheDataFileLineWithoutItsLineEnd) {
  riventar::trips::TripRecord trip = riventar::testing::WorkedExampleTrip();
  EXPECT_EQ(TripKey(trip), "050a0305080f00000e8b00000a96000250f800008340");
  // Derived values are not part of a trip's identity; every stored field is.
  trip.AvgSpeed = 1;
  EXPECT_EQ(TripKey(trip), "050a0305080f00000e8b00000a96000250f800008340");
  trip.Weekday = 3;
  EXPECT_EQ(TripKey(trip), "050a0405080f00000e8b00000a96000250f800008340");
}

TEST(PlateKey, ReadsAPlateAsAPersonDoes) {
  struct Case {
    std::string a, b;
    bool same;
  };
  const Case cases[] = {
      {"a123bc 77", "А123ВС77", true},         // Latin look-alikes, lower case, a blank
      {"А123ВС77", "а 123 вс-77", true},       // Cyrillic lower case, blanks and a hyphen
      {"ABEKMHOPCTYX", "АВЕКМНОРСТУХ", true},  // all twelve letters
      {"abekmhopctyx", "авекмнорстух", true},
      {"ё001ё", "Ё001Ё", true},
      {"A\u00a0123\u2013BC", "А123ВС", true},  // no-break space, en dash
      {"D123", "d123", true},                  // a Latin letter without a look-alike keeps its case rule
      {"D123", "Д123", false},                 // but is no Cyrillic letter
      {"А123ВС77", "А123ВС78", false},
      {"Ж123", "ж123", true},
      {"\xff"
       "a",
       "\xff"
       "А",
       true},  // a stray byte is kept, the rest still read
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PlateKey(c.a) == PlateKey(c.b), c.same) << c.a << " / " << c.b;
    EXPECT_EQ(PlateKey(PlateKey(c.a)), PlateKey(c.a)) << c.a;
  }
  EXPECT_EQ(PlateKey("a123bc 77"), "А123ВС77");
  EXPECT_EQ(PlateKey(""), "");
  EXPECT_EQ(PlateKey(" - "), "");
  EXPECT_EQ(PlateKey("\xd0"), "\xd0");  // a truncated sequence
}
