#include "core/trips/trip_text.h"

#include <cstdio>

namespace riventar::trips {

const std::array<std::string_view, TableColumns> TableHeadings = {
    "N", "Дата", "Время", "На маршруте", "В движении", "Путь", "Скорость", "Топливо", "Расход"};

const std::array<std::string_view, 7> WeekdayShortNames = {"ПН", "ВТ", "СР", "ЧТ", "ПТ", "СБ", "ВС"};

const std::array<std::string_view, 12> MonthShortNames = {"ЯНВ", "ФЕВ", "МАР", "АПР", "МАЙ", "ИЮН",
                                                          "ИЮЛ", "АВГ", "СЕН", "ОКТ", "НОЯ", "ДЕК"};

namespace {

template <typename... Args>
std::string Format(const char* format, Args... args) {
  char buffer[64];
  const int n = std::snprintf(buffer, sizeof buffer, format, args...);
  return std::string(buffer, static_cast<std::size_t>(n));
}

}  // namespace

std::string_view WeekdayShortName(std::uint8_t weekday) {
  return weekday < WeekdayShortNames.size() ? WeekdayShortNames[weekday] : UnknownWeekdayName;
}

std::string_view MonthShortName(std::uint8_t month) {
  return month < MonthShortNames.size() ? MonthShortNames[month] : UnknownMonthName;
}

std::string DateText(const TripRecord& r) {
  std::string text(WeekdayShortName(r.Weekday));
  text += Format("-%2.2d-", int{r.Day});
  text += MonthShortName(r.Month);
  text += Format("-20%2.2d", int{r.Year});
  return text;
}

std::string StartTimeText(const TripRecord& r) { return Format("%2.2d:%2.2d", int{r.Hour}, int{r.Minute}); }

std::string DurationText(std::uint32_t v) {
  return Format("%2.2u:%2.2u:%2.2u", unsigned{(v / 3600) % 256}, unsigned{(v % 3600) / 60}, unsigned{v % 60});
}

std::string DistanceText(std::uint32_t v) { return Format("%u.%1.1u", unsigned{v / 6000}, unsigned{(v / 600) % 10}); }

std::string SpeedText(std::uint32_t v) { return Format("%3.3u.%1.1u", unsigned{v / 10}, unsigned{v % 10}); }

std::string FuelText(std::uint32_t v) { return Format("%u.%1.1u", unsigned{v / 16000}, unsigned{(v / 1600) % 10}); }

std::string ConsumptionText(std::uint32_t v) {
  return Format("%u.%1.1u", unsigned{(v / 10) % 256}, unsigned{v % 10});
}

std::string CellText(const TripRecord& r, std::size_t rowNumber, int column) {
  switch (column) {
    case 0: return std::to_string(rowNumber);
    case 1: return DateText(r);
    case 2: return StartTimeText(r);
    case 3: return DurationText(r.TripTime);
    case 4: return DurationText(r.MovingTime);
    case 5: return DistanceText(r.Distance);
    case 6: return SpeedText(r.AvgSpeed);
    case 7: return FuelText(r.Fuel);
    case 8: return ConsumptionText(r.Consumption);
    default: return {};
  }
}

}  // namespace riventar::trips
