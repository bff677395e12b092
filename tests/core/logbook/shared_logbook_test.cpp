// The shared logbook's policy alone, over stores held in memory: no file, no
// server, no Qt.
#include "core/logbook/shared_logbook.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/trip_builder.h"

namespace {

using namespace riventar::logbook;
using riventar::testing::TripBuilder;
using riventar::trips::TripList;

// Trips by identity, and the recordings it was given.
class MemoryStore : public Store {
 public:
  Recorded Record(const Recording& r) override {
    Recorded out{static_cast<int>(r.trips.size()), 0, {}};
    for (const auto& trip : r.trips) {
      const bool added = trips_.emplace(TripKey(trip), trip).second;
      out.wasNew.push_back(added);
      out.added += added;
    }
    return out;
  }
  Recorded RecordSaved(const Recording& r) override { return Record(r); }
  std::vector<VehicleSummary> Vehicles() override { return {}; }
  std::vector<MonthSummary> Months(const std::string&) override { return {}; }
  TripList Trips(const TripQuery&) override {
    TripList out;
    for (const auto& [key, trip] : trips_) out.push_back(trip);
    return out;
  }
  std::vector<ImportRow> Imports() override { return {}; }
  TripList DeviceMemory(const std::string&) override { return {}; }

 private:
  std::map<std::string, riventar::trips::TripRecord> trips_;
};

// A local logbook whose outbox holds every recording until it is sent.
class MemoryOutbox final : public QueuingStore {
 public:
  Recorded Record(const Recording& r) override { return Queue(r, false); }
  Recorded RecordSaved(const Recording& r) override { return Queue(r, true); }
  std::vector<VehicleSummary> Vehicles() override { return {}; }
  std::vector<MonthSummary> Months(const std::string&) override { return {}; }
  TripList Trips(const TripQuery& q) override { return file_.Trips(q); }
  std::vector<ImportRow> Imports() override { return {}; }
  TripList DeviceMemory(const std::string&) override { return {}; }
  std::vector<OutboxEntry> Waiting(std::size_t) override { return waiting_; }
  void Sent(const std::vector<std::int64_t>& ids) override {
    std::erase_if(waiting_, [&](const OutboxEntry& e) { return std::find(ids.begin(), ids.end(), e.id) != ids.end(); });
  }
  void SetAside(std::int64_t, const std::string&) override {}
  std::vector<SetAsideRecording> SetAsideRecordings() override { return {}; }
  void Reconsider() override {}
  OutboxTotals WaitingTotals() override {
    OutboxTotals totals;
    for (const OutboxEntry& e : waiting_) totals.trips += static_cast<std::int64_t>(e.queued.recording.trips.size());
    totals.recordings = static_cast<std::int64_t>(waiting_.size());
    return totals;
  }
  std::vector<ServerQueue> WaitingByServer() override { return {{"key", WaitingTotals()}}; }
  std::string Server() const override { return "key"; }
  std::vector<VehicleSummary> WaitingVehicles() override { return {}; }

 private:
  Recorded Queue(const Recording& r, bool saved) {
    waiting_.push_back({next_, {r, saved, std::to_string(next_)}});
    ++next_;
    return file_.Record(r);
  }
  MemoryStore file_;
  std::vector<OutboxEntry> waiting_;
  std::int64_t next_ = 1;
};

Recording ReadingOf(int days) {
  Recording r{Origin::Device, "/dev/ttyUSB0", "2024-03-01 10:00:00", {"", "А123ВС77", ""}, {}};
  for (int day = 1; day <= days; ++day) r.trips.push_back(TripBuilder().Date(2024, 1, day));
  return r;
}

TEST(SharedLogbookPolicy, RecordsLocallyFirstAndSendsWhenTheServerIsThere) {
  bool up = false;
  MemoryStore* server = nullptr;
  std::vector<std::string> notices;
  auto store = OpenSharedLogbook(std::make_unique<MemoryOutbox>(), "stand-in",
                                 [&]() -> std::unique_ptr<Store> {
                                   if (!up)
                                     throw StoreError(StoreError::Kind::CannotOpen, "server", "Connection refused");
                                   auto made = std::make_unique<MemoryStore>();
                                   server = made.get();
                                   return made;
                                 },
                                 {[&](const std::string& line) { notices.push_back(line); }});
  EXPECT_EQ(store->Record(ReadingOf(3)).added, 3);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0],
            "the server stand-in cannot be reached (Connection refused); 3 trips wait on this computer to "
            "be sent");
  // Found through the Store it is, whatever its type.
  ASSERT_NE(store->AsShared(), nullptr);
  EXPECT_EQ(store->AsOutbox(), nullptr);
  EXPECT_TRUE(Sharing(*store).shared);
  EXPECT_EQ(Sharing(*store).waiting.trips, 3);

  up = true;
  const SyncResult sync = SendWaiting(*store);
  EXPECT_TRUE(sync.complete) << sync.problem;
  EXPECT_EQ(sync.sentTrips, 3);
  EXPECT_EQ(sync.newTrips, 3);
  ASSERT_NE(server, nullptr);
  EXPECT_EQ(server->Trips({}).size(), 3u);
  EXPECT_EQ(Sharing(*store).waiting.recordings, 0);
}

TEST(SharedLogbookPolicy, AStoreOfItsOwnIsNotSharedAndSendsNothing) {
  MemoryStore file;
  EXPECT_EQ(file.AsShared(), nullptr);
  EXPECT_FALSE(Sharing(file).shared);
  EXPECT_TRUE(Sharing(file).servers.empty());
  EXPECT_EQ(SendWaiting(file).sentRecordings, 0);
  // A local logbook that keeps an outbox says what waits in it, for every server.
  MemoryOutbox outbox;
  outbox.Record(ReadingOf(2));
  const SharingStatus status = Sharing(outbox);
  EXPECT_FALSE(status.shared);
  ASSERT_EQ(status.servers.size(), 1u);
  EXPECT_EQ(status.servers[0].waiting.trips, 2);
}

}  // namespace
