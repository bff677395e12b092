#include "sim/device.h"

#include <cctype>
#include <cstdio>
#include <ctime>

namespace riventar::sim {
namespace {

std::optional<unsigned> ParseDigits(std::string_view text, int base) {
  if (text.empty()) return std::nullopt;
  unsigned value = 0;
  for (char c : text) {
    const int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                      : base == 16 && c >= 'a' && c <= 'f'        ? c - 'a' + 10
                      : base == 16 && c >= 'A' && c <= 'F'        ? c - 'A' + 10
                                                                  : -1;
    if (digit < 0) return std::nullopt;
    value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
  }
  return value;
}

std::string Hex(unsigned value, int width) {
  char b[16];
  std::snprintf(b, sizeof b, "%0*x", width, value);
  return b;
}

std::optional<std::chrono::sys_seconds> ToTime(const DeviceClock& c) {
  using namespace std::chrono;
  const year_month_day date{year{2000 + c.year}, month{static_cast<unsigned>(c.month)},
                            day{static_cast<unsigned>(c.day)}};
  if (!date.ok() || c.hour < 0 || c.hour > 23 || c.minute < 0 || c.minute > 59) return std::nullopt;
  return sys_days{date} + hours{c.hour} + minutes{c.minute};
}

DeviceClock FromTime(std::chrono::sys_seconds t) {
  using namespace std::chrono;
  const sys_days d = floor<days>(t);
  const year_month_day date{d};
  const hh_mm_ss time{t - d};
  return DeviceClock{static_cast<int>(date.year()) % 100,         static_cast<int>(static_cast<unsigned>(date.month())),
                     static_cast<int>(weekday{d}.iso_encoding()), static_cast<int>(static_cast<unsigned>(date.day())),
                     static_cast<int>(time.hours().count()),      static_cast<int>(time.minutes().count())};
}

DeviceClock LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return DeviceClock{local.tm_year % 100, local.tm_mon + 1, local.tm_wday == 0 ? 7 : local.tm_wday,
                     local.tm_mday,       local.tm_hour,    local.tm_min};
}

}  // namespace

std::string EncodeTrip(const DeviceTrip& t) {
  return Hex(t.year, 2) + Hex((t.weekday & 0x0fu) << 4 | (t.month & 0x0fu), 2) + Hex(t.day, 2) + Hex(t.hour, 2) +
         Hex(t.minute, 2) + Hex(t.tripTime, 8) + Hex(t.movingTime, 8) + Hex(t.distance, 8) + Hex(t.fuel, 8);
}

Device::Device(bool clockRunning) : clockRunning_(clockRunning) { SetClock(LocalNow()); }

void Device::SetClock(const DeviceClock& clock) {
  clock_ = clock;
  clockSetTo_ = clockRunning_ ? ToTime(clock) : std::nullopt;
  clockSetAt_ = std::chrono::steady_clock::now();
}

DeviceClock Device::Clock() const {
  if (!clockSetTo_) return clock_;
  const auto elapsed = std::chrono::floor<std::chrono::seconds>(std::chrono::steady_clock::now() - clockSetAt_);
  DeviceClock c = FromTime(*clockSetTo_ + elapsed);
  return c;
}

std::optional<std::string> Device::Answer(std::string_view command) {
  std::size_t letters = 0;
  while (letters < command.size() && std::isupper(static_cast<unsigned char>(command[letters]))) ++letters;
  const std::string_view mnemonic = command.substr(0, letters);
  const std::string_view args = command.substr(letters);
  std::string echo = "!";
  echo += command;

  // Reading commands take no arguments; writing ones take fixed-width fields.
  auto hexArg = [&](std::size_t at, std::size_t width) { return ParseDigits(args.substr(at, width), 16); };
  std::optional<std::string> data;
  if (args.empty()) {
    if (mnemonic == "NOP" || mnemonic == "TC") data = "";
    if (mnemonic == "TN") data = Hex(static_cast<unsigned>(trips.size() > 255 ? 255 : trips.size()), 2);
    if (mnemonic == "LBR") data = Hex(settings.brightness, 2);
    if (mnemonic == "SDR") data = Hex(settings.shutdownDelay, 4);
    if (mnemonic == "AR") data = Hex(settings.startTripDelay, 2);
    if (mnemonic == "ICR") data = Hex(settings.clockCorrection, 2);
    if (mnemonic == "MR") data = Hex(settings.mode, 2);
    if (mnemonic == "VHR") data = settings.hardwareVersion;
    if (mnemonic == "VSR") data = settings.softwareVersion;
    if (mnemonic == "WCR") {
      const DeviceClock c = Clock();
      char b[40];
      std::snprintf(b, sizeof b, "%02d%02d%02d%02d%02d%02d", c.year % 100, c.month % 100, c.weekday % 100, c.day % 100,
                    c.hour % 100, c.minute % 100);
      data = b;
    }
    if (mnemonic == "TC") trips.clear();
  } else if (mnemonic == "TR" && args.size() == 2) {
    if (auto index = hexArg(0, 2)) data = *index < trips.size() ? EncodeTrip(trips[*index]) : EncodeTrip({});
  } else if (mnemonic == "LBS" && args.size() == 4) {
    if (auto level = hexArg(0, 2); level && hexArg(2, 2)) {
      settings.brightness = static_cast<std::uint8_t>(*level);
      data = "";
    }
  } else if (mnemonic == "SDS" && args.size() == 4) {
    if (auto delay = hexArg(0, 4)) {
      settings.shutdownDelay = static_cast<std::uint16_t>(*delay);
      data = "";
    }
  } else if ((mnemonic == "AS" || mnemonic == "MS" || mnemonic == "ICS") && args.size() == 2) {
    if (auto value = hexArg(0, 2)) {
      auto& target = mnemonic == "AS"   ? settings.startTripDelay
                     : mnemonic == "MS" ? settings.mode
                                        : settings.clockCorrection;
      target = static_cast<std::uint8_t>(*value);
      data = "";
    }
  } else if (mnemonic == "WCS" && args.size() == 12) {
    int f[6];
    bool ok = true;
    for (int i = 0; i < 6; ++i) {
      const auto v = ParseDigits(args.substr(static_cast<std::size_t>(i) * 2, 2), 10);
      ok = ok && v.has_value();
      f[i] = static_cast<int>(v.value_or(0));  // two decimal digits: at most 99
    }
    if (ok) {
      SetClock(DeviceClock{f[0], f[1], f[2], f[3], f[4], f[5]});
      data = "";
    }
  }
  if (!data) return std::nullopt;
  return echo + *data + "\r";
}

}  // namespace riventar::sim
