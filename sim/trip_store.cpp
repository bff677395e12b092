#include "sim/trip_store.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string_view>

namespace riventar::sim {
namespace {

using namespace std::chrono;

struct Drive {
  int hour, minute;
  double km, speedKmh, litresPer100;
};

DeviceTrip MakeTrip(sys_days date, const Drive& d, double idleShare) {
  const year_month_day ymd{date};
  DeviceTrip t;
  t.year = static_cast<std::uint8_t>(static_cast<int>(ymd.year()) - 2000);
  t.month = static_cast<std::uint8_t>(static_cast<unsigned>(ymd.month()));
  t.weekday = static_cast<std::uint8_t>(weekday{date}.iso_encoding());
  t.day = static_cast<std::uint8_t>(static_cast<unsigned>(ymd.day()));
  t.hour = static_cast<std::uint8_t>(d.hour);
  t.minute = static_cast<std::uint8_t>(d.minute);
  t.movingTime = std::max<std::uint32_t>(60, static_cast<std::uint32_t>(d.km / d.speedKmh * 3600));
  t.tripTime = t.movingTime + static_cast<std::uint32_t>(t.movingTime * idleShare);
  t.distance = static_cast<std::uint32_t>(d.km * 6000);
  t.fuel = static_cast<std::uint32_t>(d.km * d.litresPer100 / 100 * 16000);
  return t;
}

bool IsHex(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

unsigned HexAt(std::string_view s, std::size_t at, std::size_t width) {
  return static_cast<unsigned>(std::stoul(std::string(s.substr(at, width)), nullptr, 16));
}

std::uint32_t Hex32(std::string_view s, std::size_t at) {
  return static_cast<std::uint32_t>(std::stoul(std::string(s.substr(at, 8)), nullptr, 16));
}

std::optional<DeviceTrip> ParseLine(std::string_view line) {
  DeviceTrip t;
  if (line.size() == 42 && IsHex(line)) {
    const unsigned mw = HexAt(line, 2, 2);
    t = {static_cast<std::uint8_t>(HexAt(line, 0, 2)),
         static_cast<std::uint8_t>(mw & 0x0f),
         static_cast<std::uint8_t>(mw >> 4),
         static_cast<std::uint8_t>(HexAt(line, 4, 2)),
         static_cast<std::uint8_t>(HexAt(line, 6, 2)),
         static_cast<std::uint8_t>(HexAt(line, 8, 2)),
         Hex32(line, 10),
         Hex32(line, 18),
         Hex32(line, 26),
         Hex32(line, 34)};
    return t;
  }
  if (line.size() == 44 && IsHex(line)) {
    t = {static_cast<std::uint8_t>(HexAt(line, 0, 2)),
         static_cast<std::uint8_t>(HexAt(line, 2, 2)),
         static_cast<std::uint8_t>(HexAt(line, 4, 2)),
         static_cast<std::uint8_t>(HexAt(line, 6, 2)),
         static_cast<std::uint8_t>(HexAt(line, 8, 2)),
         static_cast<std::uint8_t>(HexAt(line, 10, 2)),
         Hex32(line, 12),
         Hex32(line, 20),
         Hex32(line, 28),
         Hex32(line, 36)};
    return t;
  }
  int y, mo, d, h, mi;
  unsigned long tt, mt, dist, fuel;
  char tail;
  const std::string s(line);
  if (std::sscanf(s.c_str(), "%d-%d-%d %d:%d %lu %lu %lu %lu %c", &y, &mo, &d, &h, &mi, &tt, &mt, &dist, &fuel,
                  &tail) != 9)
    return std::nullopt;
  const year_month_day date{year{y}, month{static_cast<unsigned>(mo)}, day{static_cast<unsigned>(d)}};
  if (!date.ok() || y < 2000 || y > 2099 || h < 0 || h > 23 || mi < 0 || mi > 59) return std::nullopt;
  t = MakeTrip(sys_days{date}, {h, mi, 1, 1, 1}, 0);
  t.tripTime = static_cast<std::uint32_t>(tt);
  t.movingTime = static_cast<std::uint32_t>(mt);
  t.distance = static_cast<std::uint32_t>(dist);
  t.fuel = static_cast<std::uint32_t>(fuel);
  return t;
}

}  // namespace

std::vector<DeviceTrip> RealisticTrips(int count, unsigned seed) {
  std::mt19937 random(seed);
  auto uniform = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(random); };
  auto chance = [&](double p) { return uniform(0, 1) < p; };
  auto minuteNear = [&](int base, int spread) { return base + static_cast<int>(uniform(-spread, spread)); };
  const double carConsumption = uniform(7.0, 9.0);  // l/100 km in town for this car
  std::vector<DeviceTrip> trips;
  count = std::clamp(count, 0, 255);
  for (sys_days date = sys_days{year{2024} / March / 4}; static_cast<int>(trips.size()) < count; date += days{1}) {
    std::vector<Drive> drives;
    const bool workday = weekday{date}.iso_encoding() <= 5;
    const double commuteKm = 14.5;
    if (workday) {
      const int out = minuteNear(7 * 60 + 40, 20);
      drives.push_back(
          {out / 60, out % 60, commuteKm + uniform(-1, 2), uniform(24, 38), carConsumption + uniform(0, 2)});
      if (chance(0.3)) {
        const int noon = minuteNear(13 * 60, 45);
        drives.push_back({noon / 60, noon % 60, uniform(2, 9), uniform(18, 30), carConsumption + uniform(1, 3)});
      }
      const int back = minuteNear(18 * 60 + 10, 35);
      drives.push_back(
          {back / 60, back % 60, commuteKm + uniform(-1, 4), uniform(20, 34), carConsumption + uniform(0.5, 2.5)});
    } else {
      if (chance(0.35)) {
        const int away = minuteNear(9 * 60, 40);
        drives.push_back({away / 60, away % 60, uniform(60, 240), uniform(65, 92), carConsumption - uniform(1, 2)});
      }
      if (chance(0.6)) {
        const int shop = minuteNear(15 * 60 + 30, 60);
        drives.push_back({shop / 60, shop % 60, uniform(4, 12), uniform(22, 35), carConsumption + uniform(0, 2)});
      }
    }
    for (const Drive& d : drives) {
      if (static_cast<int>(trips.size()) == count) break;
      trips.push_back(MakeTrip(date, d, uniform(0.05, 0.4)));
    }
  }
  return trips;
}

std::vector<DeviceTrip> WithInvalidTrips(std::vector<DeviceTrip> trips) {
  int kind = 0;
  for (std::size_t i = 1; i < trips.size(); i += 3) {
    DeviceTrip& t = trips[i];
    switch (kind++ % 5) {
      case 0:
        t.tripTime = 0;
        break;
      case 1:
        t.distance = 5;
        break;
      case 2:
        t.fuel = 160000011;
        break;
      case 3:
        t.movingTime = 360011;
        break;
      default:
        t.distance = 60000011;
        break;
    }
  }
  return trips;
}

std::vector<DeviceTrip> LoadTrips(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error(path + ": cannot be read");
  const bool dataFile = path.size() >= 4 && path.compare(path.size() - 4, 4, ".dat") == 0;
  std::vector<DeviceTrip> trips;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (dataFile && number <= 3) continue;
    const auto start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') continue;
    const auto trip = ParseLine(std::string_view(line).substr(start));
    if (!trip) throw std::runtime_error(path + ":" + std::to_string(number) + ": not a trip: " + line);
    trips.push_back(*trip);
  }
  if (trips.size() > 255) throw std::runtime_error(path + ": more than 255 trips");
  return trips;
}

}  // namespace riventar::sim
