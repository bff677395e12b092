#pragma once
// The device's settings on the wire: the command texts that read and write
// them and the decoding of the replies. Replies are taken as they come: the
// mnemonic echo is skipped, nothing is checked, and any character decodes to
// some value (see core/link/hex.h).
#include <cstdint>
#include <string>
#include <string_view>

#include "core/link/exchange.h"

namespace riventar::config {

// Reading commands, each "$", mnemonic, CR.
std::string BrightnessReadCommand();       // "$LBR"
std::string ShutdownDelayReadCommand();    // "$SDR"
std::string StartTripDelayReadCommand();   // "$AR"
std::string CorrectionReadCommand();       // "$ICR"
std::string ModeReadCommand();             // "$MR"
std::string ClockReadCommand();            // "$WCR"
std::string HardwareVersionReadCommand();  // "$VHR"
std::string SoftwareVersionReadCommand();  // "$VSR"

// Writing commands. Arguments are sent as they are given; the callers check
// the ranges first (see setting_input.h).
// The level, then 20 minus the level: the device wants the pair to add up to 20.
std::string BrightnessSetCommand(std::uint8_t level);
std::string ShutdownDelaySetCommand(std::uint16_t tenths);
std::string StartTripDelaySetCommand(std::uint8_t hours);
std::string CorrectionSetCommand(std::uint8_t correctionByte);
std::string ModeSetCommand(std::uint8_t mode);

// The clock as "$WCS" sends it: six fields of two decimal digits. Each field
// must be 0..99 (the callers validate), so the command is always 17 bytes.
struct ClockSetting {
  int year = 0;  // within the century, 2000 + year
  int month = 1;
  int weekday = 1;  // 1 = Monday ... 7 = Sunday
  int day = 1;
  int hour = 0;
  int minute = 0;
  friend bool operator==(const ClockSetting&, const ClockSetting&) = default;
};
std::string ClockSetCommand(const ClockSetting& clock);

// The whole replies to the reading commands: '!', room for the command's
// text, then the fields up to the CR. The clock's digits are copied, not
// checked; a version is any text.
inline constexpr link::ReplyForm BrightnessReplyForm{6, 4};
inline constexpr link::ReplyForm ShutdownDelayReplyForm{8, 4};
inline constexpr link::ReplyForm StartTripDelayReplyForm{5, 3};
inline constexpr link::ReplyForm CorrectionReplyForm{6, 4};
inline constexpr link::ReplyForm ModeReplyForm{5, 3};
inline constexpr link::ReplyForm ClockReplyForm{16};
inline constexpr link::ReplyForm VersionReplyForm{};

// Reply decoders. `reply` is the exchange buffer after an answered exchange.
std::uint8_t DecodeBrightness(std::string_view reply);
std::uint16_t DecodeShutdownDelay(std::string_view reply);  // tenths of a second
std::uint8_t DecodeStartTripDelay(std::string_view reply);  // hours, 0 = off
std::uint8_t DecodeCorrection(std::string_view reply);      // two's complement byte
std::uint8_t DecodeTripCount(std::string_view reply);
std::uint8_t DecodeMode(std::string_view reply);

// The power-off delay as the window shows it; the tenths are dropped.
struct DelayParts {
  int hours = 0;
  int minutes = 0;
  int seconds = 0;
  friend bool operator==(const DelayParts&, const DelayParts&) = default;
};
DelayParts SplitShutdownDelay(std::uint16_t tenths);

// The correction row as the window shows it.
inline constexpr int CorrectionAddPosition = 0;
inline constexpr int CorrectionSubtractPosition = 1;
inline constexpr int CorrectionOffPosition = 2;
struct CorrectionView {
  int listPosition = CorrectionOffPosition;
  int interval = 0;  // units of 10 minutes, 0..128
  bool intervalEnabled = false;
  friend bool operator==(const CorrectionView&, const CorrectionView&) = default;
};
CorrectionView ShowCorrection(std::uint8_t correctionByte);
// The byte for a list position and an interval of 0..127. Off sends 0
// whatever the interval; no selection (-1) counts as adding.
std::uint8_t EncodeCorrection(int listPosition, int interval);

// The clock fields of a "$WCR" reply, two characters each, copied unchecked.
struct ClockText {
  std::string year, month, day, hour, minute;
  friend bool operator==(const ClockText&, const ClockText&) = default;
};
ClockText DecodeClock(std::string_view reply);
// The same fields for a local time, with leading zeros ("Текущие").
ClockText ClockTextFor(int year, int month, int day, int hour, int minute);

// The text after the mnemonic echo up to the CR (or the end of the buffer),
// as the device sent it.
std::string DecodeVersion(std::string_view reply);

// Day of the week, 1 = Monday ... 7 = Sunday. The date must exist.
int IsoWeekday(int year, int month, int day);

}  // namespace riventar::config
