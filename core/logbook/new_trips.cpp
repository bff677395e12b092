#include "core/logbook/new_trips.h"

#include "core/link/commands.h"
#include "core/trips/dat_file.h"
#include "core/trips/device_reading.h"

namespace riventar::logbook {
namespace {

enum class Check { Same, Differs, Unanswered };

// Trip `index` read again and compared with what the logbook stored: the
// bytes of its trip line, which is all the logbook keeps of it.
Check ReadAgain(link::Exchange& link, int index, const trips::TripRecord& stored) {
  if (!link.RetryingExchange(link::TripReadCommand(static_cast<std::uint8_t>(index)))) return Check::Unanswered;
  const auto trip = trips::TripFromReply(link::View(link.LastReply()));
  return trip && trips::TripLine(*trip) == trips::TripLine(stored) ? Check::Same : Check::Differs;
}

}  // namespace

std::optional<NewTripsReading> ReadNewTrips(link::Exchange& link, int count, const trips::TripList& memory,
                                            const std::function<void(int index)>& sent) {
  const int known = static_cast<int>(memory.size());
  if (known > 0 && known <= count) {
    Check check = ReadAgain(link, 0, memory.front());
    if (check == Check::Same && known > 1) check = ReadAgain(link, known - 1, memory.back());
    if (check == Check::Unanswered) return std::nullopt;
    if (check == Check::Same) {
      auto read = trips::ReadTripRange(link, known, count, sent);
      if (!read) return std::nullopt;
      NewTripsReading reading{memory, known, static_cast<int>(read->size())};
      reading.trips.insert(reading.trips.end(), read->begin(), read->end());
      return reading;
    }
  }
  auto read = trips::ReadTrips(link, count, sent);
  if (!read) return std::nullopt;
  const int size = static_cast<int>(read->size());
  return NewTripsReading{std::move(*read), 0, size};
}

}  // namespace riventar::logbook
