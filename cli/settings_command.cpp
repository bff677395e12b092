#include "cli/settings_command.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <iostream>
#include <optional>
#include <string_view>
#include <utility>

#include "base/text/cp1251.h"
#include "cli/exit_status.h"
#include "cli/output.h"
#include "core/config/device_exchange.h"
#include "core/config/device_settings.h"
#include "core/config/input_rules.h"
#include "core/config/setting_input.h"

namespace riventar::cli {

namespace {

// The window's list positions, in English.
constexpr std::string_view ModeNames[] = {"clock", "trip-computer", "ecu-errors", "ecu-variables", "ecu-control"};
constexpr std::string_view CorrectionNames[] = {"add", "subtract", "off"};

using Operands = std::vector<std::string>;

std::string OneLine(std::string_view message) {
  std::string text(message);
  while (!text.empty() && text.back() == '\n') text.pop_back();
  std::replace(text.begin(), text.end(), '\n', ' ');
  return text;
}

// A refusal as this program says it: on one line, integers echoed.
std::string Said(const config::Refusal& refusal) {
  switch (refusal.kind) {
    case config::Refusal::Kind::NotInteger:
      return Echoed(refusal.text) + std::string(config::NotIntegerText);
    case config::Refusal::Kind::NoSuchDate:
      return std::string(config::NoSuchDateText);
    case config::Refusal::Kind::Rule:
      break;
  }
  return OneLine(refusal.message);
}

// For fields of digits only: one too long for an int is beyond its rule's
// range.
std::string DigitsSaid(const config::Refusal& refusal) {
  return refusal.kind == config::Refusal::Kind::NotInteger ? OneLine(refusal.message) : Said(refusal);
}

// The window stops at the first field its rules refuse; here every refused
// field is named at once, in the window's order, one a line.
template <typename Value>
Value Accepted(config::Parsed<Value> parsed, const std::function<std::string(const config::Refusal&)>& said = Said) {
  if (parsed.value) return *parsed.value;
  std::string lines;
  for (const config::Refusal& refusal : parsed.refusals) lines += (lines.empty() ? "" : "\n") + said(refusal);
  throw Failure{ExitStatus::Usage, lines};
}

// An integer operand: what the window's fields take, less a blank or a plus
// sign in front.
std::string_view IntegerOperand(const std::string& text) {
  if (!text.empty() && text.front() != '-' && (text.front() < '0' || text.front() > '9')) {
    throw Failure{ExitStatus::Usage, Echoed(text) + std::string(config::NotIntegerText)};
  }
  return text;
}

// Exactly `count` fields apart by `separator`, none empty; each of digits
// only when they are `numbers`.
std::vector<std::string> Fields(const std::string& text, char separator, std::size_t count, std::string_view form,
                                bool numbers = true) {
  std::vector<std::string> fields(1);
  bool digits = true;
  for (const char c : text) {
    if (c == separator)
      fields.emplace_back();
    else
      fields.back() += c;
    digits = digits && (!numbers || c == separator || (c >= '0' && c <= '9'));
  }
  const bool filled = std::none_of(fields.begin(), fields.end(), [](const std::string& f) { return f.empty(); });
  if (fields.size() != count || !digits || !filled) {
    throw Failure{ExitStatus::Usage, Echoed(text) + " is not of the form " + std::string(form)};
  }
  return fields;
}

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

config::ClockSetting ClockFrom(const Operands& operands) {
  std::string value = operands[0];
  if (value == "now") {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&t, &local);
    char typed[64];
    std::strftime(typed, sizeof typed, "%Y-%m-%dT%H:%M", &local);
    value = typed;
  }
  constexpr std::string_view Form = "YYYY-MM-DDTHH:MM";
  std::vector<std::string> date, time;
  try {
    const auto dateTime = Fields(value, 'T', 2, Form, false);
    date = Fields(dateTime[0], '-', 3, Form);
    time = Fields(dateTime[1], ':', 2, Form);
  } catch (const Failure&) {
    throw Failure{ExitStatus::Usage, Echoed(value) + " is not of the form " + std::string(Form)};  // all of it
  }
  // The year is written whole here; the window's field holds it within the
  // century, 0 to 99.
  const std::optional<int> year = config::ParseInteger(date[0]);
  const config::ClockText fields{year ? std::to_string(*year - 2000) : date[0], date[1], date[2], time[0], time[1]};
  return Accepted(config::ParseClock(fields), [&value](const config::Refusal& refusal) {
    if (refusal.field == config::InputField::ClockYear) return std::string(YearMessage);
    if (refusal.kind == config::Refusal::Kind::NoSuchDate) return Echoed(value) + " is no calendar date";
    return DigitsSaid(refusal);
  });
}

std::uint8_t CorrectionFrom(const Operands& operands) {
  const std::optional<int> position = Position(CorrectionNames, operands[0]);
  if (!position) throw Failure{ExitStatus::Usage, "correction is add N, subtract N or off"};
  if (*position == config::CorrectionOffPosition) {
    if (operands.size() > 1) throw Failure{ExitStatus::Usage, "correction off takes no interval"};
    return Accepted(config::ParseCorrection(*position, {}));
  }
  if (operands.size() < 2) {
    throw Failure{ExitStatus::Usage, "correction " + operands[0] + " needs an interval in tens of minutes"};
  }
  return Accepted(config::ParseCorrection(*position, IntegerOperand(operands[1])));
}

// A row of the "set" table: `parse` checks the operands as typed, before the
// port is opened as the window checks before it sends; `apply` sends the
// value and reads it back.
template <typename Value>
SetCommand Row(std::string name, std::string help, std::vector<SetOperand> operands, Value (*parse)(const Operands&),
               Shown (*apply)(link::PortLink&, Value)) {
  return {std::move(name), std::move(help), std::move(operands),
          [parse, apply](const GlobalOptions& global, const Operands& typed) {
            const Value value = parse(typed);
            Shown shown;
            WithDevice(global, [&](link::PortLink& link) { shown = apply(link, value); });
            Print({shown}, global.json);
          }};
}

}  // namespace

