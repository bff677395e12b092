#include "core/config/device_settings.h"

#include "core/config/device_exchange.h"
#include "core/link/commands.h"

namespace riventar::config {

void ReadSetting(link::Exchange& link, SettingRead which, DeviceSettings& into) {
  const auto read = [&link](const std::string& command, const link::ReplyForm& form) {
    return Exchange(link, command, form);
  };
  switch (which) {
    case SettingRead::Brightness:
      into.brightness = DecodeBrightness(link::Line(read(BrightnessReadCommand(), BrightnessReplyForm)));
      break;
    case SettingRead::ShutdownDelay:
      into.shutdownDelay = DecodeShutdownDelay(link::Line(read(ShutdownDelayReadCommand(), ShutdownDelayReplyForm)));
      break;
    case SettingRead::StartTripDelay:
      into.startTripDelay =
          DecodeStartTripDelay(link::Line(read(StartTripDelayReadCommand(), StartTripDelayReplyForm)));
      break;
    case SettingRead::Correction:
      into.correction = DecodeCorrection(link::Line(read(CorrectionReadCommand(), CorrectionReplyForm)));
      break;
    case SettingRead::TripCount:
      into.tripCount = DecodeTripCount(link::Line(read(link::TripCountCommand(), link::TripCountReplyForm)));
      break;
    case SettingRead::Mode:
      into.mode = DecodeMode(link::Line(read(ModeReadCommand(), ModeReplyForm)));
      break;
    case SettingRead::Clock:
      into.clock = DecodeClock(link::Line(read(ClockReadCommand(), ClockReplyForm)));
      break;
    case SettingRead::HardwareVersion:
      into.hardwareVersion = DecodeVersion(link::Line(read(HardwareVersionReadCommand(), VersionReplyForm)));
      break;
    case SettingRead::SoftwareVersion:
      into.softwareVersion = DecodeVersion(link::Line(read(SoftwareVersionReadCommand(), VersionReplyForm)));
      break;
  }
}

DeviceSettings ReadSettings(link::Exchange& link, const std::function<void(SettingRead)>& reading,
                            const std::function<void(SettingRead, const DeviceSettings&)>& read) {
  DeviceSettings settings;
  for (int i = 0; i < SettingReads; ++i) {
    const auto which = static_cast<SettingRead>(i);
    if (reading) reading(which);
    ReadSetting(link, which, settings);
    if (read) read(which, settings);
  }
  return settings;
}

namespace {

// The writing command, then the same setting read back.
DeviceSettings WriteAndReadBack(link::Exchange& link, const std::string& command, SettingRead readBack) {
  Exchange(link, command);
  DeviceSettings settings;
  ReadSetting(link, readBack, settings);
  return settings;
}

}  // namespace

std::uint8_t SetBrightness(link::Exchange& link, std::uint8_t level) {
  return WriteAndReadBack(link, BrightnessSetCommand(level), SettingRead::Brightness).brightness;
}
std::uint16_t SetShutdownDelay(link::Exchange& link, std::uint16_t tenths) {
  return WriteAndReadBack(link, ShutdownDelaySetCommand(tenths), SettingRead::ShutdownDelay).shutdownDelay;
}
std::uint8_t SetStartTripDelay(link::Exchange& link, std::uint8_t hours) {
  return WriteAndReadBack(link, StartTripDelaySetCommand(hours), SettingRead::StartTripDelay).startTripDelay;
}
std::uint8_t SetMode(link::Exchange& link, std::uint8_t mode) {
  return WriteAndReadBack(link, ModeSetCommand(mode), SettingRead::Mode).mode;
}
std::uint8_t SetCorrection(link::Exchange& link, std::uint8_t correctionByte) {
  return WriteAndReadBack(link, CorrectionSetCommand(correctionByte), SettingRead::Correction).correction;
}
ClockText SetClock(link::Exchange& link, const ClockSetting& clock) {
  return WriteAndReadBack(link, ClockSetCommand(clock), SettingRead::Clock).clock;
}
std::uint8_t ResetTripCounter(link::Exchange& link) {
  return WriteAndReadBack(link, link::TripCounterResetCommand(), SettingRead::TripCount).tripCount;
}

}  // namespace riventar::config
