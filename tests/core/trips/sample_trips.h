#pragma once
// The trip every worked example uses: Wednesday 5 October 2005, 08:15.
#include "core/trips/trip_record.h"
#include "tests/support/trip_builder.h"

namespace riventar::testing {

inline trips::TripRecord WorkedExampleTrip() {
  return TripBuilder().Date(2005, 10, 5).Weekday(2).Time(8, 15).Lasting(3723, 2710).Distance(151800).Fuel(33600);
}

}  // namespace riventar::testing
