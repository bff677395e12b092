#include "core/stats/buckets.h"

#include <gtest/gtest.h>

#include "core/stats/figures.h"
#include "tests/core/stats/trip_factory.h"

namespace riventar::stats {
namespace {

using std::chrono::year;
using testing::TripOn;

Date D(int y, unsigned m, unsigned d) { return Date{year{y} / static_cast<int>(m) / static_cast<int>(d)}; }

std::string Text(Date d) {
  return std::to_string(int{d.year()}) + "-" + std::to_string(unsigned{d.month()}) + "-" +
         std::to_string(unsigned{d.day()});
}

TEST(Buckets, BoundariesFollowTheCalendar) {
  // Buckets always join end to end from the period's start to its end; the
  // first and the last are cut to the period.
  struct Case {
    const char* what;
    Period period;
    BucketSize size;
    std::size_t count;
    std::pair<Date, Date> first, last;
  };
  const Case cases[] = {
      {"week across a year end",
       {D(2025, 12, 24), D(2026, 1, 6), ""},
       BucketSize::Week,
       3,
       {D(2025, 12, 24), D(2025, 12, 28)},
       {D(2026, 1, 5), D(2026, 1, 6)}},
      {"winter season by weeks, from a Monday",
       {D(2025, 12, 1), D(2026, 2, 28), ""},
       BucketSize::Week,
       13,
       {D(2025, 12, 1), D(2025, 12, 7)},
       {D(2026, 2, 23), D(2026, 2, 28)}},
      {"winter season by weeks, from a Sunday",
       {D(2024, 12, 1), D(2025, 2, 28), ""},
       BucketSize::Week,
       14,
       {D(2024, 12, 1), D(2024, 12, 1)},
       {D(2025, 2, 24), D(2025, 2, 28)}},
      {"months with a leap February",
       {D(2024, 1, 15), D(2024, 3, 31), ""},
       BucketSize::Month,
       3,
       {D(2024, 1, 15), D(2024, 1, 31)},
       {D(2024, 3, 1), D(2024, 3, 31)}},
      {"months across a year end",
       {D(2004, 11, 1), D(2005, 2, 10), ""},
       BucketSize::Month,
       4,
       {D(2004, 11, 1), D(2004, 11, 30)},
       {D(2005, 2, 1), D(2005, 2, 10)}},
      {"years",
       {D(2003, 6, 1), D(2005, 2, 1), ""},
       BucketSize::Year,
       3,
       {D(2003, 6, 1), D(2003, 12, 31)},
       {D(2005, 1, 1), D(2005, 2, 1)}},
      {"days of a month",
       {D(2005, 10, 1), D(2005, 10, 31), ""},
       BucketSize::Day,
       31,
       {D(2005, 10, 1), D(2005, 10, 1)},
       {D(2005, 10, 31), D(2005, 10, 31)}},
  };
  using std::chrono::sys_days;
  for (const Case& c : cases) {
    const std::vector<Bucket> buckets = MakeBuckets({}, c.period, c.size);
    ASSERT_EQ(buckets.size(), c.count) << c.what;
    EXPECT_EQ(Text(buckets.front().first), Text(c.first.first)) << c.what;
    EXPECT_EQ(Text(buckets.front().last), Text(c.first.second)) << c.what;
    EXPECT_EQ(Text(buckets.back().first), Text(c.last.first)) << c.what;
    EXPECT_EQ(Text(buckets.back().last), Text(c.last.second)) << c.what;
    for (std::size_t i = 1; i < buckets.size(); ++i)
      EXPECT_EQ(sys_days{buckets[i].first}, sys_days{buckets[i - 1].last} + std::chrono::days{1}) << c.what << i;
  }
  EXPECT_TRUE(MakeBuckets({}, {D(2005, 10, 5), D(2005, 10, 4), ""}, BucketSize::Day).empty())
      << "a period ending before it starts";
}

TEST(Buckets, SizeFollowsThePeriodAndSwitchesToYearsPast36Months) {
  const struct {
    PeriodKind kind;
    Period period;
    BucketSize size;
  } cases[] = {
      {PeriodKind::Day, {D(2005, 10, 5), D(2005, 10, 5), ""}, BucketSize::Day},
      {PeriodKind::Week, {D(2005, 10, 3), D(2005, 10, 9), ""}, BucketSize::Day},
      {PeriodKind::Month, {D(2005, 10, 1), D(2005, 10, 31), ""}, BucketSize::Day},
      {PeriodKind::Season, {D(2005, 12, 1), D(2006, 2, 28), ""}, BucketSize::Week},
      {PeriodKind::Year, {D(2005, 1, 1), D(2005, 12, 31), ""}, BucketSize::Month},
      {PeriodKind::Everything, {D(2003, 1, 31), D(2005, 12, 1), ""}, BucketSize::Month},  // 36 months
      {PeriodKind::Everything, {D(2003, 1, 31), D(2006, 1, 1), ""}, BucketSize::Year},    // 37 months
  };
  for (const auto& c : cases)
    EXPECT_EQ(BucketSizeFor(c.kind, c.period), c.size) << Text(c.period.start) << " " << Text(c.period.end);
}

TEST(Buckets, SumsPerBucketAndConsumptionFromTheSums) {
  // Week of 3 to 9 Oct 2005 by days: two trips on the 3rd, none on the 4th, one on the 5th; one outside.
  const trips::TripList list = {TripOn(2005, 10, 2, 60, 60, 60000, 8000), TripOn(2005, 10, 3, 60, 60, 6000, 1600),
                                TripOn(2005, 10, 3, 60, 60, 54000, 4800), TripOn(2005, 10, 5, 60, 60, 0, 1600)};
  const Chart chart = ChartFor(list, {D(2005, 10, 3), D(2005, 10, 9), "Неделя"}, PeriodKind::Week);
  ASSERT_EQ(chart.buckets.size(), 7u);
  const Bucket& third = chart.buckets[0];
  EXPECT_EQ(third.trips, 2u);
  EXPECT_DOUBLE_EQ(Kilometres(third), 10.0);
  EXPECT_DOUBLE_EQ(Litres(third), 0.4);
  // 0.4 l over 10 km, not the mean of the trips' 10 and 3.33 l/100 km.
  EXPECT_DOUBLE_EQ(Consumption(third).value(), 4.0);
  EXPECT_EQ(chart.buckets[1], (Bucket{D(2005, 10, 4), D(2005, 10, 4)}));
  EXPECT_FALSE(Consumption(chart.buckets[1])) << "an empty day is a gap, not zero";
  EXPECT_EQ(chart.buckets[2].trips, 1u);
  EXPECT_FALSE(Consumption(chart.buckets[2])) << "no distance, no consumption";
  EXPECT_EQ(BucketHoverText(chart, 0), "3-ОКТ-2005\nМаршрутов: 2\nПуть: 10.0 км\nТопливо: 0.4 л\nРасход: 4.0 л/100км");
  EXPECT_EQ(BucketHoverText(chart, 1), "4-ОКТ-2005\nМаршрутов нет");
  EXPECT_EQ(BucketLabel(chart, 0), "3");
}

TEST(Buckets, OneTripGivesTheFiguresOfItsPeriod) {
  const trips::TripList list = {TripOn(2005, 10, 5, 600, 320, 18000, 4000)};
  const Statistics s = ForChoice(list, 0, PeriodKind::Everything);
  const Chart chart = ChartFor(list, s.period, PeriodKind::Everything);
  ASSERT_EQ(chart.buckets.size(), 1u);
  EXPECT_EQ(chart.buckets[0].distance, s.figures.distance);
  EXPECT_EQ(chart.buckets[0].fuel, s.figures.fuel);
  EXPECT_EQ(BucketLabel(chart, 0), "ОКТ");
  EXPECT_EQ(BucketCaption(chart, 0), "Октябрь 2005 года");
}

TEST(Buckets, InvalidDateAnywhereStopsTheChart) {
  trips::TripList list = {TripOn(2005, 10, 5), TripOn(2005, 10, 6)};
  list[1].Month = 12;
  EXPECT_THROW(MakeBuckets(list, {D(2005, 10, 5), D(2005, 10, 5), ""}, BucketSize::Day), InvalidTripDate);
}

}  // namespace
}  // namespace riventar::stats
