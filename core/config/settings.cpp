#include "core/config/settings.h"

#include <cassert>
#include <chrono>
#include <cstdio>

#include "core/link/commands.h"
#include "core/link/hex.h"

namespace riventar::config {
namespace {

// Data fields start right after the echoed mnemonic: at the length of the
// reading command without its CR.
constexpr std::size_t ShortField = 3;  // "$AR", "$MR", "$TN"
constexpr std::size_t LongField = 4;   // "$LBR", "$SDR", "$ICR", "$WCR", "$VHR", "$VSR"

template <typename... Args>
std::string Format(const char* format, Args... args) {
  char buffer[32];
  const int n = std::snprintf(buffer, sizeof buffer, format, args...);
  assert(n > 0 && static_cast<std::size_t>(n) < sizeof buffer);
  return std::string(buffer, static_cast<std::size_t>(n));
}

std::string TwoDigits(int value) { return Format("%2.2u", static_cast<unsigned>(value)); }

}  // namespace

std::string BrightnessReadCommand() { return "$LBR\r"; }
std::string ShutdownDelayReadCommand() { return "$SDR\r"; }
std::string StartTripDelayReadCommand() { return "$AR\r"; }
std::string CorrectionReadCommand() { return "$ICR\r"; }
std::string ModeReadCommand() { return "$MR\r"; }
std::string ClockReadCommand() { return "$WCR\r"; }
std::string HardwareVersionReadCommand() { return "$VHR\r"; }
std::string SoftwareVersionReadCommand() { return "$VSR\r"; }

std::string BrightnessSetCommand(std::uint8_t level) {
  return Format("$LBS%2.2x%2.2x\r", unsigned{level}, static_cast<unsigned>(20 - level) & 0xffu);
}
std::string ShutdownDelaySetCommand(std::uint16_t tenths) { return Format("$SDS%4.4x\r", unsigned{tenths}); }
std::string StartTripDelaySetCommand(std::uint8_t hours) { return Format("$AS%2.2x\r", unsigned{hours}); }
std::string CorrectionSetCommand(std::uint8_t correctionByte) {
  return Format("$ICS%2.2x\r", unsigned{correctionByte});
}
std::string ModeSetCommand(std::uint8_t mode) { return Format("$MS%2.2x\r", unsigned{mode}); }

std::string ClockSetCommand(const ClockSetting& c) {
  for ([[maybe_unused]] int field : {c.year, c.month, c.weekday, c.day, c.hour, c.minute}) {
    assert(field >= 0 && field <= 99);
  }
  return "$WCS" + TwoDigits(c.year) + TwoDigits(c.month) + TwoDigits(c.weekday) + TwoDigits(c.day) + TwoDigits(c.hour) +
         TwoDigits(c.minute) + "\r";
}

std::uint8_t DecodeBrightness(std::string_view reply) { return link::HexToByte(reply, LongField); }
std::uint16_t DecodeShutdownDelay(std::string_view reply) { return link::HexToWord(reply, LongField); }
std::uint8_t DecodeStartTripDelay(std::string_view reply) { return link::HexToByte(reply, ShortField); }
std::uint8_t DecodeCorrection(std::string_view reply) { return link::HexToByte(reply, LongField); }
std::uint8_t DecodeTripCount(std::string_view reply) { return link::HexToByte(reply, link::TripCountPosition); }
std::uint8_t DecodeMode(std::string_view reply) { return link::HexToByte(reply, ShortField); }

DelayParts SplitShutdownDelay(std::uint16_t tenths) {
  const int s = tenths / 10;
  return {s / 3600, s % 3600 / 60, s % 3600 % 60};
}

CorrectionView ShowCorrection(std::uint8_t correctionByte) {
  const int b = static_cast<std::int8_t>(correctionByte);  // NOLINT(bugprone-signed-char-misuse): two's complement
  if (b == 0) return {CorrectionOffPosition, 0, false};
  if (b > 0) return {CorrectionAddPosition, b, true};
  return {CorrectionSubtractPosition, -b, true};
}

std::uint8_t EncodeCorrection(int listPosition, int interval) {
  assert(interval >= 0 && interval <= 127);
  if (listPosition == CorrectionOffPosition) return 0;
  const int b = listPosition == CorrectionSubtractPosition ? -interval : interval;
  return static_cast<std::uint8_t>(b);
}

ClockText DecodeClock(std::string_view reply) {
  const auto two = [reply](std::size_t p) { return std::string(reply.substr(p, 2)); };
  // Positions 8..9 hold the weekday, which the window does not show.
  return {two(LongField), two(LongField + 2), two(LongField + 6), two(LongField + 8), two(LongField + 10)};
}

ClockText ClockTextFor(int year, int month, int day, int hour, int minute) {
  return {TwoDigits(year - 2000), TwoDigits(month), TwoDigits(day), TwoDigits(hour), TwoDigits(minute)};
}

std::string DecodeVersion(std::string_view reply) {
  if (reply.size() <= LongField) return {};
  const std::string_view text = reply.substr(LongField);
  return std::string(text.substr(0, text.find('\r')));
}

int IsoWeekday(int year, int month, int day) {
  using namespace std::chrono;
  const year_month_day date{std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(month)},
                            std::chrono::day{static_cast<unsigned>(day)}};
  assert(date.ok());
  return static_cast<int>(weekday{sys_days{date}}.iso_encoding());
}

}  // namespace riventar::config
