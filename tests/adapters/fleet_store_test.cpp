// The shared logbook's outbox, with a second SQLite file standing in for the
// server and a switch that takes it away.
#include "adapters/logbook/fleet_store.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <string>
#include <vector>

#include "tests/support/logbook_trips.h"
#include "tests/support/temp_dir.h"

using namespace riventar::logbook;
using riventar::testing::Reading;
using riventar::trips::TripList;
using riventar::trips::TripRecord;

namespace {

TripRecord Trip(int day, std::uint32_t distance = 60000) { return riventar::testing::Trip(day, 8, distance); }

TripList Days(int first, int last) {
  TripList list;
  for (int day = first; day <= last; ++day) list.push_back(Trip(day));
  return list;
}

// What the stand-in server does: be there or not, and drop the connection
// after so many batches.
struct Network {
  bool up = true;
  int batchesBeforeDrop = -1;
  bool refuseWrites = false;
  std::string refusedSource;  // a recording from here is refused for its content
  int connections = 0;
};

class StandInServer final : public Store {
 public:
  StandInServer(std::unique_ptr<Store> file, Network& net) : file_(std::move(file)), net_(net) {}
  Recorded Record(const Recording& r) override { return Check().Record(r); }
  Recorded RecordSaved(const Recording& r) override { return Check().RecordSaved(r); }
  std::vector<VehicleSummary> Vehicles() override { return Check().Vehicles(); }
  std::vector<MonthSummary> Months(const std::string& key) override { return Check().Months(key); }
  TripList Trips(const TripQuery& q) override { return Check().Trips(q); }
  std::vector<ImportRow> Imports() override { return Check().Imports(); }
  TripList DeviceMemory(const std::string& path) override { return Check().DeviceMemory(path); }
  std::int64_t RecordAll(const std::vector<Queued>& batch) override {
    if (net_.batchesBeforeDrop == 0) {
      net_.up = false;
      throw StoreError(StoreError::Kind::Other, "server", "server closed the connection unexpectedly");
    }
    if (net_.batchesBeforeDrop > 0) --net_.batchesBeforeDrop;
    if (net_.refuseWrites) throw StoreError(StoreError::Kind::Other, "server", "permission denied for table trips");
    for (const Queued& q : batch)
      if (!net_.refusedSource.empty() && q.recording.source == net_.refusedSource)
        throw RecordingRefused(StoreError::Kind::Other, "server", "value out of range\nfor a trip");
    return Check().RecordAll(batch);
  }

 private:
  Store& Check() {
    if (!net_.up) throw StoreError(StoreError::Kind::Other, "server", "no connection to the server");
    return *file_;
  }
  std::unique_ptr<Store> file_;
  Network& net_;
};

class SharedLogbook : public ::testing::Test {
 protected:
  // The shared logbook whose server is the file `server`, behind `net`.
  std::unique_ptr<Store> Open(const std::string& server = "server.sqlite", Network* net = nullptr,
                              bool sendOnRecording = true) {
    Network& n = net ? *net : net_;
    LogbookOptions options{[this](const std::string& line) { notices_.push_back(line); }};
    options.sendOnRecording = sendOnRecording;
    return OpenSharedLogbook(
        OpenQueuingLogbook(dir_ / "local.sqlite", DefaultBusyTimeout, server), "stand-in",
        [this, server, &n]() -> std::unique_ptr<Store> {
          ++n.connections;
          if (!n.up) throw StoreError(StoreError::Kind::CannotOpen, "stand-in", "Connection refused");
          return std::make_unique<StandInServer>(OpenLogbook(dir_ / server), n);
        },
        options);
  }
  TripList OnServer() { return OpenLogbook(dir_ / "server.sqlite")->Trips({}); }

