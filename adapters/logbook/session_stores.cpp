#include "adapters/logbook/session_stores.h"

#include <filesystem>

#include "adapters/logbook/fleet_store.h"
#include "adapters/logbook/location.h"
#include "adapters/logbook/pg_store.h"
#include "adapters/logbook/sqlite_store.h"
#include "core/logbook/server_location.h"

namespace riventar::logbook {
namespace {

services::WaitingTotals Totals(const OutboxTotals& t) { return {t.trips, t.recordings, t.since, t.setAside}; }

}  // namespace

std::string SessionStores::Configured(const std::optional<std::string>& given) {
  return settings_ ? LogbookLocation(given, *settings_) : LogbookLocation(given);
}

std::string SessionStores::DefaultLocation() { return DefaultLogbookLocation(); }

void SessionStores::Remember(const std::string& location) {
  if (settings_)
    SaveLogbookLocation(location, *settings_);
  else
    SaveLogbookLocation(location);
}

std::unique_ptr<Store> SessionStores::Open(const std::string& location, const services::StoreOptions& options) {
  using services::StoreUse;
  const bool server = IsServerLocation(location);
  if (options.use == StoreUse::Browse) return server ? OpenServerLogbook(location) : OpenLogbookReadOnly(location);
  if (options.use == StoreUse::Read && !server) {
    std::error_code error;
    if (!std::filesystem::exists(location, error)) return nullptr;  // nothing is made to read nothing
  }
  LogbookOptions fleet;
  fleet.notice = options.notice;
  fleet.sendOnRecording = options.sendOnRecording;
  // Never at closing on the window's thread: the session sends on its own.
  fleet.sendOnClose = options.sendOnClose;
  const Access access = options.use == StoreUse::Record         ? Access::Write
                        : options.use == StoreUse::ReadOrRecord ? Access::ReadOrWrite
                                                                : Access::Read;
  return OpenLogbookAt(location, fleet, access, options.pagesChecked);
}

services::SharingStatus SessionStores::Sharing(Store& store) {
  const SharingStatus s = logbook::Sharing(store);
  services::SharingStatus out;
  out.shared = s.shared;
  out.server = s.server;
  out.waiting = Totals(s.waiting);
  for (const SetAsideRecording& r : s.setAside) out.setAside.push_back({r.at, r.source, r.trips, r.reason});
  for (const ServerQueue& q : s.servers) out.servers.push_back({q.server, Totals(q.waiting)});
  out.serverKey = s.serverKey;
  out.problem = s.problem;
  out.problemKind = s.problemKind;
  out.problemDetail = s.problemDetail;
  return out;
}

services::SendReport SessionStores::SendWaiting(Store& store) {
  const SyncResult r = logbook::SendWaiting(store);
  return {r.complete, r.sentTrips, r.newTrips, r.sentRecordings, Totals(r.left), r.problem};
}

bool SessionStores::CheckPages(const std::string& location) { return CheckLogbookPages(location); }

void SessionStores::BackUp(const std::string& location, const std::string& copy) { BackUpLogbook(location, copy); }

}  // namespace riventar::logbook