void PrintSettings(const GlobalOptions& global, bool identity) {
  config::DeviceSettings settings;
  WithDevice(global, [&](link::PortLink& link) { settings = config::ReadSettings(link); });
  Print(SettingLines(settings, identity), global.json);
}

const std::vector<SetCommand>& SetCommands() {
  static const std::vector<SetCommand> commands = {
      Row<std::uint8_t>(
          "brightness", "backlight brightness", {{"VALUE", "LEVEL, 1 to 19"}},
          [](const Operands& o) { return Accepted(config::ParseBrightness(IntegerOperand(o[0]))); },
          [](link::PortLink& link, std::uint8_t level) {
            const auto back = config::SetBrightness(link, level);
            return Shown{"brightness", std::to_string(back), std::to_string(back)};
          }),
      Row<std::uint16_t>(
          "power-off", "power-off delay", {{"VALUE", "H:M:S, at most 1:49:13"}},
          [](const Operands& o) {
            const auto parts = Fields(o[0], ':', 3, "H:M:S");
            return Accepted(config::ParseShutdownDelay(parts[0], parts[1], parts[2]), DigitsSaid);
          },
          [](link::PortLink& link, std::uint16_t tenths) {
            const std::string back = DelayText(config::SetShutdownDelay(link, tenths));
            return Shown{"power-off", back, JsonString(back)};
          }),
      Row<std::uint8_t>(
          "start-delay", "trip start delay", {{"VALUE", "off or hours, 1 to 9"}},
          [](const Operands& o) {
            // The list position: off first, then one an hour.
            const std::string& v = o[0];
            const int position = v == "off" ? 0 : v.size() == 1 && v[0] >= '0' && v[0] <= '9' ? v[0] - '0' : -1;
            return Accepted(config::ParseStartTripDelay(position));
          },
          [](link::PortLink& link, std::uint8_t hours) {
            const auto back = config::SetStartTripDelay(link, hours);
            return Shown{"start-delay", StartDelayText(back), std::to_string(back)};
          }),
      Row<std::uint8_t>(
          "mode", "working mode", {{"VALUE", "clock, trip-computer, ecu-errors, ecu-variables or ecu-control"}},
          [](const Operands& o) { return Accepted(config::ParseMode(Position(ModeNames, o[0]).value_or(-1))); },
          [](link::PortLink& link, std::uint8_t mode) {
            const std::string back = NameOf(ModeNames, config::SetMode(link, mode));
            return Shown{"mode", back, JsonString(back)};
          }),
      Row<std::uint8_t>("correction", "clock correction",
                        {{"DIRECTION", "add, subtract (a second every N x 10 minutes) or off"},
                         {"N", "the interval, 0 to 127; not with off", false}},
                        CorrectionFrom,
                        [](link::PortLink& link, std::uint8_t correction) {
                          config::DeviceSettings s;
                          s.correction = config::SetCorrection(link, correction);
                          return SettingLines(s, false).back();
                        }),
      Row<config::ClockSetting>("clock", "clock and calendar", {{"VALUE", "now or YYYY-MM-DDTHH:MM"}}, ClockFrom,
                                [](link::PortLink& link, config::ClockSetting clock) {
                                  const std::string back = ClockText(config::SetClock(link, clock));
                                  return Shown{"clock", back, JsonString(back)};
                                }),
  };
  return commands;
}

void ResetCounter(const GlobalOptions& global) {
  std::uint8_t count = 0;
  WithDevice(global, [&](link::PortLink& link) { count = config::ResetTripCounter(link); });
  Print({{"trips", std::to_string(count), std::to_string(count)}}, global.json);
}

}  // namespace riventar::cli
