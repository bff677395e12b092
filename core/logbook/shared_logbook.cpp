#include "core/logbook/shared_logbook.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <map>
#include <set>
#include <tuple>
#include <utility>

namespace riventar::logbook {
namespace {

using Clock = std::chrono::steady_clock;
using trips::TripRecord;

// Trips per server transaction: a few seconds' work for a slow server, and a
// small loss when the connection drops in the middle.
constexpr std::size_t BatchTrips = 2000;

auto Order(const TripRecord& r) {
  return std::tie(r.Year, r.Month, r.Day, r.Hour, r.Minute, r.Weekday, r.TripTime, r.MovingTime, r.Distance, r.Fuel);
}

std::string Date(const TripRecord& r) {
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", 2000 + r.Year, r.Month + 1, r.Day);
  return text;
}

std::string OneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

std::string TripsText(std::int64_t n) { return std::to_string(n) + (n == 1 ? " trip" : " trips"); }
std::string RecordingsText(std::int64_t n) { return std::to_string(n) + (n == 1 ? " recording" : " recordings"); }

class SharedStore final : public SharedLogbook {
 public:
  SharedStore(std::unique_ptr<QueuingStore> local, std::string serverName,
              std::function<std::unique_ptr<Store>()> openServer, std::function<std::string(std::string)> scrub,
              LogbookOptions options)
      : local_(std::move(local)),
        serverName_(std::move(serverName)),
        openServer_(std::move(openServer)),
        scrub_(std::move(scrub)),
        options_(std::move(options)) {}
  ~SharedStore() override {
    if (options_.sendOnRecording || !options_.sendOnClose) return;
    try {
      Send(false);
    } catch (const StoreError&) {  // the local file: what waits stays there
    }
  }
  SharedStore(const SharedStore&) = delete;
  SharedStore& operator=(const SharedStore&) = delete;

  // The local commit is the one that counts: its outcome is returned whatever
  // the server does.
  Recorded Record(const Recording& recording) override {
    Recorded recorded = local_->Record(recording);
    if (options_.sendOnRecording) Send(false);
    return recorded;
  }
  Recorded RecordSaved(const Recording& recording) override {
    Recorded recorded = local_->RecordSaved(recording);
    if (options_.sendOnRecording) Send(false);
    return recorded;
  }

  std::vector<VehicleSummary> Vehicles() override {
    return Read<std::vector<VehicleSummary>>(
        [this](Store& server) {
          std::vector<VehicleSummary> vehicles = server.Vehicles();
          for (const VehicleSummary& w : local_->WaitingVehicles()) {
            const TripQuery query{w.plateKey, w.firstDate, w.lastDate};
            const trips::TripList extra = NotIn(server.Trips(query), local_->Unsent(query));
            if (extra.empty()) continue;
            auto v = std::find_if(vehicles.begin(), vehicles.end(),
                                  [&w](const VehicleSummary& s) { return s.plateKey == w.plateKey; });
            if (v == vehicles.end()) {
              VehicleSummary fresh;
              fresh.plateKey = w.plateKey;
              fresh.texts = w.texts;
              v = vehicles.insert(
                  std::upper_bound(vehicles.begin(), vehicles.end(), w.plateKey,
                                   [](const std::string& key, const VehicleSummary& s) { return key < s.plateKey; }),
                  fresh);
            }
            for (const TripRecord& r : extra) {
              ++v->trips;
              ++v->pending;
              v->distance += r.Distance;
              if (v->firstDate.empty() || Date(r) < v->firstDate) v->firstDate = Date(r);
              if (v->lastDate.empty() || Date(r) > v->lastDate) v->lastDate = Date(r);
            }
          }
          return vehicles;
        },
        [this] {
          std::vector<VehicleSummary> vehicles = local_->Vehicles();
          for (const VehicleSummary& w : local_->WaitingVehicles())
            for (VehicleSummary& v : vehicles)
              if (v.plateKey == w.plateKey) v.pending = w.pending;
          return vehicles;
        });
  }

  std::vector<MonthSummary> Months(const std::string& plateKey) override {
    return Read<std::vector<MonthSummary>>(
        [this, &plateKey](Store& server) {
          std::vector<MonthSummary> months = server.Months(plateKey);
          const TripQuery query{plateKey, std::nullopt, std::nullopt};
          const trips::TripList waiting = local_->Unsent(query);
          if (waiting.empty()) return months;
          for (const TripRecord& r : NotIn(server.Trips(query), waiting)) {
            const int year = 2000 + r.Year, month = r.Month + 1;
            auto m = std::find_if(months.begin(), months.end(),
                                  [&](const MonthSummary& s) { return s.year == year && s.month == month; });
            if (m == months.end()) m = months.insert(months.end(), MonthSummary{year, month, 0, 0, 0});
            ++m->trips;
            m->distance += r.Distance;
            m->fuel += r.Fuel;
          }
          std::sort(months.begin(), months.end(), [](const MonthSummary& a, const MonthSummary& b) {
            return std::tie(a.year, a.month) < std::tie(b.year, b.month);
          });
          return months;
        },
        [this, &plateKey] { return local_->Months(plateKey); });
  }

