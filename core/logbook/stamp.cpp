#include "core/logbook/stamp.h"

#include <charconv>
#include <cstdio>

#include "core/logbook/logbook.h"

namespace riventar::logbook {
namespace {

std::uint8_t ByteOf(std::int64_t stamp, std::int64_t unit) { return static_cast<std::uint8_t>(stamp / unit % 256); }

}  // namespace

std::int64_t Stamp(const trips::TripRecord& r) {
  return r.Year * YearUnit + r.Month * MonthUnit + r.Day * DayUnit + r.Hour * (MinuteUnit << 8) +
         r.Minute * MinuteUnit + r.Weekday;
}

trips::TripRecord TripOf(std::int64_t stamp, std::int64_t tripTime, std::int64_t movingTime, std::int64_t distance,
                         std::int64_t fuel) {
  trips::TripRecord r;
  r.Year = ByteOf(stamp, YearUnit);
  r.Month = ByteOf(stamp, MonthUnit);
  r.Day = ByteOf(stamp, DayUnit);
  r.Hour = ByteOf(stamp, MinuteUnit << 8);
  r.Minute = ByteOf(stamp, MinuteUnit);
  r.Weekday = ByteOf(stamp, 1);
  r.TripTime = static_cast<std::uint32_t>(tripTime);
  r.MovingTime = static_cast<std::uint32_t>(movingTime);
  r.Distance = static_cast<std::uint32_t>(distance);
  r.Fuel = static_cast<std::uint32_t>(fuel);
  trips::Derive(r);
  return r;
}

std::string DateText(std::int64_t stamp) {
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", 2000 + ByteOf(stamp, YearUnit), ByteOf(stamp, MonthUnit) + 1,
                ByteOf(stamp, DayUnit));
  return text;
}

std::int64_t DayBound(const std::string& date, bool end, const std::string& path) {
  int year = 0, month = 0, day = 0;
  const auto number = [&date](std::size_t at, std::size_t length, int& out) {
    const char* first = date.data() + at;
    const auto [ptr, ec] = std::from_chars(first, first + length, out);
    return ec == std::errc{} && ptr == first + length;
  };
  if (date.size() != 10 || date[4] != '-' || date[7] != '-' || !number(0, 4, year) || !number(5, 2, month) ||
      !number(8, 2, day) || month < 1 || month > 12 || day < 1 || day > 31)
    throw StoreError(StoreError::Kind::Other, path, "not a date (YYYY-MM-DD): " + date);
  if (year < 2000) return end ? -1 : 0;
  if (year > 2255) return LastStamp;
  const std::int64_t first = (year - 2000) * YearUnit + (month - 1) * MonthUnit + day * DayUnit;
  return end ? first + DayUnit - 1 : first;
}

}  // namespace riventar::logbook
