#include "core/config/settings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "adapters/link/link.h"
#include "core/config/device_exchange.h"
#include "core/config/device_settings.h"
#include "tests/support/scripted_exchange.h"

using namespace riventar::config;
using riventar::link::ExchangeBufferSize;

namespace {

// The exchange buffer as it stands after `line` arrived over older traffic:
// what follows the CR is left over from earlier lines.
std::string Buffer(const std::string& line) {
  std::string b(ExchangeBufferSize, '7');
  b.replace(0, line.size() + 1, line + "\r");
  return b;
}

}  // namespace

TEST(ConfigCommands, BytesOnTheWire) {
  struct Case {
    std::string actual;
    const char* expected;
  };
  const Case cases[] = {
      {BrightnessReadCommand(), "$LBR\r"},
      {ShutdownDelayReadCommand(), "$SDR\r"},
      {StartTripDelayReadCommand(), "$AR\r"},
      {CorrectionReadCommand(), "$ICR\r"},
      {ModeReadCommand(), "$MR\r"},
      {ClockReadCommand(), "$WCR\r"},
      {HardwareVersionReadCommand(), "$VHR\r"},
      {SoftwareVersionReadCommand(), "$VSR\r"},
      // The worked values go through the window's tests on the wire; here the edges.
      {BrightnessSetCommand(19), "$LBS1301\r"},
      {ShutdownDelaySetCommand(65530), "$SDSfffa\r"},
      {CorrectionSetCommand(EncodeCorrection(CorrectionOffPosition, 99)), "$ICS00\r"},
      {CorrectionSetCommand(EncodeCorrection(-1, 12)), "$ICS0c\r"},  // no selection adds
      {ClockSetCommand({0, 1, 7, 1, 0, 0}), "$WCS000107010000\r"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.actual, c.expected);
}

TEST(ConfigReplies, Decoding) {
  struct Case {
    std::string reply;
    std::string shown;  // what the window puts in its fields
  };
  const auto delay = [](const std::string& r) {
    const DelayParts d = SplitShutdownDelay(DecodeShutdownDelay(Buffer(r)));
    return std::to_string(d.hours) + " " + std::to_string(d.minutes) + " " + std::to_string(d.seconds);
  };
  const auto correction = [](const std::string& r) {
    const CorrectionView v = ShowCorrection(DecodeCorrection(Buffer(r)));
    return std::to_string(v.listPosition) + " " + std::to_string(v.interval) + (v.intervalEnabled ? " on" : " off");
  };
  const auto byte = [](std::uint8_t (*decode)(std::string_view), const std::string& r) {
    return std::to_string(decode(Buffer(r)));
  };
  const auto clock = [](const std::string& r) {
    const ClockText t = DecodeClock(Buffer(r));
    return t.year + "|" + t.month + "|" + t.day + "|" + t.hour + "|" + t.minute;
  };
  const Case cases[] = {
      {byte(DecodeBrightness, "!LBR0c"), "12"},
      {delay("!SDR0385"), "0 1 30"},  // 901 tenths, the tenth dropped
      {delay("!SDRffff"), "1 49 13"},
      {delay("!SDR0000"), "0 0 0"},
      {byte(DecodeStartTripDelay, "!AR00"), "0"},
      {byte(DecodeStartTripDelay, "!AR0a"), "10"},
      {correction("!ICR00"), "2 0 off"},
      {correction("!ICR0c"), "0 12 on"},
      {correction("!ICRf4"), "1 12 on"},
      {correction("!ICR80"), "1 128 on"},
      {correction("!ICR7f"), "0 127 on"},
      {byte(DecodeTripCount, "!TN00"), "0"},
      {byte(DecodeTripCount, "!TNff"), "255"},
      {byte(DecodeMode, "!MR07"), "7"},
      {byte(DecodeMode, "!MR04"), "4"},
      {clock("!WCR051001101405"), "05|10|10|14|05"},
      {clock("!WCR9x1301a:b?c!"), "9x|13|a:|b?|c!"},  // copied, never checked
      {DecodeVersion(Buffer("!VHR")), ""},
      {DecodeVersion(Buffer("!VSR v2.01 rev B")), " v2.01 rev B"},
      // The mnemonic echo is not examined, only positions.
      {byte(DecodeBrightness, "!XYZ13"), "19"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.reply, c.shown);
}

TEST(ConfigReplies, VersionWithoutCarriageReturnStopsAtBufferEnd) {
  EXPECT_EQ(DecodeVersion(std::string("!VHRabc")), "abc");
  EXPECT_EQ(DecodeVersion(std::string("!VH")), "");
}

TEST(ConfigCalendar, IsoWeekday) {
  struct Case {
    int year, month, day, weekday;
  };
  const Case cases[] = {
      {2005, 10, 10, 1},  // Monday
      {2005, 10, 16, 7},  // Sunday
      {2008, 2, 29, 5},   // Friday, leap day
      {2000, 1, 1, 6},    // Saturday
      {2099, 12, 31, 4},  // Thursday
      {2000, 2, 29, 2},   // a century that is a leap year
  };
  for (const Case& c : cases) EXPECT_EQ(IsoWeekday(c.year, c.month, c.day), c.weekday) << c.year << "-" << c.month;
}

TEST(ConfigExchange, UnansweredCommandThrowsTheLinkFailure) {
  riventar::link::Link down;  // never started: nothing can answer
  try {
    Exchange(down, BrightnessReadCommand());
    FAIL() << "no exception";
  } catch (const LinkFailure& failure) {
    EXPECT_EQ(failure.code, 255);
  }
}

TEST(ConfigExchange, AReplyThatIsNoWholeSettingIsAGarbledFailure) {
  struct Case {
    SettingRead which;
    std::string whole;
    std::string broken;
  };
  const Case cases[] = {
      {SettingRead::Brightness, "!LBR0c", "!LBR0"},
      {SettingRead::Brightness, "!LBR0c", "!LBR0z"},
      {SettingRead::ShutdownDelay, "!SDR0385", "!SDR03"},
      {SettingRead::ShutdownDelay, "!SDR0385", "!SDR0385f"},
      {SettingRead::StartTripDelay, "!AR0a", "!AR"},
      {SettingRead::Correction, "!ICRf4", "!ICRf"},
      {SettingRead::TripCount, "!TN05", "!TN5"},
      {SettingRead::Mode, "!MR04", "!MR 4"},
      {SettingRead::Clock, "!WCR051001101405", "!WCR0510011014"},
  };
  for (const Case& c : cases) {
    for (const std::string* reply : {&c.whole, &c.broken}) {
      std::string command;
      riventar::testing::ScriptedExchange device([&](std::string_view sent) {
        command = std::string(sent.substr(0, sent.find('\r')));
        return std::vector<std::string>{*reply + "\r"};
      });
      DeviceSettings settings;
      const bool whole = reply == &c.whole;
      bool failed = false;
      try {
        ReadSetting(device, c.which, settings);
      } catch (const LinkFailure&) {
        failed = true;
      }
      EXPECT_EQ(failed, !whole) << *reply;
      EXPECT_EQ(device.LastFailureGarbled(), !whole) << *reply;
      EXPECT_EQ(device.LastCommand(), command);
    }
  }
  // A version is any text, none at all included.
  riventar::testing::ScriptedExchange device([](std::string_view) { return std::vector<std::string>{"!VHR\r"}; });
  DeviceSettings settings;
  ReadSetting(device, SettingRead::HardwareVersion, settings);
  EXPECT_EQ(settings.hardwareVersion, "");
}
