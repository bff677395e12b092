#include "core/logbook/new_trips.h"

#include <map>

#include "core/link/commands.h"
#include "core/trips/dat_file.h"
#include "core/trips/device_reading.h"

namespace riventar::logbook {
namespace {

// The device's records at the indexes checked, each asked once however many
// memories it is compared with.
class Checks {
 public:
  explicit Checks(link::Exchange& link) : link_(link) {}

  // Record `index` compared with what the logbook stored: the bytes of its
  // trip line, which is all the logbook keeps of it. Nothing when unanswered.
  std::optional<bool> Same(int index, const trips::TripRecord& stored) {
    auto at = read_.find(index);
    if (at == read_.end()) {
      if (!link_.RetryingExchange(link::TripReadCommand(static_cast<std::uint8_t>(index)), {}, link::TripReplyForm))
        return std::nullopt;
      at = read_.emplace(index, trips::TripLine(trips::DecodeTripReply(link::Line(link_.LastReply())))).first;
    }
    return at->second == trips::TripLine(stored);
  }

 private:
  link::Exchange& link_;
  std::map<int, std::string> read_;
};

}  // namespace

std::optional<NewTripsReading> ReadNewTrips(link::Exchange& link, int count,
                                            const std::vector<trips::TripList>& memories,
                                            const std::function<void(int index)>& sent) {
  Checks checks(link);
  for (const trips::TripList& memory : memories) {
    const int known = static_cast<int>(memory.size());
    if (known == 0 || known > count) continue;
    std::optional<bool> same = checks.Same(0, memory.front());
    if (same.has_value() && *same && known > 1) same = checks.Same(known - 1, memory.back());
    if (!same.has_value()) return std::nullopt;
    if (!*same) continue;
    auto read = trips::ReadDeviceRecords(link, known, count, sent);
    if (!read) return std::nullopt;
    NewTripsReading reading{trips::AcceptedTrips(memory), memory, known, 0};
    const trips::TripList added = trips::AcceptedTrips(*read);
    reading.read = static_cast<int>(added.size());
    reading.trips.insert(reading.trips.end(), added.begin(), added.end());
    reading.records.insert(reading.records.end(), read->begin(), read->end());
    return reading;
  }
  auto read = trips::ReadDeviceRecords(link, 0, count, sent);
  if (!read) return std::nullopt;
  trips::TripList accepted = trips::AcceptedTrips(*read);
  const int size = static_cast<int>(accepted.size());
  return NewTripsReading{std::move(accepted), std::move(*read), 0, size};
}

}  // namespace riventar::logbook
