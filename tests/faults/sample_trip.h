#pragma once
// A plausible trip for the table: 8:15 on a Friday in March 2024, 25.3 km.
#include <cstdint>

#include "core/trips/trip_record.h"

namespace riventar::testing {

inline trips::TripRecord SampleTrip(std::uint8_t day) {
  trips::TripRecord r{24, 2, 4, day, 8, 15, 3723, 2710, 151800, 33600, 0, 0};
  trips::Derive(r);
  return r;
}

}  // namespace riventar::testing
