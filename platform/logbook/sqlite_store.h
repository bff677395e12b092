#pragma once
// The logbook in one SQLite file, through Qt SQL.
//
// Qt SQL loads its SQLite driver as a plugin: a QCoreApplication (or a
// QApplication) must exist before OpenLogbook and outlive every Store.
//
// The file is shared: the window and riventar-cli may hold it open at once.
// Writers queue for up to `busyTimeout`, then get StoreError::Kind::Locked.
// A file that is not a logbook, is damaged, or was written by a newer program
// is refused before anything is written to it.
#include <chrono>
#include <memory>
#include <string>

#include "core/logbook/logbook.h"

namespace riventar::logbook {

inline constexpr std::chrono::milliseconds DefaultBusyTimeout{5000};

// The schema this program writes; a file of a higher version is Newer.
// Version 2 added the outbox.
inline constexpr int SchemaVersion = 2;

// Opens the logbook at `location`, creating it (and its folder) when missing.
// Throws StoreError. The Store belongs to the calling thread.
std::unique_ptr<Store> OpenLogbook(const std::string& location,
                                   std::chrono::milliseconds busyTimeout = DefaultBusyTimeout);

// Opens a logbook that exists only to read it, as a server that shows it
// does: nothing is created, migrated or written (Record and RecordSaved throw
// ReadOnly). Throws StoreError; CannotOpen when the file is missing.
std::unique_ptr<Store> OpenLogbookReadOnly(const std::string& location,
                                           std::chrono::milliseconds busyTimeout = DefaultBusyTimeout);

// ---- The outbox: what waits for a shared server ----

struct OutboxEntry {
  std::int64_t id = 0;  // the queue's order
  Queued queued;        // its id is never empty
};

struct OutboxTotals {
  std::int64_t trips = 0;  // distinct trips that were new to this logbook when queued
  std::int64_t recordings = 0;
  std::string since;  // the oldest waiting recording's time ("YYYY-MM-DD HH:MM:SS"), empty when none
};

// The local half of a shared logbook: every Record and RecordSaved also
// queues the recording, in the same transaction, to be sent to the server.
// Unsent() and `VehicleSummary::pending` come from the queue's new trips.
class QueuingStore : public Store {
 public:
  // The oldest waiting recordings, in order, as many as hold at most
  // `maxTrips` trips (always at least one).
  virtual std::vector<OutboxEntry> Waiting(std::size_t maxTrips) = 0;
  // Only once the server has committed them.
  virtual void Sent(const std::vector<std::int64_t>& ids) = 0;
  virtual OutboxTotals WaitingTotals() = 0;
  // Per vehicle, the waiting new trips (`trips` == `pending`), with the texts
  // this logbook shows.
  virtual std::vector<VehicleSummary> WaitingVehicles() = 0;
};

std::unique_ptr<QueuingStore> OpenQueuingLogbook(const std::string& location,
                                                 std::chrono::milliseconds busyTimeout = DefaultBusyTimeout);

}  // namespace riventar::logbook
