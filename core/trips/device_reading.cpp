#include "core/trips/device_reading.h"

#include "core/link/commands.h"
#include "core/link/hex.h"

namespace riventar::trips {

std::optional<int> ReadTripCount(link::Exchange& link) {
  if (!link.CommandExchange(link::TripCountCommand(), {}, link::TripCountReplyForm)) return std::nullopt;
  return link::HexToByte(link::Line(link.LastReply()), link::TripCountPosition);
}

std::optional<TripList> ReadTrips(link::Exchange& link, int count, const std::function<void(int index)>& sent) {
  return ReadTripRange(link, 0, count, sent);
}

std::optional<TripList> ReadTripRange(link::Exchange& link, int first, int end,
                                      const std::function<void(int index)>& sent) {
  auto records = ReadDeviceRecords(link, first, end, sent);
  if (!records) return std::nullopt;
  return AcceptedTrips(*records);
}

std::optional<TripList> ReadDeviceRecords(link::Exchange& link, int first, int end,
                                          const std::function<void(int index)>& sent) {
  TripList read;
  for (int index = first; index < end; ++index) {
    const auto whileWaiting = [&] {
      if (sent) sent(index);
    };
    if (!link.RetryingExchange(link::TripReadCommand(static_cast<std::uint8_t>(index)), whileWaiting,
                               link::TripReplyForm))
      return std::nullopt;
    read.push_back(DecodeTripReply(link::Line(link.LastReply())));
  }
  return read;
}

TripList AcceptedTrips(const TripList& records) {
  TripList trips;
  for (TripRecord r : records) {
    if (!AcceptedFromDevice(r)) continue;
    Derive(r);
    trips.push_back(r);
  }
  return trips;
}

}  // namespace riventar::trips
