#pragma once
// Trips and readings for the logbook's tests: a trip a day (days past 31 run
// on into February 2024), and a reading of them under one car.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "core/logbook/logbook.h"
#include "core/trips/trip_record.h"
#include "tests/support/trip_builder.h"

namespace riventar::testing {

inline trips::TripRecord Trip(int day, int hour, std::int64_t distance = 60000) {  // 1/6000 km, fits 32 bits
  return TripBuilder()
      .Date(2024, day > 31 ? 2 : 1, day > 31 ? day - 31 : day)
      .Time(hour, 5)
      .Distance(static_cast<std::uint32_t>(distance));
}

inline logbook::Recording Reading(const trips::TripList& trips, const std::string& plate = "А123ВС77",
                                  logbook::Origin origin = logbook::Origin::Device,
                                  const std::string& source = "/dev/ttyUSB0") {
  return {origin, source, "2024-03-01 10:00:00", {"ВАЗ-2110", plate, "Иванов"}, trips};
}

// Sums as "plate:trips:distance:fuel;", by plate.
inline std::string SumsText(std::vector<logbook::PeriodTotals> sums) {
  std::sort(sums.begin(), sums.end(), [](const auto& a, const auto& b) { return a.plateKey < b.plateKey; });
  std::string out;
  for (const logbook::PeriodTotals& s : sums)
    out += s.plateKey + ":" + std::to_string(s.trips) + ":" + std::to_string(s.distance) + ":" +
           std::to_string(s.fuel) + ";";
  return out;
}

}  // namespace riventar::testing
