#pragma once
// The period menu's captions and the period a menu choice stands for: two
// inclusive calendar dates around the anchor trip, fitted to the trips held.
// All texts are UTF-8.
#include <array>
#include <chrono>
#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "core/trips/trip_record.h"

namespace riventar::stats {

using Date = std::chrono::year_month_day;

// The menu items in order; the value is the item's Tag.
enum class PeriodKind : int { Day = 0, Week = 1, Month = 2, Season = 3, Year = 4, Everything = 5 };
inline constexpr int PeriodKinds = 6;

extern const std::array<std::string_view, 12> MonthNames;  // 0 = January, nominative
// Stays inside the table; a month above 11 gets the table's unknown-month text.
std::string_view MonthName(std::uint8_t month);

// Year 2000 + Year, month Month + 1, day Day; nothing when that is no calendar
// date (Month above 11, Day 0 or beyond the month's length).
std::optional<Date> TripDate(const trips::TripRecord& r);

// A trip in `trips` whose date is no calendar date; the request it belongs to
// cannot go on.
class InvalidTripDate : public std::runtime_error {
 public:
  explicit InvalidTripDate(std::size_t index);
  std::size_t Index() const { return index_; }

 private:
  std::size_t index_;
};

// Like TripDate, but throws InvalidTripDate(index).
Date CalendarDate(const trips::TripRecord& r, std::size_t index);

// The captions items 0, 2 and 4 carry while the menu is shown.
struct MenuCaptions {
  std::string day;    // "За СР-05-ОКТ-2005"
  std::string month;  // "За Октябрь 2005 года"
  std::string year;   // "За 2005 год"
};
MenuCaptions PopupCaptions(const trips::TripRecord& anchor);

struct Period {
  Date start;  // inclusive
  Date end;    // inclusive
  std::string caption;

  bool Contains(Date d) const { return start <= d && d <= end; }
};

// The whole calendar period of `kind` around `anchor` (tags 0 to 4) with its
// caption. The anchor's date must be a calendar date (bad_optional_access
// otherwise); Everything has no such period (invalid_argument).
Period CalendarPeriod(PeriodKind kind, const trips::TripRecord& anchor);

// The period of a menu choice, fitted to the earliest and the latest date of
// `trips` in whatever order they stand; the caption keeps naming the whole
// calendar period ("Всего" names the earliest and the latest trip). Throws
// InvalidTripDate for the first entry whose date is no calendar date.
// `anchor` indexes `trips`, which must not be empty.
Period SelectPeriod(const trips::TripList& trips, std::size_t anchor, PeriodKind kind);

}  // namespace riventar::stats
