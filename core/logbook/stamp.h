#pragma once
// A trip's date and time as one integer whose order is date and time order:
// year, month, day, hour, minute, weekday, a byte each, as recorded (a damaged
// month sorts where its byte puts it). With the four measured values it is
// the trip's identity (TripKey) in integers: how the stores keep it.
#include <cstdint>
#include <string>

#include "core/trips/trip_record.h"

namespace riventar::logbook {

inline constexpr std::int64_t MinuteUnit = std::int64_t{1} << 8;
inline constexpr std::int64_t DayUnit = std::int64_t{1} << 24;
inline constexpr std::int64_t MonthUnit = std::int64_t{1} << 32;  // stamp / MonthUnit = year * 256 + month
inline constexpr std::int64_t YearUnit = std::int64_t{1} << 40;
inline constexpr std::int64_t LastStamp = (std::int64_t{1} << 48) - 1;

std::int64_t Stamp(const trips::TripRecord& r);

// The trip of a stamp and its four measured values, derived values filled in.
trips::TripRecord TripOf(std::int64_t stamp, std::int64_t tripTime, std::int64_t movingTime, std::int64_t distance,
                         std::int64_t fuel);

// "YYYY-MM-DD" of a stamp.
std::string DateText(std::int64_t stamp);

// The first stamp of a day "YYYY-MM-DD" (or the last, with `end`), clamped to
// the years a trip can hold. Throws StoreError (Other, naming `path`) for a
// text that is no date.
std::int64_t DayBound(const std::string& date, bool end, const std::string& path);

}  // namespace riventar::logbook
