#pragma once
// The setting actions' input, checked as the configuration window checks it
// before it sends anything. Every field is checked in the window's order and
// every refusal is kept: the window shows the first, riventar-cli all of
// them. Texts are UTF-8, as typed into the fields.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/config/settings.h"

namespace riventar::config {

// A decimal int as the window's fields convert one: leading white space,
// one optional sign, then digits only. Empty text, any other character and
// values beyond int give nothing.
std::optional<int> ParseInteger(std::string_view utf8);

// The fields the refusals name.
enum class InputField {
  Brightness,
  DelayHours,
  DelayMinutes,
  DelaySeconds,
  StartTripDelay,
  Mode,
  CorrectionInterval,
  ClockMinute,
  ClockHour,
  ClockDay,
  ClockMonth,
  ClockYear,
};

struct Refusal {
  enum class Kind {
    Rule,        // a rule of input_rules.h refuses the field: `message`
    NotInteger,  // `text` converts to no integer
    NoSuchDate,  // every clock field passed, but the month has no such day
  };
  InputField field;
  Kind kind;
  std::string_view message;  // the rule's; for Kind::NotInteger the rule the field was for
  std::string text;          // the field's text, for Kind::NotInteger
  friend bool operator==(const Refusal&, const Refusal&) = default;
};

// Either the value to send or the refusals, in the window's order.
template <typename Value>
struct Parsed {
  std::optional<Value> value;
  std::vector<Refusal> refusals;
};

// The level to send.
Parsed<std::uint8_t> ParseBrightness(std::string_view level);
// Tenths of a second. Seconds, minutes, hours, then the total, which is
// checked only when the three passed and is laid on the hours.
Parsed<std::uint16_t> ParseShutdownDelay(std::string_view hours, std::string_view minutes, std::string_view seconds);
// List positions, -1 for none: the value on the wire.
Parsed<std::uint8_t> ParseStartTripDelay(int listPosition);
Parsed<std::uint8_t> ParseMode(int listPosition);
// The correction byte. Off takes no interval, not even an empty one; the
// interval's sign is checked only when its limit passed.
Parsed<std::uint8_t> ParseCorrection(int listPosition, std::string_view interval);
// Minutes, hours, day, month, year (within the century); then the date must
// exist (laid on the day). The weekday is the date's.
Parsed<ClockSetting> ParseClock(const ClockText& fields);

}  // namespace riventar::config
