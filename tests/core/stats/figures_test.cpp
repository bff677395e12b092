#include "core/stats/figures.h"

#include <gtest/gtest.h>

#include "tests/core/stats/trip_factory.h"

namespace riventar::stats {
namespace {

using testing::TripOn;

trips::TripList WorkedExample() {
  return {TripOn(2005, 10, 3, 3723, 2710, 151800, 33600), TripOn(2005, 10, 3, 1800, 1500, 90000, 16000),
          TripOn(2005, 10, 5, 600, 320, 18000, 4000)};
}

TEST(Statistics, WorkedWeek) {
  const Statistics s = ForChoice(WorkedExample(), 2, PeriodKind::Week);
  EXPECT_EQ(s.period.caption, "Неделя с 3-ОКТ-2005 по 9-ОКТ-2005");
  // D / M = 259800 / 4530 = 57, times 6: 34.2 km/h, tenths truncated and not rounded further.
  EXPECT_EQ(Texts(s.figures),
            (FigureTexts{"3", "2", "3", "1:42:3", "1:15:30", "43.3 км", "34.2 км/час", "3.3 л", "7.7 л/100км"}));
}

TEST(Statistics, DayAlwaysOneDayWithTrips) {
  const Statistics s = ForChoice(WorkedExample(), 0, PeriodKind::Day);
  EXPECT_EQ(s.figures.days, 1u);
  EXPECT_EQ(s.figures.tripDays, 1u);
  EXPECT_EQ(s.figures.trips, 2u);
}

TEST(Statistics, DaysWithTripsAreDistinctDates) {
  // Each string is the list's dates as days of October 2005; all tested over the whole month.
  struct Case {
    std::vector<unsigned> days;
    std::uint64_t tripDays;
    std::uint64_t trips;
  };
  const Case cases[] = {
      {{3, 3, 3}, 1, 3},        // repeated date
      {{3, 3, 5, 5, 9}, 3, 5},  // chronological
      {{3, 5, 3}, 2, 3},        // a date coming back counts once
      {{3, 5, 3, 3, 5}, 2, 5},  // interleaved
  };
  for (const Case& c : cases) {
    trips::TripList list;
    for (unsigned d : c.days) list.push_back(TripOn(2005, 10, d));
    const Period october{Date{std::chrono::year{2005} / 10 / 1}, Date{std::chrono::year{2005} / 10 / 31}, ""};
    const Figures f = Compute(list, october);
    EXPECT_EQ(f.tripDays, c.tripDays) << ::testing::PrintToString(c.days);
    EXPECT_EQ(f.trips, c.trips) << ::testing::PrintToString(c.days);
  }
}

TEST(Statistics, EntriesOutsideThePeriodOpenNoDay) {
  // 3 Oct, 1 Oct (outside the week of 3 to 9 Oct), 3 Oct: one day with trips.
  const trips::TripList list = {TripOn(2005, 10, 3), TripOn(2005, 10, 1), TripOn(2005, 10, 3)};
  const Period week{Date{std::chrono::year{2005} / 10 / 3}, Date{std::chrono::year{2005} / 10 / 9}, ""};
  EXPECT_EQ(Compute(list, week).tripDays, 1u);
  // The list's first entry outside the period opens nothing.
  const trips::TripList late = {TripOn(2005, 10, 1), TripOn(2005, 10, 3), TripOn(2005, 10, 3)};
  EXPECT_EQ(Compute(late, week).tripDays, 1u);
}

TEST(Statistics, PeriodSpansTheEarliestToTheLatestDateInAnyOrder) {
  const trips::TripList worked = WorkedExample();
  trips::TripList twice = worked;  // appended to itself, as a second reading without a reset gives
  twice.insert(twice.end(), worked.begin(), worked.end());
  struct Case {
    const char* what;
    trips::TripList list;
    std::size_t anchor;
    PeriodKind kind;
    Date start, end;
    std::uint64_t days, tripDays, trips;
    const char* caption;
  };
  using std::chrono::year;
  const Case cases[] = {
      {"in date order, unchanged", worked, 2, PeriodKind::Week, year{2005} / 10 / 3, year{2005} / 10 / 5, 3, 2, 3,
       "Неделя с 3-ОКТ-2005 по 9-ОКТ-2005"},
      {"in date order, all", worked, 0, PeriodKind::Everything, year{2005} / 10 / 3, year{2005} / 10 / 5, 3, 2, 3,
       "с ПН-03-ОКТ-2005 по СР-05-ОКТ-2005"},
      {"later date first",
       {TripOn(2006, 3, 6), TripOn(2006, 3, 4)},
       0,
       PeriodKind::Everything,
       year{2006} / 3 / 4,
       year{2006} / 3 / 6,
       3,
       2,
       2,
       "с СБ-04-МАР-2006 по ПН-06-МАР-2006"},
      {"anchor on the latest date, listed first",
       {TripOn(2005, 10, 5), TripOn(2005, 1, 1)},
       0,
       PeriodKind::Day,
       year{2005} / 10 / 5,
       year{2005} / 10 / 5,
       1,
       1,
       1,
       "СР-05-ОКТ-2005"},
      {"earliest in the middle",
       {TripOn(2005, 10, 10), TripOn(2005, 10, 3), TripOn(2005, 10, 20), TripOn(2005, 10, 3)},
       0,
       PeriodKind::Month,
       year{2005} / 10 / 3,
       year{2005} / 10 / 20,
       18,
       3,
       4,
       "Октябрь 2005 года"},
      {"appended twice, all", twice, 4, PeriodKind::Everything, year{2005} / 10 / 3, year{2005} / 10 / 5, 3, 2, 6,
       "с ПН-03-ОКТ-2005 по СР-05-ОКТ-2005"},
      {"appended twice, week", twice, 5, PeriodKind::Week, year{2005} / 10 / 3, year{2005} / 10 / 5, 3, 2, 6,
       "Неделя с 3-ОКТ-2005 по 9-ОКТ-2005"},
  };
  for (const Case& c : cases) {
    const Statistics s = ForChoice(c.list, c.anchor, c.kind);
    EXPECT_EQ(s.period.start, c.start) << c.what;
    EXPECT_EQ(s.period.end, c.end) << c.what;
    EXPECT_EQ(s.period.caption, c.caption) << c.what;
    EXPECT_EQ(s.figures.days, c.days) << c.what;
    EXPECT_EQ(s.figures.tripDays, c.tripDays) << c.what;
    EXPECT_EQ(s.figures.trips, c.trips) << c.what;
  }
}

TEST(Statistics, TotalsDoNotWrapAt32Bits) {
  // 100 trips of 10000 km, 100 h and 10000 l: every sum passes 2^32.
  const trips::TripList list(100, TripOn(2005, 10, 5, 360000, 360000, 60000000, 160000000));
  const Statistics s = ForChoice(list, 0, PeriodKind::Everything);
  EXPECT_EQ(s.figures.distance, 6000000000u);
  EXPECT_EQ(s.figures.fuel, 16000000000u);
  EXPECT_EQ(Texts(s.figures), (FigureTexts{"1", "1", "100", "10000:0:0", "10000:0:0", "1000000.0 км", "99.6 км/час",
                                           "1000000.0 л", "100.0 л/100км"}));
}

TEST(Statistics, PeriodWithoutTripsShowsZeros) {
  // A period that ends before it starts, which no menu choice yields any more.
  const trips::TripList list = {TripOn(2005, 10, 5), TripOn(2005, 1, 1)};
  const Period reversed{Date{std::chrono::year{2005} / 10 / 5}, Date{std::chrono::year{2005} / 1 / 1}, ""};
  const Figures f = Compute(list, reversed);
  EXPECT_EQ(f, Figures{});
  EXPECT_EQ(Texts(f), (FigureTexts{"0", "0", "0", "0:0:0", "0:0:0", "0.0 км", "0.0 км/час", "0.0 л", "0.0 л/100км"}));
}

TEST(Statistics, InvalidDateAnywhereAbandonsTheRequest) {
  trips::TripList list = WorkedExample();
  list.insert(list.begin() + 1, TripOn(2005, 2, 28));
  list[1].Day = 29;  // 29 February 2005
  try {
    ForChoice(list, 0, PeriodKind::Day);
    FAIL() << "no error";
  } catch (const InvalidTripDate& e) {
    EXPECT_EQ(e.Index(), 1u);
  }
}

TEST(FigureTexts, TruncateAndDoNotPad) {
  Figures f;
  f.tripTime = 59;
  f.movingTime = 3600;
  f.distance = 5999;
  f.fuel = 15999;
  f.avgSpeed = 5;
  f.consumption = 2560;  // no wrap of the whole part, unlike the table
  FigureTexts t = Texts(f);
  EXPECT_EQ(t.totalTime, "0:0:59");
  EXPECT_EQ(t.timeInGo, "1:0:0");
  EXPECT_EQ(t.totalWay, "0.9 км");
  EXPECT_EQ(t.totalFuel, "0.9 л");
  EXPECT_EQ(t.averSpeed, "0.5 км/час");
  EXPECT_EQ(t.averFuel, "256.0 л/100км");
  f.distance = 6000;
  EXPECT_EQ(Texts(f).totalWay, "1.0 км");
}

}  // namespace
}  // namespace riventar::stats
