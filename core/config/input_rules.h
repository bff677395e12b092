#pragma once
// What the configuration window accepts from its fields before it sends
// anything. Each action checks its fields one by one in a fixed order and
// stops at the first failing rule, whose message names the field.
#include <limits>
#include <string_view>

namespace riventar::config {

inline constexpr std::string_view InputErrorCaption = "Ошибка ввода параметра";

struct RangeRule {
  int min;
  int max;
  std::string_view message;
  constexpr bool Accepts(int value) const { return value >= min && value <= max; }
};

inline constexpr RangeRule BrightnessRule{1, 19,
                                          "Значение яркости подсветки ЖКИ\nдолжно лежать в диапазоне от 1 до 19."};

// Power-off delay, checked seconds, minutes, hours, then the total.
inline constexpr RangeRule DelaySecondsRule{
    0, 59, "Значение секунд задержки выключения\nдолжно лежать в диапазоне от 0 до 59."};
inline constexpr RangeRule DelayMinutesRule{
    0, 59, "Значение минут задержки выключения\nдолжно лежать в диапазоне от 0 до 59."};
inline constexpr RangeRule DelayHoursRule{0, 1,
                                          "Значение часов задержки выключения\nдолжно лежать в диапазоне от 0 до 1."};
// The largest whole number of seconds whose tenths fit in four hex digits.
inline constexpr RangeRule DelayTotalRule{
    0, 6553, "Значение задержки выключения\nне должно превышать 1 час 49 минут 13 секунд."};

// Clock and calendar, checked minutes, hours, day, month, year; then the date
// must exist.
inline constexpr RangeRule ClockMinutesRule{0, 59,
                                            "Значение минут текущего времени\nдолжно лежать в диапазоне от 0 до 59."};
inline constexpr RangeRule ClockHoursRule{0, 23,
                                          "Значение часов текущего времени\nдолжно лежать в диапазоне от 0 до 23."};
inline constexpr RangeRule ClockDayRule{1, 31, "Значение текущей даты\nдолжно лежать в диапазоне от 1 до 31."};
inline constexpr RangeRule ClockMonthRule{1, 12, "Значение номера месяца\nдолжно лежать в диапазоне от 1 до 12."};
// Two typed digits always pass; a pasted "-1" would not fit the command's
// two-digit field.
inline constexpr RangeRule ClockYearRule{0, 99, "Значение года текущей даты\nдолжно лежать в диапазоне от 0 до 99."};

// Clock correction interval in units of 10 minutes, checked against its
// limit, then its sign: a pasted negative interval would turn the direction
// round.
inline constexpr RangeRule CorrectionIntervalRule{std::numeric_limits<int>::min(), 127,
                                                  "Интервал коррекции не может\nпревышать 1270 минут.\n"};
inline constexpr RangeRule CorrectionSignRule{0, std::numeric_limits<int>::max(),
                                              "Интервал коррекции не может\nбыть отрицательным.\n"};

// Conversion failures, which the window leaves to the application's error
// box: a field that is no integer (after its text in quotes), a date the
// month does not have.
inline constexpr std::string_view NotIntegerText = " is not a valid integer value";
inline constexpr std::string_view NoSuchDateText = "Invalid argument to date encode";

// A list with no entry selected (the device reported a value the list lacks,
// or text was typed into it): the device would get a value it cannot take.
inline constexpr std::string_view StartTripDelayNotChosenMessage =
    "Задержка начала маршрута\nдолжна быть выбрана из списка.";
inline constexpr std::string_view ModeNotChosenMessage = "Режим работы\nдолжен быть выбран из списка.";

// Entries of the fixed lists; a list position is the value on the wire.
inline constexpr std::string_view StartTripDelayEntries[] = {"Отключено", "1 час",   "2 часа",  "3 часа",  "4 часа",
                                                             "5 часов",   "6 часов", "7 часов", "8 часов", "9 часов"};
inline constexpr std::string_view ModeEntries[] = {"Часы/Календарь", "Маршрутный компьютер", "Ошибки ЭБУ",
                                                   "Переменные ЭБУ", "Управление ИМ ЭБУ"};
inline constexpr std::string_view CorrectionEntries[] = {"Прибавлять секунду каждые", "Вычитать секунду каждые",
                                                         "Коррекция выключена"};

// The key filter of the numeric fields: digits and backspace pass.
constexpr bool DigitFieldAccepts(char32_t c) { return (c >= U'0' && c <= U'9') || c == U'\b'; }

}  // namespace riventar::config
