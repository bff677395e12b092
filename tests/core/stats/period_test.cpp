#include "core/stats/period.h"

#include <gtest/gtest.h>

#include "tests/core/stats/trip_factory.h"

namespace riventar::stats {
namespace {

using namespace std::chrono;
using testing::TripOn;

Date D(int y, unsigned m, unsigned d) { return Date{year{y}, month{m}, day{d}}; }

struct CalendarCase {
  const char* name;
  Date anchor;
  PeriodKind kind;
  Date start;
  Date end;
  const char* caption;
};

class CalendarPeriodTest : public ::testing::TestWithParam<CalendarCase> {};

TEST_P(CalendarPeriodTest, DerivesDatesAndCaption) {
  const CalendarCase& c = GetParam();
  const auto a = c.anchor;
  const Period p = CalendarPeriod(c.kind, TripOn(int{a.year()}, unsigned{a.month()}, unsigned{a.day()}));
  EXPECT_EQ(p.start, c.start);
  EXPECT_EQ(p.end, c.end);
  EXPECT_EQ(p.caption, c.caption);
  EXPECT_TRUE(p.Contains(a));
}

INSTANTIATE_TEST_SUITE_P(
    Periods, CalendarPeriodTest,
    ::testing::Values(
        CalendarCase{"Day", D(2005, 10, 5), PeriodKind::Day, D(2005, 10, 5), D(2005, 10, 5), "СР-05-ОКТ-2005"},
        CalendarCase{"Week", D(2005, 10, 5), PeriodKind::Week, D(2005, 10, 3), D(2005, 10, 9),
                     "Неделя с 3-ОКТ-2005 по 9-ОКТ-2005"},
        CalendarCase{"Month", D(2005, 10, 5), PeriodKind::Month, D(2005, 10, 1), D(2005, 10, 31), "Октябрь 2005 года"},
        CalendarCase{"Autumn", D(2005, 10, 5), PeriodKind::Season, D(2005, 9, 1), D(2005, 11, 30),
                     "Осень (СЕН-ОКТ-НОЯ) 2005 года"},
        CalendarCase{"Year", D(2005, 10, 5), PeriodKind::Year, D(2005, 1, 1), D(2005, 12, 31), "2005 год"},
        CalendarCase{"WeekAcrossYear", D(2005, 1, 1), PeriodKind::Week, D(2004, 12, 27), D(2005, 1, 2),
                     "Неделя с 27-ДЕК-2004 по 2-ЯНВ-2005"},
        CalendarCase{"WeekAcrossMonth", D(2005, 11, 2), PeriodKind::Week, D(2005, 10, 31), D(2005, 11, 6),
                     "Неделя с 31-ОКТ-2005 по 6-НОЯ-2005"},
        CalendarCase{"WeekFromMonday", D(2005, 10, 3), PeriodKind::Week, D(2005, 10, 3), D(2005, 10, 9),
                     "Неделя с 3-ОКТ-2005 по 9-ОКТ-2005"},
        CalendarCase{"WeekToSunday", D(2005, 10, 9), PeriodKind::Week, D(2005, 10, 3), D(2005, 10, 9),
                     "Неделя с 3-ОКТ-2005 по 9-ОКТ-2005"},
        CalendarCase{"WinterJanuaryLeap", D(2004, 1, 15), PeriodKind::Season, D(2003, 12, 1), D(2004, 2, 29),
                     "Зима (ДЕК-ЯНВ-ФЕВ) 2003/2004 годов"},
        CalendarCase{"WinterDecember", D(2005, 12, 20), PeriodKind::Season, D(2005, 12, 1), D(2006, 2, 28),
                     "Зима (ДЕК-ЯНВ-ФЕВ) 2005/2006 годов"},
        CalendarCase{"WinterDecemberIntoLeap", D(2003, 12, 1), PeriodKind::Season, D(2003, 12, 1), D(2004, 2, 29),
                     "Зима (ДЕК-ЯНВ-ФЕВ) 2003/2004 годов"},
        CalendarCase{"WinterFebruaryOfCentury", D(2100, 2, 28), PeriodKind::Season, D(2099, 12, 1), D(2100, 2, 28),
                     "Зима (ДЕК-ЯНВ-ФЕВ) 2099/2100 годов"},
        CalendarCase{"WinterJanuary2000", D(2000, 1, 10), PeriodKind::Season, D(1999, 12, 1), D(2000, 2, 29),
                     "Зима (ДЕК-ЯНВ-ФЕВ) 1999/2000 годов"},
        CalendarCase{"SpringLastDay", D(2005, 5, 31), PeriodKind::Season, D(2005, 3, 1), D(2005, 5, 31),
                     "Весна (МАР-АПР-МАЙ) 2005 года"},
        CalendarCase{"Summer", D(2005, 6, 1), PeriodKind::Season, D(2005, 6, 1), D(2005, 8, 31),
                     "Лето (ИЮН-ИЮЛ-АВГ) 2005 года"},
        CalendarCase{"February2000", D(2000, 2, 10), PeriodKind::Month, D(2000, 2, 1), D(2000, 2, 29),
                     "Февраль 2000 года"},
        CalendarCase{"February2100", D(2100, 2, 10), PeriodKind::Month, D(2100, 2, 1), D(2100, 2, 28),
                     "Февраль 2100 года"},
        CalendarCase{"April", D(2005, 4, 30), PeriodKind::Month, D(2005, 4, 1), D(2005, 4, 30), "Апрель 2005 года"}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST(PeriodDays, SeasonLengths) {
  const auto length = [](Date anchor) {
    const Period p = CalendarPeriod(PeriodKind::Season,
                                    TripOn(int{anchor.year()}, unsigned{anchor.month()}, unsigned{anchor.day()}));
    return (sys_days{p.end} - sys_days{p.start}).count() + 1;
  };
  EXPECT_EQ(length(D(2005, 12, 20)), 90);
  EXPECT_EQ(length(D(2004, 1, 15)), 91);
  EXPECT_EQ(length(D(2005, 4, 1)), 92);
  EXPECT_EQ(length(D(2005, 7, 1)), 92);
  EXPECT_EQ(length(D(2005, 10, 1)), 91);
}

TEST(PopupCaptions, NameTheAnchorsDayMonthAndYear) {
  const MenuCaptions c = PopupCaptions(TripOn(2005, 10, 5));
  EXPECT_EQ(c.day, "За СР-05-ОКТ-2005");
  EXPECT_EQ(c.month, "За Октябрь 2005 года");
  EXPECT_EQ(c.year, "За 2005 год");

  trips::TripRecord damaged = TripOn(2005, 10, 5);
  damaged.Month = 14;
  EXPECT_EQ(PopupCaptions(damaged).month, "За ??? 2005 года");
}

TEST(SelectPeriod, FitsToFirstAndLastTripsButKeepsTheCaption) {
  const trips::TripList list = {TripOn(2005, 1, 1), TripOn(2005, 1, 1), TripOn(2005, 1, 3)};
  const Period week = SelectPeriod(list, 0, PeriodKind::Week);
  EXPECT_EQ(week.start, D(2005, 1, 1));
  EXPECT_EQ(week.end, D(2005, 1, 2));
  EXPECT_EQ(week.caption, "Неделя с 27-ДЕК-2004 по 2-ЯНВ-2005");

  const Period year = SelectPeriod(list, 2, PeriodKind::Year);
  EXPECT_EQ(year.start, D(2005, 1, 1));
  EXPECT_EQ(year.end, D(2005, 1, 3));
  EXPECT_EQ(year.caption, "2005 год");

  const Period all = SelectPeriod(list, 1, PeriodKind::Everything);
  EXPECT_EQ(all.start, D(2005, 1, 1));
  EXPECT_EQ(all.end, D(2005, 1, 3));
  EXPECT_EQ(all.caption, "с СБ-01-ЯНВ-2005 по ПН-03-ЯНВ-2005");
}

TEST(SelectPeriod, SingleTripGivesItsDateForEveryTag) {
  const trips::TripList list = {TripOn(2005, 10, 5)};
  for (int tag = 0; tag < PeriodKinds; ++tag) {
    const Period p = SelectPeriod(list, 0, static_cast<PeriodKind>(tag));
    EXPECT_EQ(p.start, D(2005, 10, 5)) << tag;
    EXPECT_EQ(p.end, D(2005, 10, 5)) << tag;
  }
}

TEST(TripDate, RejectsWhatIsNoCalendarDate) {
  struct Case {
    std::uint8_t year, month, day;
    bool valid;
  };
  for (const Case c : {Case{5, 9, 5, true}, Case{0, 1, 29, true}, Case{1, 1, 29, false}, Case{100, 1, 29, false},
                       Case{5, 12, 1, false}, Case{5, 255, 1, false}, Case{5, 0, 0, false}, Case{5, 3, 31, false},
                       Case{5, 11, 31, true}, Case{255, 11, 31, true}}) {
    trips::TripRecord r;
    r.Year = c.year;
    r.Month = c.month;
    r.Day = c.day;
    EXPECT_EQ(TripDate(r).has_value(), c.valid) << int{c.year} << "/" << int{c.month} << "/" << int{c.day};
  }
}

TEST(SelectPeriod, ThrowsForAnInvalidAnchorFirstOrLastDate) {
  trips::TripRecord bad = TripOn(2005, 4, 30);
  bad.Day = 31;  // 31 April
  for (std::size_t at : {0u, 1u, 2u}) {
    trips::TripList list = {TripOn(2005, 4, 1), TripOn(2005, 4, 2), TripOn(2005, 4, 3)};
    list[at] = bad;
    try {
      SelectPeriod(list, 1, PeriodKind::Day);
      ADD_FAILURE() << "no error for entry " << at;
    } catch (const InvalidTripDate& e) {
      EXPECT_EQ(e.Index(), at);
    }
  }
}

}  // namespace
}  // namespace riventar::stats
