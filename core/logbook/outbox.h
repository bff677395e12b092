#pragma once
// The outbox: what waits on this computer for a fleet's shared server. The
// local logbook keeps it (adapters/logbook: OpenQueuingLogbook); the shared
// logbook (shared_logbook.h) sends it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/logbook/logbook.h"

namespace riventar::logbook {

struct OutboxEntry {
  std::int64_t id = 0;  // the queue's order
  Queued queued;        // its id is never empty
};

struct OutboxTotals {
  std::int64_t trips = 0;  // distinct trips that were new to this logbook when queued
  std::int64_t recordings = 0;
  std::string since;  // the oldest waiting recording's time ("YYYY-MM-DD HH:MM:SS"), empty when none
  // Recordings the server refused for what they hold: kept here, not among
  // those above, and not sent again unless asked (Reconsider).
  std::int64_t setAside = 0;
};

// What waits for one server (OpenQueuingLogbook's `server` key); an empty
// key: queued before the entries named their server.
struct ServerQueue {
  std::string server;
  OutboxTotals waiting;
};

struct SetAsideRecording {
  std::int64_t id = 0;
  std::string at;
  std::string source;
  std::int64_t trips = 0;  // in the recording
  std::string reason;      // the server's words, one line
};

// The local half of a shared logbook: every Record and RecordSaved also
// queues the recording, in the same transaction, to be sent to the server
// named by the key it was opened with. Unsent() and `VehicleSummary::pending`
// come from the queue's new trips. Every member but WaitingByServer sees only
// the entries of its own server (and those queued before entries named one).
class QueuingStore : public Store {
 public:
  // The oldest waiting recordings, in order, as many as hold at most
  // `maxTrips` trips (always at least one).
  virtual std::vector<OutboxEntry> Waiting(std::size_t maxTrips) = 0;
  // Only once the server has committed them.
  virtual void Sent(const std::vector<std::int64_t>& ids) = 0;
  // The server refused the entry for its content: kept, not sent again.
  virtual void SetAside(std::int64_t id, const std::string& reason) = 0;
  virtual std::vector<SetAsideRecording> SetAsideRecordings() = 0;
  // The set-aside entries wait again (the server may take them now).
  virtual void Reconsider() = 0;
  virtual OutboxTotals WaitingTotals() = 0;
  // Every server something waits for, by key.
  virtual std::vector<ServerQueue> WaitingByServer() = 0;
  // The key this store was opened with.
  virtual std::string Server() const = 0;
  // Per vehicle, the waiting new trips (`trips` == `pending`), with the texts
  // this logbook shows.
  virtual std::vector<VehicleSummary> WaitingVehicles() = 0;

  QueuingStore* AsOutbox() override { return this; }
};

}  // namespace riventar::logbook
