#pragma once
// Reading only the trips the logbook does not hold yet. The device keeps its
// trips in the order they were made and forgets them only all at once (the
// counter reset), so a history it still holds unchanged is recognised by its
// first and last record: where the logbook remembers records 0 to k-1 of a
// device and both read back byte for byte the same at those indexes, only k
// onwards are read. Records the device's rules reject count as any other:
// they hold their index.
#include <functional>
#include <optional>
#include <vector>

#include "core/link/exchange.h"
#include "core/trips/trip_record.h"

namespace riventar::logbook {

struct NewTripsReading {
  // Every trip the device holds, in its order, as trips::ReadTrips gives
  // them: those of the first `known` records taken from the logbook, the
  // rest read now. A whole reading of the device either way.
  trips::TripList trips;
  // The device's record at each index (Recording::records).
  trips::TripList records;
  int known = 0;  // records taken from the logbook
  // Trips read from the device, the checks and rejected records left out.
  int read = 0;
};

// `count` is the device's ("$TN"), `memories` what the logbook remembers of
// the devices read through this path (Store::DeviceMemories), the first that
// matches taken. One whose record 0 or k-1 differs, or that is longer than
// the count, is passed over; with none left every record is read. Nothing
// when an exchange goes unanswered. `sent(index)` as for trips::ReadTrips,
// for the records read (not the checks).
std::optional<NewTripsReading> ReadNewTrips(link::Exchange& link, int count,
                                            const std::vector<trips::TripList>& memories,
                                            const std::function<void(int index)>& sent = {});

}  // namespace riventar::logbook
