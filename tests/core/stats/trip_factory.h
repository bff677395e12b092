#pragma once
// Trips on given calendar dates, with the weekday the device would report.
#include "core/trips/trip_record.h"
#include "tests/support/trip_builder.h"

namespace riventar::stats::testing {

inline trips::TripRecord TripOn(int y, unsigned m, unsigned d, std::uint32_t tripTime = 60,
                                std::uint32_t movingTime = 60, std::uint32_t distance = 6000,
                                std::uint32_t fuel = 1600) {
  return riventar::testing::TripBuilder()
      .Date(y, static_cast<int>(m), static_cast<int>(d))
      .WeekdayOfDate()
      .Lasting(tripTime, movingTime)
      .Distance(distance)
      .Fuel(fuel);
}

}  // namespace riventar::stats::testing
