#pragma once
// The configuration window's reading and writing sequences, shared by every
// front end. Each exchange is one attempt; an unanswered one throws
// LinkFailure (see device_exchange.h).
#include <cstdint>
#include <functional>
#include <string>

#include "core/config/settings.h"
#include "core/link/exchange.h"

namespace riventar::config {

// Decoded as read; the versions are the device's Windows-1251 bytes.
struct DeviceSettings {
  std::uint8_t brightness = 0;
  std::uint16_t shutdownDelay = 0;  // tenths of a second
  std::uint8_t startTripDelay = 0;  // hours, 0 = off
  std::uint8_t correction = 0;      // two's complement byte
  std::uint8_t tripCount = 0;
  std::uint8_t mode = 0;
  ClockText clock;
  std::string hardwareVersion;
  std::string softwareVersion;
};

// The nine readings, in the order they go out.
enum class SettingRead {
  Brightness,
  ShutdownDelay,
  StartTripDelay,
  Correction,
  TripCount,
  Mode,
  Clock,
  HardwareVersion,
  SoftwareVersion
};
inline constexpr int SettingReads = 9;

// Reads one setting into `into`.
void ReadSetting(link::Exchange& link, SettingRead which, DeviceSettings& into);

// All nine in order: `reading(which)` runs before each exchange, `read(which,
// settings)` once its value is in.
DeviceSettings ReadSettings(link::Exchange& link, const std::function<void(SettingRead)>& reading = {},
                            const std::function<void(SettingRead, const DeviceSettings&)>& read = {});

// Writing commands, each followed by the reading of the same setting; the
// value read back is returned. Arguments must have passed the input rules.
std::uint8_t SetBrightness(link::Exchange& link, std::uint8_t level);
std::uint16_t SetShutdownDelay(link::Exchange& link, std::uint16_t tenths);
std::uint8_t SetStartTripDelay(link::Exchange& link, std::uint8_t hours);
std::uint8_t SetMode(link::Exchange& link, std::uint8_t mode);
std::uint8_t SetCorrection(link::Exchange& link, std::uint8_t correctionByte);
ClockText SetClock(link::Exchange& link, const ClockSetting& clock);
// "$TC", then the count read back.
std::uint8_t ResetTripCounter(link::Exchange& link);

}  // namespace riventar::config
