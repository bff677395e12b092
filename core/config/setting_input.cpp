#include "core/config/setting_input.h"

#include <algorithm>
#include <chrono>
#include <iterator>
#include <limits>

#include "core/config/input_rules.h"

namespace riventar::config {
namespace {

// White space beyond ASCII, in UTF-8: U+0085, U+00A0 and the space, line and
// paragraph separators. Pasted text can begin with any of them.
constexpr std::string_view WideSpaces[] = {"\u0085", "\u00a0", "\u1680", "\u2000", "\u2001", "\u2002", "\u2003",
                                           "\u2004", "\u2005", "\u2006", "\u2007", "\u2008", "\u2009", "\u200a",
                                           "\u2028", "\u2029", "\u202f", "\u205f", "\u3000"};

// The length of the white space character `text` starts with; 0 for none.
std::size_t SpaceAt(std::string_view text) {
  if (text.empty()) return 0;
  if (text.front() == ' ' || (text.front() >= '\t' && text.front() <= '\r')) return 1;
  const auto* wide = std::find_if(std::begin(WideSpaces), std::end(WideSpaces),
                                  [text](std::string_view space) { return text.starts_with(space); });
  return wide == std::end(WideSpaces) ? 0 : wide->size();
}

class Checks {
 public:
  // The field's value when it is an integer `rule` accepts.
  std::optional<int> operator()(InputField field, std::string_view text, const RangeRule& rule) {
    const std::optional<int> value = ParseInteger(text);
    if (!value) {
      refusals_.push_back({field, Refusal::Kind::NotInteger, rule.message, std::string(text)});
    } else if (!rule.Accepts(*value)) {
      Refuse(field, rule.message);
      return std::nullopt;
    }
    return value;
  }
  void Refuse(InputField field, std::string_view message, Refusal::Kind kind = Refusal::Kind::Rule) {
    refusals_.push_back({field, kind, message, {}});
  }
  bool Passed() const { return refusals_.empty(); }
  // The refusals, or else the value `make` makes of the fields that passed.
  template <typename Make>
  auto Result(Make&& make) -> Parsed<decltype(make())> {
    if (!Passed()) return {std::nullopt, std::move(refusals_)};
    return {std::forward<Make>(make)(), {}};
  }

 private:
  std::vector<Refusal> refusals_;
};

template <std::size_t N>
Parsed<std::uint8_t> Chosen(int listPosition, const std::string_view (&)[N], InputField field,
                            std::string_view notChosen) {
  Checks check;
  if (listPosition < 0 || listPosition >= static_cast<int>(N)) check.Refuse(field, notChosen);
  return check.Result([listPosition] { return static_cast<std::uint8_t>(listPosition); });
}

}  // namespace

std::optional<int> ParseInteger(std::string_view utf8) {
  while (const std::size_t space = SpaceAt(utf8)) utf8.remove_prefix(space);
  bool negative = false;
  if (!utf8.empty() && (utf8.front() == '-' || utf8.front() == '+')) {
    negative = utf8.front() == '-';
    utf8.remove_prefix(1);
  }
  if (utf8.empty()) return std::nullopt;
  long long value = 0;
  for (const char c : utf8) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > std::numeric_limits<int>::max() + (negative ? 1LL : 0LL)) return std::nullopt;
  }
  return static_cast<int>(negative ? -value : value);
}

Parsed<std::uint8_t> ParseBrightness(std::string_view level) {
  Checks check;
  const std::optional<int> value = check(InputField::Brightness, level, BrightnessRule);
  return check.Result([&] { return static_cast<std::uint8_t>(*value); });
}

Parsed<std::uint16_t> ParseShutdownDelay(std::string_view hours, std::string_view minutes, std::string_view seconds) {
  Checks check;
  const std::optional<int> s = check(InputField::DelaySeconds, seconds, DelaySecondsRule);
  const std::optional<int> m = check(InputField::DelayMinutes, minutes, DelayMinutesRule);
  const std::optional<int> h = check(InputField::DelayHours, hours, DelayHoursRule);
  const auto total = [&] { return *h * 3600 + *m * 60 + *s; };
  if (check.Passed() && !DelayTotalRule.Accepts(total())) check.Refuse(InputField::DelayHours, DelayTotalRule.message);
  return check.Result([&] { return static_cast<std::uint16_t>(total() * 10); });
}

Parsed<std::uint8_t> ParseStartTripDelay(int listPosition) {
  return Chosen(listPosition, StartTripDelayEntries, InputField::StartTripDelay, StartTripDelayNotChosenMessage);
}

Parsed<std::uint8_t> ParseMode(int listPosition) {
  return Chosen(listPosition, ModeEntries, InputField::Mode, ModeNotChosenMessage);
}

Parsed<std::uint8_t> ParseCorrection(int listPosition, std::string_view interval) {
  Checks check;
  if (listPosition == CorrectionOffPosition)
    return check.Result([] { return EncodeCorrection(CorrectionOffPosition, 0); });
  const std::optional<int> n = check(InputField::CorrectionInterval, interval, CorrectionIntervalRule);
  if (n && !CorrectionSignRule.Accepts(*n)) check.Refuse(InputField::CorrectionInterval, CorrectionSignRule.message);
  return check.Result([&] { return EncodeCorrection(listPosition, *n); });
}

Parsed<ClockSetting> ParseClock(const ClockText& fields) {
  Checks check;
  const std::optional<int> minute = check(InputField::ClockMinute, fields.minute, ClockMinutesRule);
  const std::optional<int> hour = check(InputField::ClockHour, fields.hour, ClockHoursRule);
  const std::optional<int> day = check(InputField::ClockDay, fields.day, ClockDayRule);
  const std::optional<int> month = check(InputField::ClockMonth, fields.month, ClockMonthRule);
  const std::optional<int> year = check(InputField::ClockYear, fields.year, ClockYearRule);
  const auto date = [&] {
    return std::chrono::year_month_day{std::chrono::year{2000 + *year},
                                       std::chrono::month{static_cast<unsigned>(*month)},
                                       std::chrono::day{static_cast<unsigned>(*day)}};
  };
  if (check.Passed() && !date().ok()) check.Refuse(InputField::ClockDay, {}, Refusal::Kind::NoSuchDate);
  return check.Result(
      [&] { return ClockSetting{*year, *month, IsoWeekday(2000 + *year, *month, *day), *day, *hour, *minute}; });
}

}  // namespace riventar::config
