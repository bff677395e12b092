#pragma once
// Reading only the trips the logbook does not hold yet. The device keeps its
// trips in the order they were made and forgets them only all at once (the
// counter reset), so a history it still holds unchanged is recognised by its
// first and last trip: where the logbook holds trips 0 to k-1 of this device
// and both read back byte for byte the same, only k onwards are read.
#include <functional>
#include <optional>

#include "core/link/exchange.h"
#include "core/trips/trip_record.h"

namespace riventar::logbook {

struct NewTripsReading {
  // Every trip the device holds, in its order: the first `known` taken from
  // the logbook, the rest read now. A whole reading of the device either way.
  trips::TripList trips;
  int known = 0;
  // Trips read from the device, the two checks left out.
  int read = 0;
};

// `count` is the device's ("$TN"), `memory` what the logbook holds of this
// device (Store::DeviceMemory). A check that differs, a memory longer than the
// count, a check the device rules out: every trip is read, as ReadTrips does.
// Nothing when an exchange goes unanswered. `sent(index)` as for ReadTrips,
// for the trips read (not the checks).
std::optional<NewTripsReading> ReadNewTrips(link::Exchange& link, int count, const trips::TripList& memory,
                                            const std::function<void(int index)>& sent = {});

}  // namespace riventar::logbook
