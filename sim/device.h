#pragma once
// What the simulated on-board computer knows and how it answers, without any
// transport: one command text in, one reply line out.
//
// Replies are "!" + the command's characters after "$" (mnemonic and
// arguments) + the data + CR, so the data start at position k, k being the
// command's length without its CR.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace riventar::sim {

// One stored trip in the device's own terms: month 1..12, weekday 1 = Monday
// .. 7 = Sunday, year within the century; seconds, 1/6000 km, 1/16000 l.
struct DeviceTrip {
  std::uint8_t year = 0;
  std::uint8_t month = 1;
  std::uint8_t weekday = 1;
  std::uint8_t day = 1;
  std::uint8_t hour = 0;
  std::uint8_t minute = 0;
  std::uint32_t tripTime = 0;
  std::uint32_t movingTime = 0;
  std::uint32_t distance = 0;
  std::uint32_t fuel = 0;

  friend bool operator==(const DeviceTrip&, const DeviceTrip&) = default;
};

// The 42 hex digits a "$TR" reply carries after "!TRxx".
std::string EncodeTrip(const DeviceTrip& trip);

// Clock and calendar as "$WCR" sends them: two decimal digits each.
struct DeviceClock {
  int year = 24;  // within the century
  int month = 1;
  int weekday = 1;  // 1 = Monday
  int day = 1;
  int hour = 0;
  int minute = 0;

  friend bool operator==(const DeviceClock&, const DeviceClock&) = default;
};

struct DeviceSettings {
  std::uint8_t brightness = 10;       // "$LBR"/"$LBS", 1..19
  std::uint16_t shutdownDelay = 600;  // "$SDR"/"$SDS", tenths of a second
  std::uint8_t startTripDelay = 0;    // "$AR"/"$AS", hours, 0 = off
  std::uint8_t clockCorrection = 0;   // "$ICR"/"$ICS", signed byte
  std::uint8_t mode = 1;              // "$MR"/"$MS"
  std::string hardwareVersion = "SIM-BK HW 2.1";
  std::string softwareVersion = "SIM-BK SW 1.07";

  friend bool operator==(const DeviceSettings&, const DeviceSettings&) = default;
};

class Device {
 public:
  // A running clock advances with the PC's clock from the moment it was set;
  // a stopped one (the default, for tests) reads back exactly what was set.
  explicit Device(bool clockRunning = false);

  // `command`: the characters between "$" and the CR. The whole reply line
  // (CR included), or nothing for a command the device does not know.
  // Writing commands take effect here.
  std::optional<std::string> Answer(std::string_view command);

  std::vector<DeviceTrip> trips;
  DeviceSettings settings;

  void SetClock(const DeviceClock& clock);
  DeviceClock Clock() const;

 private:
  bool clockRunning_;
  DeviceClock clock_;
  // For a running clock: what it showed, and when, by the PC's steady clock.
  std::optional<std::chrono::sys_seconds> clockSetTo_;
  std::chrono::steady_clock::time_point clockSetAt_;
};

}  // namespace riventar::sim
