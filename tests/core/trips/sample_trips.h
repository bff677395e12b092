#pragma once
// The trip every worked example uses: Wednesday 5 October 2005, 08:15.
#include "core/trips/trip_record.h"

namespace riventar::testing {

inline trips::TripRecord WorkedExampleTrip() {
  trips::TripRecord r;
  r.Year = 5;
  r.Month = 9;
  r.Weekday = 2;
  r.Day = 5;
  r.Hour = 8;
  r.Minute = 15;
  r.TripTime = 3723;
  r.MovingTime = 2710;
  r.Distance = 151800;
  r.Fuel = 33600;
  trips::Derive(r);
  return r;
}

}  // namespace riventar::testing
