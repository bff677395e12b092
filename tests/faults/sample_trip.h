#pragma once
// A plausible trip for the table: 8:15 on a Friday in March 2024, 25.3 km.
#include <cstdint>

#include "core/trips/trip_record.h"
#include "tests/support/trip_builder.h"

namespace riventar::testing {

inline trips::TripRecord SampleTrip(std::uint8_t day) {
  return TripBuilder().Date(2024, 3, day).Weekday(4).Time(8, 15).Lasting(3723, 2710).Distance(151800).Fuel(33600);
}

}  // namespace riventar::testing
