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
  TripList read;
  for (int index = first; index < end; ++index) {
    const auto whileWaiting = [&] {
      if (sent) sent(index);
    };
    if (!link.RetryingExchange(link::TripReadCommand(static_cast<std::uint8_t>(index)), whileWaiting,
                               link::TripReplyForm))
      return std::nullopt;
    if (auto trip = TripFromReply(link::Line(link.LastReply()))) read.push_back(*trip);
  }
  return read;
}

}  // namespace riventar::trips