  trips::TripList Trips(const TripQuery& query) override {
    return Read<trips::TripList>(
        [this, &query](Store& server) {
          trips::TripList found = server.Trips(query);
          const trips::TripList extra = NotIn(found, local_->Unsent(query));
          if (extra.empty()) return found;
          found.insert(found.end(), extra.begin(), extra.end());
          std::sort(found.begin(), found.end(),
                    [](const TripRecord& a, const TripRecord& b) { return Order(a) < Order(b); });
          return found;
        },
        [this, &query] { return local_->Trips(query); });
  }

  trips::TripList Unsent(const TripQuery& query) override {
    trips::TripList waiting = local_->Unsent(query);
    if (waiting.empty()) return waiting;
    return Read<trips::TripList>([&](Store& server) { return NotIn(server.Trips(query), waiting); },
                                 [&] { return waiting; });
  }

  std::vector<ImportRow> Imports() override {
    return Read<std::vector<ImportRow>>([](Store& server) { return server.Imports(); },
                                        [this] { return local_->Imports(); });
  }

  // The server knows what any computer read and what the administrator
  // moved; this computer's file, what it read itself, is the answer when the
  // server cannot be reached, or for a trip that has not reached it yet.
  std::optional<std::string> VehicleOf(const TripRecord& trip) override {
    return Read<std::optional<std::string>>(
        [this, &trip](Store& server) -> std::optional<std::string> {
          if (std::optional<std::string> found = server.VehicleOf(trip)) return found;
          // Not there: this computer's answer only for a trip still waiting to
          // be sent (one undone on the server is gone).
          const std::string day = Date(trip);
          for (const TripRecord& r : local_->Unsent({std::nullopt, day, day}))
            if (TripKey(r) == TripKey(trip)) return local_->VehicleOf(trip);
          return std::nullopt;
        },
        [this, &trip] { return local_->VehicleOf(trip); });
  }

  std::vector<LoggedTrip> LoggedTrips(const TripQuery& query) override {
    return Read<std::vector<LoggedTrip>>(
        [this, &query](Store& server) {
          std::vector<LoggedTrip> found = server.LoggedTrips(query);
          const trips::TripList waiting = local_->Unsent(query);
          if (waiting.empty()) return found;
          trips::TripList there;
          there.reserve(found.size());
          for (const LoggedTrip& t : found) there.push_back(t.trip);
          std::set<std::string> extra;
          for (const TripRecord& r : NotIn(there, waiting)) extra.insert(TripKey(r));
          if (extra.empty()) return found;
          for (LoggedTrip& t : local_->LoggedTrips(query))
            if (extra.contains(TripKey(t.trip))) found.push_back(std::move(t));
          std::stable_sort(found.begin(), found.end(),
                           [](const LoggedTrip& a, const LoggedTrip& b) { return Order(a.trip) < Order(b.trip); });
          return found;
        },
        [this, &query] { return local_->LoggedTrips(query); });
  }

