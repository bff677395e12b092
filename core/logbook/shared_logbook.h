#pragma once
// A fleet's shared logbook: a server's logbook with this computer's own
// logbook, and its outbox, in front of it. Pure policy over Store: the
// adapters give the local logbook and the server (adapters/logbook).
//
// Local first. Every recording is committed to the local file, together with
// a copy in its outbox, before the server is tried, so that a device may
// forget its trips whether or not the server was reached. The outbox goes to
// the server in order, one server transaction per batch; an entry leaves it
// only once the server has committed it, and sending one twice is harmless
// (the server keeps each trip, and each recording's id, once).
//
// Reading asks the server, after sending what waits, and adds the trips that
// still wait (marked: VehicleSummary::pending, Store::Unsent); without the
// server it reads the local file. A server problem never fails a recording or
// a reading: it is said through LogbookOptions::notice, in one line, and what
// was recorded waits. No attempt waits longer than ServerConnectTimeout to
// connect; after a failed connection the automatic attempts (recording,
// reading) rest for ServerRetryPause, while SendWaiting always tries.
//
// A password written into the location is never in any text given out (the
// opener gives the scrub).
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/logbook/logbook.h"
#include "core/logbook/outbox.h"

namespace riventar::logbook {

inline constexpr std::chrono::seconds ServerConnectTimeout{5};
inline constexpr std::chrono::seconds ServerRetryPause{30};

struct LogbookOptions {
  // One line per server problem, as it happens; on the store's thread.
  std::function<void(const std::string&)> notice;
  // False: a recording is committed to the local file only, and what waits
  // is sent when the store is closed (or read from, or synced), for a caller
  // that must not wait for the server in between (the device's counter reset).
  bool sendOnRecording = true;
  // With sendOnRecording false: false, and not even then; the caller sends
  // (SendWaiting), say on a thread of its own, so that it never waits.
  bool sendOnClose = true;
};

struct SharingStatus {
  bool shared = false;  // a fleet's logbook; false: a file of its own, nothing waits
  std::string server;   // its location as it may be shown
  OutboxTotals waiting;
  // Of this server's recordings, those it refused for their content.
  std::vector<SetAsideRecording> setAside;
  // What waits for each server (by ServerQueueKey), this one's included
  // under `serverKey`. Also for a file of its own: what it queued before.
  std::vector<ServerQueue> servers;
  std::string serverKey;
  std::string problem;  // the last server problem, one line; empty when the last attempt reached it
  // The same problem for a front end that words it itself: what kind, and the
  // server's own words (one line, without a password). Unset with `problem` empty.
  std::optional<StoreError::Kind> problemKind;
  std::string problemDetail;
};

struct SyncResult {
  bool complete = true;        // nothing waits any more, and nothing was set aside
  std::int64_t sentTrips = 0;  // of the trips that waited, those now on the server
  std::int64_t newTrips = 0;   // of those, the ones the server did not hold yet
  std::int64_t sentRecordings = 0;
  OutboxTotals left;
  std::string problem;  // why not everything, one line
};

// For any Store OpenLogbookAt gave; a file's: not shared, nothing to send.
// Sharing reads only the local file. SendWaiting tries the server now, even
// right after a failure, and sends everything that waits for it, the
// recordings it refused before included. Both throw StoreError for the local
// file only.
//
// Only what was queued for this server is sent to it. A recording the server
// refuses for its content (RecordingRefused) is set aside with the reason,
// and the others are sent all the same.
SharingStatus Sharing(Store& store);
SyncResult SendWaiting(Store& store);

// The shared logbook over any server Store (tests put a second file there).
// `serverName` is how messages name the server; `openServer` connects, throwing
// StoreError.
std::unique_ptr<Store> OpenSharedLogbook(std::unique_ptr<QueuingStore> local, std::string serverName,
                                         std::function<std::unique_ptr<Store>()> openServer,
                                         const LogbookOptions& options = {});
// The same, with `scrub` taking a password out of the server's messages.
std::unique_ptr<Store> OpenSharedLogbook(std::unique_ptr<QueuingStore> local, std::string serverName,
                                         std::function<std::unique_ptr<Store>()> openServer,
                                         std::function<std::string(std::string)> scrub, const LogbookOptions& options);

// What a shared logbook answers besides a Store's members.
class SharedLogbook : public Store {
 public:
  virtual SharingStatus Status() = 0;
  virtual SyncResult SendNow() = 0;

  SharedLogbook* AsShared() override { return this; }
};

}  // namespace riventar::logbook
