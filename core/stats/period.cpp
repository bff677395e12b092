#include "core/stats/period.h"

#include <algorithm>

#include "core/trips/trip_text.h"

namespace riventar::stats {

using namespace std::chrono;

const std::array<std::string_view, 12> MonthNames = {"Январь", "Февраль", "Март",     "Апрель",  "Май",    "Июнь",
                                                     "Июль",   "Август",  "Сентябрь", "Октябрь", "Ноябрь", "Декабрь"};

std::string_view MonthName(std::uint8_t month) {
  return month < MonthNames.size() ? MonthNames[month] : trips::UnknownMonthName;
}

std::optional<Date> TripDate(const trips::TripRecord& r) {
  const Date d{year{2000 + r.Year}, month{r.Month + 1u}, day{r.Day}};
  if (!d.ok()) return std::nullopt;
  return d;
}

InvalidTripDate::InvalidTripDate(std::size_t index)
    : std::runtime_error("trip " + std::to_string(index + 1) + " has no calendar date"), index_(index) {}

Date CalendarDate(const trips::TripRecord& r, std::size_t index) {
  const std::optional<Date> d = TripDate(r);
  if (!d) throw InvalidTripDate(index);
  return *d;
}

namespace {

std::string YearText(int y) { return std::to_string(y); }

// "3-ОКТ-2005": day and year without padding.
std::string ShortDateText(Date d) {
  return std::to_string(unsigned{d.day()}) + "-" +
         std::string(trips::MonthShortName(static_cast<std::uint8_t>(unsigned{d.month()} - 1))) + "-" +
         YearText(int{d.year()});
}

Date LastDayOf(year y, month m) { return Date{year_month_day_last{y, month_day_last{m}}}; }

Period Season(year y, unsigned m) {
  const int yy = int{y};
  if (m == 12)
    return {y / December / 1, LastDayOf(y + years{1}, February),
            "Зима (ДЕК-ЯНВ-ФЕВ) " + YearText(yy) + "/" + YearText(yy + 1) + " годов"};
  if (m <= 2)
    return {(y - years{1}) / December / 1, LastDayOf(y, February),
            "Зима (ДЕК-ЯНВ-ФЕВ) " + YearText(yy - 1) + "/" + YearText(yy) + " годов"};
  if (m <= 5) return {y / March / 1, y / May / 31, "Весна (МАР-АПР-МАЙ) " + YearText(yy) + " года"};
  if (m <= 8) return {y / June / 1, y / August / 31, "Лето (ИЮН-ИЮЛ-АВГ) " + YearText(yy) + " года"};
  return {y / September / 1, y / November / 30, "Осень (СЕН-ОКТ-НОЯ) " + YearText(yy) + " года"};
}

}  // namespace

MenuCaptions PopupCaptions(const trips::TripRecord& anchor) {
  const std::string y = YearText(2000 + anchor.Year);
  return {"За " + trips::DateText(anchor), "За " + std::string(MonthName(anchor.Month)) + " " + y + " года",
          "За " + y + " год"};
}

Period CalendarPeriod(PeriodKind kind, const trips::TripRecord& anchor) {
  const Date a = TripDate(anchor).value();
  const year y = a.year();
  switch (kind) {
    case PeriodKind::Day:
      return {a, a, trips::DateText(anchor)};
    case PeriodKind::Week: {
      const sys_days monday = sys_days{a} - (weekday{sys_days{a}} - Monday);
      const Date start{monday};
      const Date end{monday + days{6}};
      return {start, end, "Неделя с " + ShortDateText(start) + " по " + ShortDateText(end)};
    }
    case PeriodKind::Month:
      return {y / a.month() / 1, LastDayOf(y, a.month()),
              std::string(MonthNames[unsigned{a.month()} - 1]) + " " + YearText(int{y}) + " года"};
    case PeriodKind::Season:
      return Season(y, unsigned{a.month()});
    case PeriodKind::Year:
      return {y / January / 1, y / December / 31, YearText(int{y}) + " год"};
    case PeriodKind::Everything:
      break;
  }
  throw std::invalid_argument("the whole list has no calendar period around one trip");
}

Period SelectPeriod(const trips::TripList& trips, std::size_t anchor, PeriodKind kind) {
  // The earliest and the latest trip held, wherever they stand in the list: a
  // table read twice or appended to is not in date order. Among equal dates the
  // first earliest and the last latest are taken, which for a list in date
  // order are its first and last entries.
  std::size_t earliest = 0;
  std::size_t latest = 0;
  Date first = CalendarDate(trips.front(), 0);
  Date last = first;
  for (std::size_t i = 1; i < trips.size(); ++i) {
    const Date d = CalendarDate(trips[i], i);
    if (d < first) {
      first = d;
      earliest = i;
    }
    if (d >= last) {
      last = d;
      latest = i;
    }
  }
  CalendarDate(trips.at(anchor), anchor);
  Period p =
      kind == PeriodKind::Everything
          ? Period{first, last, "с " + trips::DateText(trips[earliest]) + " по " + trips::DateText(trips[latest])}
          : CalendarPeriod(kind, trips[anchor]);
  // The anchor lies between the earliest and the latest trip, so the fitted
  // period always holds it.
  p.start = std::max(p.start, first);
  p.end = std::min(p.end, last);
  return p;
}

}  // namespace riventar::stats