  // The server's history, after what still waits here (not numbered: it
  // has no number on the server yet), newest first.
  std::vector<HistoryRow> History() override {
    return Read<std::vector<HistoryRow>>(
        [this](Store& server) {
          std::vector<HistoryRow> rows = server.History();
          const std::vector<OutboxEntry> waiting = local_->Waiting(std::numeric_limits<std::size_t>::max());
          std::vector<HistoryRow> out;
          out.reserve(waiting.size() + rows.size());
          for (const OutboxEntry& e : waiting) {
            const Recording& r = e.queued.recording;
            HistoryRow& h = out.emplace_back();
            h.kind = r.origin == Origin::Device ? HistoryRow::Kind::Reading
                     : r.origin == Origin::File ? HistoryRow::Kind::Import
                                                : HistoryRow::Kind::Saved;
            h.at = r.at;
            h.plateKey = PlateKey(r.vehicle.RegId);
            h.vehicle = DisplayName(r.vehicle);
            h.source = r.source;
            h.read = static_cast<std::int64_t>(r.trips.size());
          }
          std::reverse(out.begin(), out.end());
          out.insert(out.end(), std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
          return out;
        },
        [this] { return local_->History(); });
  }

  // Corrections are the server's: made there at once, or not at all, never
  // queued (a queued one would meet a logbook that changed meanwhile). What
  // waits is sent first, so that a reading just made can be corrected.
  std::int64_t Move(const TripSelection& which, const trips::VehicleInfo& to) override {
    return Correct([&](Store& server) { return server.Move(which, to); });
  }
  void EditVehicle(const std::string& plateKey, const trips::VehicleInfo& texts) override {
    Correct([&](Store& server) {
      server.EditVehicle(plateKey, texts);
      return 0;
    });
  }
  std::int64_t Merge(const std::string& from, const std::string& into) override {
    return Correct([&](Store& server) { return server.Merge(from, into); });
  }
  void DeleteVehicle(const std::string& plateKey) override {
    Correct([&](Store& server) {
      server.DeleteVehicle(plateKey);
      return 0;
    });
  }
  std::int64_t Undo(std::int64_t importId) override {
    return Correct([&](Store& server) { return server.Undo(importId); });
  }
  std::int64_t Tag(const TripSelection& which, const TagChange& tags) override {
    return Correct([&](Store& server) { return server.Tag(which, tags); });
  }

  // A device is this computer's: what it held is known here.
  trips::TripList DeviceMemory(const std::string& path) override { return local_->DeviceMemory(path); }
  std::vector<trips::TripList> DeviceMemories(const std::string& path) override { return local_->DeviceMemories(path); }

  SharingStatus Status() override {
    SharingStatus status;
    status.shared = true;
    status.server = serverName_;
    status.waiting = local_->WaitingTotals();
    status.setAside = local_->SetAsideRecordings();
    status.servers = local_->WaitingByServer();
    status.serverKey = local_->Server();
    status.problem = problem_;
    status.problemKind = problemKind_;
    status.problemDetail = problemDetail_;
    return status;
  }

  SyncResult SendNow() override {
    local_->Reconsider();  // the server may take now what it refused
    const OutboxTotals before = local_->WaitingTotals();
    SyncResult result;
    result.sentRecordings = Send(true, &result.newTrips);
    result.left = local_->WaitingTotals();
    result.sentTrips = before.trips - result.left.trips;
    result.complete = result.left.recordings == 0 && result.left.setAside == 0;
    if (result.left.recordings > 0)
      result.problem = problem_.empty() ? "the server could not take everything" : problem_;
    else if (!result.complete)
      result.problem = "the server " + serverName_ + " refused " + RecordingsText(result.left.setAside) +
                       " for what they hold; they are set aside on this computer";
    return result;
  }

 private:
  // The server, connected when it can be. `automatic`: not within the pause
  // after a failure.
  Store* Server(bool automatic) {
    if (server_) return server_.get();
    if (automatic && failedAt_ && Clock::now() - *failedAt_ < ServerRetryPause) return nullptr;
    try {
      server_ = openServer_();
      problem_.clear();
      problemKind_.reset();
      problemDetail_.clear();
      failedAt_.reset();
    } catch (const StoreError& e) {
      failedAt_ = Clock::now();
      Failed(e);
    }
    return server_.get();
  }

  // Any server problem: the connection is dropped and the next attempt
  // connects again (after the pause, when connecting failed).
  void Failed(const StoreError& e) {
    server_.reset();
    std::string words;
    switch (e.kind()) {
      case StoreError::Kind::Newer:
        words = " holds a logbook of a newer version of the program; it is left as it is";
        break;
      case StoreError::Kind::Corrupt:
        words = " holds something that is not a logbook; it is left as it is";
        break;
      case StoreError::Kind::CannotOpen:
        words = " cannot be reached";
        break;
      default:
        words = " failed";
        break;
    }
    const std::string detail = OneLine(scrub_(e.what()));
    problem_ = "the server " + serverName_ + words + (detail.empty() ? "" : " (" + detail + ")");
    problemKind_ = e.kind();
    problemDetail_ = detail;
    std::string line = problem_;
    try {
      const std::int64_t waiting = local_->WaitingTotals().trips;
      if (waiting > 0) line += "; " + TripsText(waiting) + " wait on this computer to be sent";
    } catch (const StoreError&) {  // the count is a courtesy
    }
    if (options_.notice) options_.notice(line + context_);
  }

  // Sends what waits, batch after batch; the recordings sent, and into
  // `added` the trips new to the server. Server problems are said, never
  // thrown. A batch the server refuses for a recording's content is sent
  // again one recording at a time, and the one it refuses is set aside.
  std::int64_t Send(bool explicitly, std::int64_t* added = nullptr) {
    std::int64_t sent = 0;
    std::size_t limit = BatchTrips;
    for (;;) {
      const std::vector<OutboxEntry> batch = local_->Waiting(limit);
      if (batch.empty()) return sent;
      Store* server = Server(!explicitly);
      if (!server) return sent;
      std::vector<Queued> recordings;
      std::vector<std::int64_t> ids;
      for (const OutboxEntry& entry : batch) {
        recordings.push_back(entry.queued);
        ids.push_back(entry.id);
      }
      try {
        const std::int64_t fresh = server->RecordAll(recordings);
        if (added) *added += fresh;
      } catch (const RecordingRefused& e) {
        if (batch.size() > 1) {
          limit = 0;  // one at a time from here on
          continue;
        }
        SetAside(batch.front(), e);
        continue;
      } catch (const StoreError& e) {
        Failed(e);
        return sent;
      }
      // Committed there: a crash before this line sends them again, to no effect.
      local_->Sent(ids);
      sent += static_cast<std::int64_t>(ids.size());
    }
  }

  void SetAside(const OutboxEntry& entry, const StoreError& e) {
    const std::string reason = OneLine(scrub_(e.what()));
    local_->SetAside(entry.id, reason);
    const Recording& r = entry.queued.recording;
    if (options_.notice)
      options_.notice("the server " + serverName_ + " refused the recording of " + r.at + " from " + r.source + " (" +
                      reason + "); it is set aside on this computer, the others are sent");
  }

  // `onServer` with the server once what waits was sent, or `here` with the
  // local file when it cannot be reached.
  template <typename T, typename OnServer, typename Here>
  T Read(OnServer onServer, Here here) {
    struct Reading {
      std::string& context;
      ~Reading() { context.clear(); }
    } reading{context_ = "; this computer's logbook is shown instead"};
    Send(false);
    if (Store* server = Server(true)) {
      try {
        return onServer(*server);
      } catch (const StoreError& e) {
        Failed(e);
      }
    }
    return here();
  }

  template <typename F>
  auto Correct(F change) -> decltype(change(std::declval<Store&>())) {
    const auto unreachable = [this] {
      return StoreError(StoreError::Kind::CannotOpen, serverName_,
                        "the server " + serverName_ +
                            " cannot be reached; a correction is made on the server only, and was not made" +
                            (problemDetail_.empty() ? "" : " (" + problemDetail_ + ")"));
    };
    if (!Server(false)) throw unreachable();
    Send(true);
    if (!server_) throw unreachable();
    try {
      return change(*server_);
    } catch (const RecordingRefused&) {
      throw;
    } catch (const StoreError& e) {
      // Refused for the role (ReadOnly) or the request: the connection is fine.
      if (e.kind() != StoreError::Kind::ReadOnly && e.kind() != StoreError::Kind::Other) Failed(e);
      throw;
    }
  }

  // The trips of `waiting` that `there` lacks, in order.
  static trips::TripList NotIn(const trips::TripList& there, const trips::TripList& waiting) {
    std::set<std::string> known;
    for (const TripRecord& r : there) known.insert(TripKey(r));
    trips::TripList out;
    for (const TripRecord& r : waiting)
      if (!known.contains(TripKey(r))) out.push_back(r);
    return out;
  }

  std::unique_ptr<QueuingStore> local_;
  std::string serverName_;
  std::function<std::unique_ptr<Store>()> openServer_;
  std::function<std::string(std::string)> scrub_;
  LogbookOptions options_;
  std::unique_ptr<Store> server_;
  std::optional<Clock::time_point> failedAt_;
  std::string problem_;
  std::optional<StoreError::Kind> problemKind_;
  std::string problemDetail_;
  std::string context_;  // what a notice adds while reading
};

}  // namespace

std::unique_ptr<Store> OpenSharedLogbook(std::unique_ptr<QueuingStore> local, std::string serverName,
                                         std::function<std::unique_ptr<Store>()> openServer,
                                         const LogbookOptions& options) {
  return OpenSharedLogbook(
      std::move(local), std::move(serverName), std::move(openServer), [](std::string text) { return text; }, options);
}

std::unique_ptr<Store> OpenSharedLogbook(std::unique_ptr<QueuingStore> local, std::string serverName,
                                         std::function<std::unique_ptr<Store>()> openServer,
                                         std::function<std::string(std::string)> scrub, const LogbookOptions& options) {
  return std::make_unique<SharedStore>(std::move(local), std::move(serverName), std::move(openServer), std::move(scrub),
                                       options);
}

SharingStatus Sharing(Store& store) {
  if (SharedLogbook* shared = store.AsShared()) return shared->Status();
  SharingStatus status;
  if (QueuingStore* local = store.AsOutbox()) status.servers = local->WaitingByServer();
  return status;
}

SyncResult SendWaiting(Store& store) {
  if (SharedLogbook* shared = store.AsShared()) return shared->SendNow();
  return {};
}

}  // namespace riventar::logbook
