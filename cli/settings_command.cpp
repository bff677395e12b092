#include "cli/settings_command.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <iostream>
#include <optional>
#include <string_view>
#include <utility>

#include "cli/exit_status.h"
#include "cli/output.h"
#include "core/config/device_exchange.h"
#include "core/config/device_settings.h"
#include "core/config/input_rules.h"
#include "platform/text/cp1251.h"

namespace riventar::cli {

const std::vector<std::string> SettingNames = {"brightness", "power-off", "start-delay", "mode", "correction", "clock"};

namespace {

// The window's list positions, in English.
constexpr std::string_view ModeNames[] = {"clock", "trip-computer", "ecu-errors", "ecu-variables", "ecu-control"};
constexpr std::string_view CorrectionNames[] = {"add", "subtract", "off"};

[[noreturn]] void InputError(std::string_view message) {
  std::string text(message);
  while (!text.empty() && text.back() == '\n') text.pop_back();
  for (char& c : text)
    if (c == '\n') c = ' ';
  throw Failure{ExitStatus::Usage, text};
}

int Integer(const std::string& text) {
  int value = 0;
  std::size_t used = 0;
  try {
    value = std::stoi(text, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (text.empty() || used != text.size() || text.front() == ' ' || text.front() == '+') {
    throw Failure{ExitStatus::Usage, Echoed(text) + " is not a valid integer value"};
  }
  return value;
}

int Checked(const std::string& text, const config::RangeRule& rule) {
  const int value = Integer(text);
  if (!rule.Accepts(value)) InputError(rule.message);
  return value;
}

// Exactly `count` fields apart by `separator`, none empty; each of digits
// only when they are `numbers`.
std::vector<std::string> Fields(const std::string& text, char separator, std::size_t count, std::string_view form,
                                bool numbers = true) {
  std::vector<std::string> fields(1);
  bool digits = true;
  for (const char c : text) {
    if (c == separator) fields.emplace_back();
    else fields.back() += c;
    digits = digits && (!numbers || c == separator || (c >= '0' && c <= '9'));
  }
  const bool filled = std::none_of(fields.begin(), fields.end(), [](const std::string& f) { return f.empty(); });
  if (fields.size() != count || !digits || !filled) {
    throw Failure{ExitStatus::Usage, Echoed(text) + " is not of the form " + std::string(form)};
  }
  return fields;
}

// The window stops at the first field its rules refuse; here every refused
// field is named at once, in the window's order, one a line.
class FieldChecks {
 public:
  int operator()(const std::string& digits, const config::RangeRule& rule) {
    const int value = digits.size() > 4 ? 10000 : std::stoi(digits);  // beyond every rule's range
    if (!rule.Accepts(value)) Refuse(rule.message);
    return value;
  }
  void Refuse(std::string_view message) {
    std::string text(message);
    while (!text.empty() && text.back() == '\n') text.pop_back();
    std::replace(text.begin(), text.end(), '\n', ' ');
    messages_ += (messages_.empty() ? "" : "\n") + text;
  }
  bool Passed() const { return messages_.empty(); }
  void ThrowIfRefused() const {
    if (!Passed()) throw Failure{ExitStatus::Usage, messages_};
  }

 private:
  std::string messages_;
};

constexpr std::string_view YearMessage = "the year must lie within 2000–2099";

template <std::size_t N>
std::optional<int> Position(const std::string_view (&names)[N], std::string_view name) {
  for (std::size_t i = 0; i < N; ++i)
    if (names[i] == name) return static_cast<int>(i);
  return std::nullopt;
}

template <std::size_t N>
std::string NameOf(const std::string_view (&names)[N], int position) {
  return position >= 0 && static_cast<std::size_t>(position) < N ? std::string(names[position])
                                                                  : std::to_string(position);
}

std::string DelayText(std::uint16_t tenths) {
  const config::DelayParts d = config::SplitShutdownDelay(tenths);
  char b[32];
  std::snprintf(b, sizeof b, "%d:%02d:%02d", d.hours, d.minutes, d.seconds);
  return b;
}

std::string StartDelayText(std::uint8_t hours) { return hours == 0 ? "off" : std::to_string(hours); }

std::string CorrectionText(std::uint8_t byte) {
  const config::CorrectionView view = config::ShowCorrection(byte);
  const std::string name = NameOf(CorrectionNames, view.listPosition);
  return view.listPosition == config::CorrectionOffPosition ? name : name + " " + std::to_string(view.interval);
}

std::string ClockText(const config::ClockText& c) {
  return text::FromCp1251("20" + c.year + "-" + c.month + "-" + c.day + "T" + c.hour + ":" + c.minute);
}

// Name and printed value of each setting, in "get" order; the JSON values
// are numbers where the setting is one.
struct Shown {
  std::string name;
  std::string text;
  std::string json;
};

std::vector<Shown> SettingLines(const config::DeviceSettings& s, bool identity) {
  const config::CorrectionView correction = config::ShowCorrection(s.correction);
  std::vector<Shown> lines;
  if (identity) {
    const std::string hardware = text::FromCp1251(s.hardwareVersion), software = text::FromCp1251(s.softwareVersion);
    lines.push_back({"hardware-version", hardware, JsonString(hardware)});
    lines.push_back({"software-version", software, JsonString(software)});
    lines.push_back({"trips", std::to_string(s.tripCount), std::to_string(s.tripCount)});
  }
  lines.push_back({"clock", ClockText(s.clock), JsonString(ClockText(s.clock))});
  lines.push_back({"brightness", std::to_string(s.brightness), std::to_string(s.brightness)});
  lines.push_back({"power-off", DelayText(s.shutdownDelay), JsonString(DelayText(s.shutdownDelay))});
  lines.push_back({"start-delay", StartDelayText(s.startTripDelay), std::to_string(s.startTripDelay)});
  lines.push_back({"mode", NameOf(ModeNames, s.mode), JsonString(NameOf(ModeNames, s.mode))});
  lines.push_back({"correction", CorrectionText(s.correction),
                   "{\"direction\": " + JsonString(NameOf(CorrectionNames, correction.listPosition)) +
                       ", \"interval_10min\": " + std::to_string(correction.interval) + "}"});
  return lines;
}

void Print(const std::vector<Shown>& lines, bool json) {
  if (json) {
    std::string out = "{";
    for (std::size_t i = 0; i < lines.size(); ++i) {
      std::string key = lines[i].name;
      for (char& c : key)
        if (c == '-') c = '_';
      out += (i == 0 ? "" : ", ") + JsonString(key) + ": " + lines[i].json;
    }
    std::cout << out << "}\n";
    return;
  }
  std::vector<std::vector<std::string>> rows;
  for (const Shown& line : lines) rows.push_back({line.name, line.text});
  std::cout << AlignedTable(rows);
}

// The exchanges of one command on a connected link; an unanswered one ends it.
template <typename Body>
void WithDevice(const GlobalOptions& global, Body&& body) {
  Session session(global);
  try {
    std::forward<Body>(body)(session.Link());
  } catch (const config::LinkFailure&) {
    throw session.Unanswered();
  }
}

config::ClockSetting ClockFrom(const std::string& value) {
  config::ClockSetting clock;
  int year = 0;
  if (value == "now") {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&t, &local);
    year = local.tm_year + 1900;
    clock = {year - 2000, local.tm_mon + 1, 1, local.tm_mday, local.tm_hour, local.tm_min};
    if (!config::ClockYearRule.Accepts(clock.year)) InputError(YearMessage);
  } else {
    constexpr std::string_view Form = "YYYY-MM-DDTHH:MM";
    std::vector<std::string> date, time;
    try {
      const auto dateTime = Fields(value, 'T', 2, Form, false);
      date = Fields(dateTime[0], '-', 3, Form);
      time = Fields(dateTime[1], ':', 2, Form);
    } catch (const Failure&) {
      throw Failure{ExitStatus::Usage, Echoed(value) + " is not of the form " + std::string(Form)};  // all of it
    }
    // The window's order: minutes, hours, day, month, year. Its year field
    // holds two digits, 0 to 99; here the year is written whole.
    FieldChecks check;
    clock.minute = check(time[1], config::ClockMinutesRule);
    clock.hour = check(time[0], config::ClockHoursRule);
    clock.day = check(date[2], config::ClockDayRule);
    clock.month = check(date[1], config::ClockMonthRule);
    year = date[0].size() > 4 ? 0 : std::stoi(date[0]);
    clock.year = year - 2000;
    if (!config::ClockYearRule.Accepts(clock.year)) check.Refuse(YearMessage);
    check.ThrowIfRefused();
  }
  using namespace std::chrono;
  if (!year_month_day{std::chrono::year{year}, month{static_cast<unsigned>(clock.month)},
                      day{static_cast<unsigned>(clock.day)}}
           .ok()) {
    throw Failure{ExitStatus::Usage, Echoed(value) + " is no calendar date"};
  }
  clock.weekday = config::IsoWeekday(year, clock.month, clock.day);
  return clock;
}

std::uint8_t CorrectionFrom(const std::vector<std::string>& values) {
  const std::optional<int> position = Position(CorrectionNames, values[0]);
  if (!position) throw Failure{ExitStatus::Usage, "correction is add N, subtract N or off"};
  if (*position == config::CorrectionOffPosition) {
    if (values.size() > 1) throw Failure{ExitStatus::Usage, "correction off takes no interval"};
    return 0;
  }
  if (values.size() < 2) throw Failure{ExitStatus::Usage, "correction " + values[0] + " needs an interval in tens of minutes"};
  const int interval = Checked(values[1], config::CorrectionIntervalRule);
  if (!config::CorrectionSignRule.Accepts(interval)) InputError(config::CorrectionSignRule.message);
  return config::EncodeCorrection(*position, interval);
}

}  // namespace

void PrintSettings(const GlobalOptions& global, bool identity) {
  config::DeviceSettings settings;
  WithDevice(global, [&](link::Link& link) { settings = config::ReadSettings(link); });
  Print(SettingLines(settings, identity), global.json);
}

void Set(const GlobalOptions& global, const std::string& setting, const std::vector<std::string>& values) {
  if (values.empty() || values.size() > (setting == "correction" ? 2u : 1u)) {
    throw Failure{ExitStatus::Usage, "wrong number of values for " + setting};
  }
  const std::string& value = values[0];
  // Every value is checked before the port is opened, like the window checks before it sends.
  std::function<Shown(link::Link&)> apply;
  if (setting == "brightness") {
    const auto level = static_cast<std::uint8_t>(Checked(value, config::BrightnessRule));
    apply = [level](link::Link& link) {
      const auto back = config::SetBrightness(link, level);
      return Shown{"brightness", std::to_string(back), std::to_string(back)};
    };
  } else if (setting == "power-off") {
    const auto parts = Fields(value, ':', 3, "H:M:S");
    // The window's order: seconds, minutes, hours, then the total.
    FieldChecks check;
    const int seconds = check(parts[2], config::DelaySecondsRule);
    const int minutes = check(parts[1], config::DelayMinutesRule);
    const int hours = check(parts[0], config::DelayHoursRule);
    check.ThrowIfRefused();
    const int total = hours * 3600 + minutes * 60 + seconds;
    if (!config::DelayTotalRule.Accepts(total)) InputError(config::DelayTotalRule.message);
    apply = [total](link::Link& link) {
      const std::string back = DelayText(config::SetShutdownDelay(link, static_cast<std::uint16_t>(total * 10)));
      return Shown{"power-off", back, JsonString(back)};
    };
  } else if (setting == "start-delay") {
    int hours = -1;
    if (value == "off") hours = 0;
    else if (value.size() == 1 && value[0] >= '0' && value[0] <= '9') hours = value[0] - '0';
    if (hours < 0) InputError(config::StartTripDelayNotChosenMessage);
    apply = [hours](link::Link& link) {
      const auto back = config::SetStartTripDelay(link, static_cast<std::uint8_t>(hours));
      return Shown{"start-delay", StartDelayText(back), std::to_string(back)};
    };
  } else if (setting == "mode") {
    const std::optional<int> mode = Position(ModeNames, value);
    if (!mode) InputError(config::ModeNotChosenMessage);
    apply = [mode = *mode](link::Link& link) {
      const std::string back = NameOf(ModeNames, config::SetMode(link, static_cast<std::uint8_t>(mode)));
      return Shown{"mode", back, JsonString(back)};
    };
  } else if (setting == "correction") {
    const std::uint8_t correction = CorrectionFrom(values);
    apply = [correction](link::Link& link) {
      const std::uint8_t back = config::SetCorrection(link, correction);
      config::DeviceSettings s;
      s.correction = back;
      return SettingLines(s, false).back();
    };
  } else if (setting == "clock") {
    const config::ClockSetting clock = ClockFrom(value);
    apply = [clock](link::Link& link) {
      const std::string back = ClockText(config::SetClock(link, clock));
      return Shown{"clock", back, JsonString(back)};
    };
  } else {
    throw Failure{ExitStatus::Usage, "unknown setting " + setting};
  }
  Shown shown;
  WithDevice(global, [&](link::Link& link) { shown = apply(link); });
  Print({shown}, global.json);
}

void ResetCounter(const GlobalOptions& global) {
  std::uint8_t count = 0;
  WithDevice(global, [&](link::Link& link) { count = config::ResetTripCounter(link); });
  Print({{"trips", std::to_string(count), std::to_string(count)}}, global.json);
}

}  // namespace riventar::cli
