#include "core/trips/trip_text.h"

#include <array>
#include <charconv>
#include <string>
#include <tuple>
#include <type_traits>

#include "base/text/cp1251.h"

namespace riventar::trips {

const std::array<std::string_view, TableColumns> TableHeadings = {
    "N", "Дата", "Время", "На маршруте", "В движении", "Путь", "Скорость", "Топливо", "Расход"};

const std::array<std::string_view, 7> WeekdayShortNames = {"ПН", "ВТ", "СР", "ЧТ", "ПТ", "СБ", "ВС"};

const std::array<std::string_view, 12> MonthShortNames = {"ЯНВ", "ФЕВ", "МАР", "АПР", "МАЙ", "ИЮН",
                                                          "ИЮЛ", "АВГ", "СЕН", "ОКТ", "НОЯ", "ДЕК"};

namespace {

// Decimal, zero-padded to at least `width` digits ("%W.Wu").
void AppendNumber(std::string& out, std::uint64_t value, int width = 1) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  for (auto n = end - digits; n < width; ++n) out += '0';
  out.append(digits, end);
}

// whole "." tenth
void AppendDecimal(std::string& out, std::uint64_t whole, std::uint64_t tenth, int wholeWidth = 1) {
  AppendNumber(out, whole, wholeWidth);
  out += '.';
  AppendNumber(out, tenth);
}

void AppendDuration(std::string& out, std::uint32_t v) {
  AppendNumber(out, (v / 3600) % 256, 2);
  out += ':';
  AppendNumber(out, (v % 3600) / 60, 2);
  out += ':';
  AppendNumber(out, v % 60, 2);
}

}  // namespace

const CellNames& Utf8Names() {
  static const CellNames names{WeekdayShortNames, MonthShortNames, UnknownWeekdayName, UnknownMonthName};
  return names;
}

const CellNames& Cp1251Names() {
  // The converted names are statics of their own, built before the views
  // into them: nothing the views point at is ever moved or copied.
  const auto convert = [](const auto& names) {
    std::array<std::string, std::tuple_size_v<std::decay_t<decltype(names)>>> out;
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = text::ToCp1251(names[i]);
    return out;
  };
  static const std::array<std::string, 7> weekdays = convert(WeekdayShortNames);
  static const std::array<std::string, 12> months = convert(MonthShortNames);
  static const CellNames names = [] {
    CellNames n{{}, {}, UnknownWeekdayName, UnknownMonthName};
    for (std::size_t i = 0; i < 7; ++i) n.Weekdays[i] = weekdays[i];
    for (std::size_t i = 0; i < 12; ++i) n.Months[i] = months[i];
    return n;
  }();
  return names;
}

std::string_view MonthShortName(std::uint8_t month) {
  return month < MonthShortNames.size() ? MonthShortNames[month] : UnknownMonthName;
}

void AppendCellText(std::string& out, const TripRecord& r, std::size_t rowNumber, int column, const CellNames& names) {
  switch (column) {
    case 0:
      AppendNumber(out, rowNumber);
      break;
    case 1:  // "%s-%2.2d-%s-20%2.2d"
      out += r.Weekday < 7 ? names.Weekdays[r.Weekday] : names.UnknownWeekday;
      out += '-';
      AppendNumber(out, r.Day, 2);
      out += '-';
      out += r.Month < 12 ? names.Months[r.Month] : names.UnknownMonth;
      out += "-20";
      AppendNumber(out, r.Year, 2);
      break;
    case 2:
      AppendNumber(out, r.Hour, 2);
      out += ':';
      AppendNumber(out, r.Minute, 2);
      break;
    case 3:
      AppendDuration(out, r.TripTime);
      break;
    case 4:
      AppendDuration(out, r.MovingTime);
      break;
    case 5:
      AppendDecimal(out, r.Distance / DistancePerKm, (r.Distance / DistancePerTenthKm) % 10);
      break;
    case 6:
      AppendDecimal(out, r.AvgSpeed / 10, r.AvgSpeed % 10, 3);
      break;
    case 7:
      AppendDecimal(out, r.Fuel / FuelPerLitre, (r.Fuel / FuelPerTenthLitre) % 10);
      break;
    case 8:
      AppendDecimal(out, (r.Consumption / 10) % 256, r.Consumption % 10);
      break;
    default:
      break;
  }
}

std::string CellText(const TripRecord& r, std::size_t rowNumber, int column) {
  std::string text;
  AppendCellText(text, r, rowNumber, column, Utf8Names());
  return text;
}

std::string DateText(const TripRecord& r) { return CellText(r, 0, 1); }
std::string StartTimeText(const TripRecord& r) { return CellText(r, 0, 2); }

}  // namespace riventar::trips