  riventar::testing::TempDir dir_{"riventar-fleet"};
  Network net_;
  std::vector<std::string> notices_;
};

TEST_F(SharedLogbook, ARecordingWaitsLocallyUntilTheServerTakesItAndIsSentOnce) {
  net_.up = false;
  auto store = Open();
  const Recorded recorded = store->Record(Reading(Days(1, 5)));
  EXPECT_EQ(recorded.added, 5);
  ASSERT_EQ(notices_.size(), 1u);
  EXPECT_NE(notices_[0].find("the server stand-in cannot be reached (Connection refused); 5 trips wait"),
            std::string::npos)
      << notices_[0];
  // Read while out of reach: the local file, its waiting trips marked, and no second wait for the server.
  const auto vehicles = store->Vehicles();
  ASSERT_EQ(vehicles.size(), 1u);
  EXPECT_EQ(vehicles[0].trips, 5);
  EXPECT_EQ(vehicles[0].pending, 5);
  EXPECT_EQ(net_.connections, 1);
  const SharingStatus status = Sharing(*store);
  EXPECT_TRUE(status.shared);
  EXPECT_EQ(status.waiting.trips, 5);
  EXPECT_EQ(status.waiting.recordings, 1);
  EXPECT_EQ(status.waiting.since, "2024-03-01 10:00:00");

  // A second reading overlapping the first: both wait, each trip counted once.
  store->Record(Reading(Days(4, 8)));
  EXPECT_EQ(Sharing(*store).waiting.trips, 8);

  net_.up = true;
  SyncResult sync = SendWaiting(*store);
  EXPECT_TRUE(sync.complete) << sync.problem;
  EXPECT_EQ(sync.sentTrips, 8);
  EXPECT_EQ(sync.newTrips, 8);
  EXPECT_EQ(sync.sentRecordings, 2);
  EXPECT_EQ(OnServer(), Days(1, 8));
  EXPECT_EQ(OpenLogbook(dir_ / "server.sqlite")->Imports().size(), 2u);
  EXPECT_EQ(Sharing(*store).waiting.recordings, 0);
  EXPECT_EQ(store->Vehicles()[0].pending, 0);
  sync = SendWaiting(*store);
  EXPECT_TRUE(sync.complete);
  EXPECT_EQ(sync.sentRecordings, 0);
}

TEST_F(SharedLogbook, SendingAtCloseLeavesTheRecordingToTheLocalFileUntilThen) {
  {
    auto store = Open("server.sqlite", nullptr, false);
    EXPECT_EQ(store->Record(Reading(Days(1, 5))).added, 5);
    EXPECT_EQ(net_.connections, 0);
    EXPECT_TRUE(OnServer().empty());
  }
  EXPECT_EQ(net_.connections, 1);
  EXPECT_EQ(OnServer(), Days(1, 5));
  // Another computer had sent some of the new ones: the sync says so.
  net_.up = false;
  auto store = Open();
  store->Record(Reading(Days(3, 9)));
  OpenLogbook(dir_ / "server.sqlite")->Record(Reading(Days(6, 7)));
  net_.up = true;
  const SyncResult sync = SendWaiting(*store);
  EXPECT_EQ(sync.sentTrips, 4);
  EXPECT_EQ(sync.newTrips, 2);
}

TEST_F(SharedLogbook, AConnectionLostInTheMiddleKeepsWhatTheServerDidNotCommit) {
  net_.up = false;
  auto store = Open();
  // Big enough for several batches.
  TripList many;
  for (int i = 0; i < 5000; ++i) many.push_back(Trip(1 + i % 28, 1000 + static_cast<std::uint32_t>(i)));
  for (int i = 0; i < 5; ++i) store->Record(Reading(TripList(many.begin() + i * 1000, many.begin() + i * 1000 + 1000)));
  net_.up = true;
  net_.batchesBeforeDrop = 2;
  SyncResult sync = SendWaiting(*store);
  EXPECT_FALSE(sync.complete);
  EXPECT_NE(sync.problem.find("closed the connection"), std::string::npos) << sync.problem;
  EXPECT_EQ(sync.sentRecordings, 4);
  EXPECT_EQ(sync.left.trips, 1000);
  EXPECT_EQ(OnServer().size(), 4000u);

  net_.up = true;
  net_.batchesBeforeDrop = -1;
  sync = SendWaiting(*store);
  EXPECT_TRUE(sync.complete) << sync.problem;
  EXPECT_EQ(OnServer().size(), 5000u);
  EXPECT_EQ(OpenLogbook(dir_ / "server.sqlite")->Imports().size(), 5u);
}

TEST_F(SharedLogbook, ReadingShowsEveryComputersTripsWithThoseWaitingHere) {
  OpenLogbook(dir_ / "server.sqlite")->Record(Reading(Days(1, 3), "В777ОР99"));  // another computer's
  net_.refuseWrites = true;                                                      // the server stays readable
  auto store = Open();
  store->Record(Reading(Days(10, 11)));
  EXPECT_NE(notices_.at(0).find("the server stand-in failed (permission denied for table trips); 2 trips wait"),
            std::string::npos);
  const TripList all = store->Trips({});
  TripList expected = Days(1, 3);
  for (const TripRecord& r : Days(10, 11)) expected.push_back(r);
  EXPECT_EQ(all, expected);
  EXPECT_EQ(store->Unsent({}), Days(10, 11));
  const auto vehicles = store->Vehicles();
  ASSERT_EQ(vehicles.size(), 2u);
  EXPECT_EQ(vehicles[0].pending + vehicles[1].pending, 2);
  EXPECT_EQ(vehicles[0].trips + vehicles[1].trips, 5);
  const auto months = store->Months("А123ВС77");
  ASSERT_EQ(months.size(), 1u);
  EXPECT_EQ(months[0].trips, 2);
}

TEST_F(SharedLogbook, ARecordingTheServerRefusesIsSetAsideAndTheOthersAreSent) {
  net_.up = false;
  auto store = Open();
  store->Record(Reading(Days(1, 2), "А123ВС77", Origin::File, "/home/u/a.dat"));
  store->Record(Reading(Days(3, 4), "А123ВС77", Origin::File, "/home/u/bad.dat"));
  store->Record(Reading(Days(5, 6), "А123ВС77", Origin::File, "/home/u/c.dat"));
  net_.up = true;
  net_.refusedSource = "/home/u/bad.dat";
  SyncResult sync = SendWaiting(*store);
  EXPECT_FALSE(sync.complete);
  EXPECT_EQ(sync.sentRecordings, 2);
  EXPECT_NE(sync.problem.find("refused 1 recording for what they hold"), std::string::npos) << sync.problem;
  TripList sent = Days(1, 2);
  for (const TripRecord& r : Days(5, 6)) sent.push_back(r);
  EXPECT_EQ(OnServer(), sent);
  EXPECT_NE(notices_.back().find("refused the recording of 2024-03-01 10:00:00 from /home/u/bad.dat "
                                 "(value out of range for a trip); it is set aside"),
            std::string::npos)
      << notices_.back();
  SharingStatus status = Sharing(*store);
  EXPECT_EQ(status.waiting.recordings, 0);
  EXPECT_EQ(status.waiting.setAside, 1);
  ASSERT_EQ(status.setAside.size(), 1u);
  EXPECT_EQ(status.setAside[0].source, "/home/u/bad.dat");
  EXPECT_EQ(status.setAside[0].trips, 2);
  EXPECT_EQ(status.setAside[0].reason, "value out of range for a trip");

  // What is recorded after it is not held up.
  store->Record(Reading(Days(7, 7)));
  EXPECT_EQ(OnServer().size(), 5u);
  EXPECT_EQ(Sharing(*store).setAside.size(), 1u);
  // Once the server takes it, an explicit sync sends it.
  net_.refusedSource.clear();
  sync = SendWaiting(*store);
  EXPECT_TRUE(sync.complete) << sync.problem;
  EXPECT_EQ(sync.sentTrips, 2);
  EXPECT_EQ(OnServer(), Days(1, 7));
  EXPECT_TRUE(Sharing(*store).setAside.empty());
}

TEST_F(SharedLogbook, WaitingTripsGoOnlyToTheServerTheyWereRecordedFor) {
  Network netB;
  net_.up = false;
  Open("a.sqlite")->Record(Reading(Days(1, 3)));
  {
    auto b = Open("b.sqlite", &netB);
    b->Record(Reading(Days(10, 11)));
    EXPECT_TRUE(SendWaiting(*b).complete);
    EXPECT_EQ(OpenLogbook(dir_ / "b.sqlite")->Trips({}), Days(10, 11));
    const SharingStatus status = Sharing(*b);
    EXPECT_EQ(status.waiting.recordings, 0);
    EXPECT_EQ(status.serverKey, "b.sqlite");
    ASSERT_EQ(status.servers.size(), 1u);
    EXPECT_EQ(status.servers[0].server, "a.sqlite");
    EXPECT_EQ(status.servers[0].waiting.trips, 3);
    EXPECT_EQ(status.servers[0].waiting.recordings, 1);
    EXPECT_EQ(b->Unsent({}), TripList{});
  }
  net_.up = true;
  auto a = Open("a.sqlite");
  EXPECT_EQ(Sharing(*a).waiting.trips, 3);
  const SyncResult sync = SendWaiting(*a);
  EXPECT_TRUE(sync.complete) << sync.problem;
  EXPECT_EQ(sync.sentTrips, 3);
  EXPECT_EQ(OpenLogbook(dir_ / "a.sqlite")->Trips({}), Days(1, 3));
  EXPECT_EQ(OpenLogbook(dir_ / "b.sqlite")->Trips({}), Days(10, 11));
  EXPECT_TRUE(Sharing(*a).servers.empty());
}

// Entries an earlier version queued named no server: the next one named takes them.
TEST_F(SharedLogbook, WhatWasQueuedBeforeEntriesNamedTheirServerGoesToTheNextServerNamed) {
  net_.up = false;
  Open("a.sqlite")->Record(Reading(Days(1, 2)));
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("earlier"));
    db.setDatabaseName(QString::fromStdString((dir_ / "local.sqlite").string()));
    ASSERT_TRUE(db.open());
    ASSERT_TRUE(QSqlQuery(QStringLiteral("UPDATE outbox SET server = ''"), db).isActive());
  }
  QSqlDatabase::removeDatabase(QStringLiteral("earlier"));
  Network netB;
  auto b = Open("b.sqlite", &netB);
  EXPECT_EQ(Sharing(*b).waiting.trips, 2);
  EXPECT_TRUE(SendWaiting(*b).complete);
  EXPECT_EQ(OpenLogbook(dir_ / "b.sqlite")->Trips({}), Days(1, 2));
  net_.up = true;
  EXPECT_EQ(Sharing(*Open("a.sqlite")).waiting.recordings, 0);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);  // Qt SQL loads its driver as a plugin
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
