#pragma once
// The texts the trip table shows, also the source of the spreadsheet export
// and of the date captions of the period menu. UTF-8.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/trips/trip_record.h"

namespace riventar::trips {

inline constexpr int TableColumns = 9;

extern const std::array<std::string_view, TableColumns> TableHeadings;
extern const std::array<std::string_view, 7> WeekdayShortNames;  // 0 = Monday
extern const std::array<std::string_view, 12> MonthShortNames;   // 0 = January

// Shown for a weekday above 6 or a month above 11 (a damaged file can hold
// such values); the lookups never leave their tables.
inline constexpr std::string_view UnknownWeekdayName = "??";
inline constexpr std::string_view UnknownMonthName = "???";

std::string_view MonthShortName(std::uint8_t month);

std::string DateText(const TripRecord& r);       // "СР-05-ОКТ-2005"
std::string StartTimeText(const TripRecord& r);  // "08:15"

// Column 0 is the 1-based row number; durations "01:02:03" with the hours
// modulo 256, distance "25.3" km, speed "033.6", fuel "2.1" l, consumption
// "8.3" with its whole part modulo 256.
std::string CellText(const TripRecord& r, std::size_t rowNumber, int column);

// The name tables a cell text is built from: UTF-8 for the screen,
// Windows-1251 for the export. One formatting rule serves both.
struct CellNames {
  std::array<std::string_view, 7> Weekdays;
  std::array<std::string_view, 12> Months;
  std::string_view UnknownWeekday;
  std::string_view UnknownMonth;
};
const CellNames& Utf8Names();
const CellNames& Cp1251Names();
void AppendCellText(std::string& out, const TripRecord& r, std::size_t rowNumber, int column, const CellNames& names);

}  // namespace riventar::trips
