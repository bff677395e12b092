#include "adapters/logbook/session_stores.h"

#include <filesystem>
#include <set>

#include "adapters/logbook/fleet_store.h"
#include "adapters/logbook/location.h"
#include "adapters/logbook/pg_store.h"
#include "adapters/logbook/sqlite_store.h"
#include "core/logbook/server_location.h"

namespace riventar::logbook {
namespace {

services::WaitingTotals Totals(const OutboxTotals& t) { return {t.trips, t.recordings, t.since, t.setAside}; }

// A fleet's logbook as a browser is shown it: the server's, only read, and
// in each vehicle's `pending` the trips that wait on this computer for that
// server and that it does not hold yet. This computer's file is looked at
// only when there is one, only read, and a problem with it (an older file
// not brought up to date, say) leaves `pending` at 0.
class BrowsedFleet final : public Store {
 public:
  BrowsedFleet(std::unique_ptr<Store> server, std::string location)
      : server_(std::move(server)), location_(std::move(location)) {}

  Recorded Record(const Recording& r) override { return server_->Record(r); }
  Recorded RecordSaved(const Recording& r) override { return server_->RecordSaved(r); }
  std::vector<VehicleSummary> Vehicles() override {
    std::vector<VehicleSummary> vehicles = server_->Vehicles();
    const std::string here = DefaultLogbookLocation();
    std::error_code error;
    if (!std::filesystem::is_regular_file(here, error)) return vehicles;
    try {
      const auto local = OpenQueueReadOnly(here, ServerQueueKey(location_));  // a look: never a write
      for (const VehicleSummary& w : local->WaitingVehicles()) {
        const TripQuery query{w.plateKey, w.firstDate, w.lastDate};
        std::set<std::string> there;
        for (const trips::TripRecord& r : server_->Trips(query)) there.insert(TripKey(r));
        std::int64_t waiting = 0;
        for (const trips::TripRecord& r : local->Unsent(query)) waiting += there.contains(TripKey(r)) ? 0 : 1;
        for (VehicleSummary& v : vehicles)
          if (v.plateKey == w.plateKey) v.pending = waiting;
      }
    } catch (const StoreError& e) {
      if (e.path() != here) throw;  // the server's problem is the page's
    }
    return vehicles;
  }
  std::vector<MonthSummary> Months(const std::string& plateKey) override { return server_->Months(plateKey); }
  trips::TripList Trips(const TripQuery& query) override { return server_->Trips(query); }
  std::vector<ImportRow> Imports() override { return server_->Imports(); }
  trips::TripList DeviceMemory(const std::string& path) override { return server_->DeviceMemory(path); }
  std::vector<PeriodTotals> SumsByVehicle(const TripQuery& query) override { return server_->SumsByVehicle(query); }

 private:
  std::unique_ptr<Store> server_;
  std::string location_;
};

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
  if (options.use == StoreUse::Browse)
    return server ? std::make_unique<BrowsedFleet>(OpenServerLogbook(location), location)
                  : OpenLogbookReadOnly(location);
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
