#pragma once
// Reading the stored trips from the device, shared by every front end.
#include <cstdint>
#include <functional>
#include <optional>

#include "core/link/exchange.h"
#include "core/trips/trip_record.h"

namespace riventar::trips {

// How many trips the device holds ("$TN", one attempt); nothing when
// unanswered or answered only by lines that are no whole reply
// (Exchange::LastFailureGarbled tells which).
std::optional<int> ReadTripCount(link::Exchange& link);

// Trips 0..count-1 in order ("$TR", retried). From a device that echoes, a
// reply counts only when it echoes the requested index. `sent(index)` runs after each request is
// written, while its reply is on the wire. A reply that is no whole record
// (cut short, a character that is no digit) is passed over and the trip asked
// again; whole trips whose values the device rules out are left out. Nothing
// at all when a trip stays unanswered or garbled: the exchange's LastCommand
// names it.
std::optional<TripList> ReadTrips(link::Exchange& link, int count, const std::function<void(int index)>& sent = {});
// Trips first..end-1 only, by the same rules.
std::optional<TripList> ReadTripRange(link::Exchange& link, int first, int end,
                                      const std::function<void(int index)>& sent = {});

// The records at indexes first..end-1 as the device holds them, one per
// index, rejected ones included (DecodeTripReply: derived values left at 0).
// Asked as ReadTripRange asks; nothing when one stays unanswered.
std::optional<TripList> ReadDeviceRecords(link::Exchange& link, int first, int end,
                                          const std::function<void(int index)>& sent = {});
// Of a device's records, the trips its rules accept, derived values filled.
TripList AcceptedTrips(const TripList& records);

}  // namespace riventar::trips
