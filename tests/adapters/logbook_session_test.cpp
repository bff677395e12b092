// The logbook session over real SQLite files and the suite's own PostgreSQL
// server, with no window: what each front end stands on.
#include "core/services/logbook_session.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QCoreApplication>
#include <QSettings>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "adapters/logbook/session_stores.h"
#include "core/trips/dat_file.h"
#include "tests/support/logbook_trips.h"
#include "tests/support/pg_server.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace std::chrono_literals;
using riventar::logbook::SessionStores;
using riventar::services::Failure;
using riventar::services::LogbookSession;
using riventar::services::SendOutcome;
using riventar::services::StoreUse;
using riventar::testing::PgServer;
using riventar::testing::Reading;
using riventar::testing::TempDir;
using riventar::testing::Trip;

// The owner's thread's event loop, as small as it gets.
class Loop {
 public:
  std::function<void(std::function<void()>)> Post() {
    return [this](std::function<void()> f) {
      const std::lock_guard lock(mutex_);
      queue_.push_back(std::move(f));
      ready_.notify_one();
    };
  }
  // Runs what was posted until `until` holds or `limit` passed; whether it held.
  bool RunUntil(const std::function<bool()>& until, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!until()) {
      std::unique_lock lock(mutex_);
      if (!ready_.wait_until(lock, end, [this] { return !queue_.empty(); })) return until();
      std::function<void()> f = std::move(queue_.front());
      queue_.pop_front();
      lock.unlock();
      f();
    }
    return true;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> queue_;
};

class Session : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    ::unsetenv("RIVENTAR_LOGBOOK");
  }
  std::unique_ptr<SessionStores> Stores() {
    return std::make_unique<SessionStores>(
        std::make_unique<QSettings>(QString::fromStdString((dir / "riventar.conf").string()), QSettings::IniFormat));
  }
  LogbookSession::Options Options(StoreUse use = StoreUse::ReadOrRecord) {
    LogbookSession::Options options;
    options.use = use;
    options.post = loop.Post();
    return options;
  }
  TempDir dir;
  Loop loop;
};

TEST_F(Session, AFileIsOpenedRecordedImportedAndWrittenOut) {
  auto stores = Stores();
  LogbookSession session(*stores, Options());
  const std::string file = dir / "mine.sqlite";
  ASSERT_TRUE(session.Open(file));
  EXPECT_EQ(session.Location(), file);
  EXPECT_FALSE(session.Shared());
  const auto recorded = session.Record(Reading({Trip(1, 8), Trip(2, 9)}));
  ASSERT_TRUE(recorded);
  EXPECT_EQ(recorded->added, 2);

  const auto dat = session.Export({}, {"ВАЗ-2110", "Е001КХ", "Петров"}, LogbookSession::Format::Dat);
  ASSERT_TRUE(dat);
  LogbookSession other(*stores, Options());
  ASSERT_TRUE(other.Open(std::string(dir / "other.sqlite")));
  const auto imported = other.Import("/somewhere/trips.dat", dat.value());
  ASSERT_TRUE(imported);
  EXPECT_EQ(imported->added, 2);
  EXPECT_EQ(other.With([](auto& store) { return store.Imports(); })->front().source, "/somewhere/trips.dat");

  const auto garbage = other.Import("/x.dat", "no trips here");
  ASSERT_FALSE(garbage);
  EXPECT_EQ(garbage.failure().kind, Failure::Kind::NotTripFile);
  ASSERT_TRUE(session.Sharing());
  EXPECT_FALSE(session.Sharing()->shared);
  EXPECT_EQ(session.SendInBackground({}).failure().kind, Failure::Kind::Refused);
}

TEST_F(Session, ADamagedFileIsSaidAndASwitchToItKeepsTheCurrentOne) {
  const std::string damaged = dir / "damaged.sqlite";
  std::ofstream(damaged) << std::string(8192, 'x');
  auto stores = Stores();
  LogbookSession broken(*stores, Options());
  const riventar::services::Status opened = broken.Open(damaged);
  ASSERT_FALSE(opened);
  EXPECT_EQ(opened.failure().kind, Failure::Kind::Logbook);
  EXPECT_NE(opened.failure().message.find(damaged), std::string::npos) << opened.failure().message;
  EXPECT_EQ(broken.Store(), nullptr);
  ASSERT_TRUE(broken.Problem());
  EXPECT_EQ(broken.Problem()->kind(), riventar::logbook::StoreError::Kind::Corrupt);
  EXPECT_FALSE(broken.Record(Reading({Trip(1, 8)})));

  LogbookSession session(*stores, Options());
  ASSERT_TRUE(session.Open());  // the default file
  const std::string first = session.Location();
  EXPECT_FALSE(session.Switch(damaged));
  EXPECT_EQ(session.Location(), first);
  EXPECT_NE(session.Store(), nullptr);
  const std::string chosen = dir / "chosen.sqlite";
  ASSERT_TRUE(session.Switch(chosen));
  EXPECT_EQ(stores->Configured(std::nullopt), chosen) << "the choice is remembered";
  ASSERT_TRUE(session.Switch(""));
  EXPECT_EQ(session.Location(), first);
  EXPECT_EQ(stores->Configured(std::nullopt), first);
}

TEST_F(Session, ReadingNoFileMakesNone) {
  auto stores = Stores();
  LogbookSession session(*stores, Options(StoreUse::Read));
  const std::string missing = dir / "none" / "logbook.sqlite";
  ASSERT_TRUE(session.Open(missing));
  EXPECT_EQ(session.Store(), nullptr);
  EXPECT_FALSE(std::filesystem::exists(dir / "none"));
}

TEST_F(Session, TheSharedLogbookSendsOnItsOwnThreadWhileTheServerIsHeld) {
  PgServer& server = PgServer::Shared();
  const std::string uri = server.CreateDatabase("session_fleet");
  auto stores = Stores();
  LogbookSession session(*stores, Options());
  ASSERT_TRUE(session.Open(uri));
  ASSERT_TRUE(session.Shared());
  ASSERT_TRUE(session.Record(Reading({Trip(1, 8)})));
  EXPECT_EQ(session.Sharing()->waiting.trips, 1) << "recorded here, not sent";
  const auto first = session.SendNow();
  ASSERT_TRUE(first);
  EXPECT_TRUE(first->complete) << first->problem;

  ASSERT_TRUE(session.Record(Reading({Trip(2, 8), Trip(3, 8)})));
  std::optional<SendOutcome> outcome;
  {
    const riventar::testing::TableLock lock(server, "session_fleet", "trips");
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(session.SendInBackground([&](const SendOutcome& o) { outcome = o; }));
    ASSERT_TRUE(session.SendInBackground([&](const SendOutcome& o) { outcome = o; }));  // once more, afterwards
    EXPECT_LT(std::chrono::steady_clock::now() - start, 200ms) << "the owner never waits for the server";
    EXPECT_TRUE(session.Sending());
    EXPECT_FALSE(loop.RunUntil([&] { return outcome.has_value(); }, 500ms)) << "held by the lock";
  }
  ASSERT_TRUE(loop.RunUntil([&] { return !session.Sending(); }, 30s));
  ASSERT_TRUE(outcome);
  std::optional<std::int64_t> onServer;
  {
    const riventar::testing::TableLock lock(server, "session_fleet", "trips");
    ASSERT_TRUE(session.ReadInBackground<std::int64_t>(
        [](riventar::logbook::Store& store) { return static_cast<std::int64_t>(store.Trips({}).size()); },
        [&](riventar::services::Result<std::int64_t> n, const auto&) { onServer = n.value(); }));
    EXPECT_TRUE(session.Reading());
    EXPECT_FALSE(loop.RunUntil([&] { return onServer.has_value(); }, 300ms)) << "held by the lock";
  }
  ASSERT_TRUE(loop.RunUntil([&] { return onServer.has_value(); }, 30s));
  EXPECT_EQ(*onServer, 3);
  EXPECT_FALSE(session.Reading());
  EXPECT_FALSE(outcome->failure);
  EXPECT_TRUE(outcome->report.complete) << outcome->report.problem;
  EXPECT_EQ(outcome->status.waiting.trips, 0);
  EXPECT_EQ(server.Sql("session_fleet", "SELECT COUNT(*) FROM riventar.trips"), "3\n");
}

TEST_F(Session, AServerOutOfReachLeavesTheTripsWaitingAndSaysWhy) {
  auto stores = Stores();
  LogbookSession session(*stores, Options(StoreUse::Record));
  const std::string uri = "postgresql:///nowhere?user=postgres&host=" + (dir / "no-server").string();
  ASSERT_TRUE(session.Open(uri));
  ASSERT_TRUE(session.Record(Reading({Trip(1, 8)})));
  const auto sent = session.SendNow();
  ASSERT_TRUE(sent);
  EXPECT_FALSE(sent->complete);
  EXPECT_EQ(sent->left.trips, 1);
  EXPECT_NE(sent->problem.find("cannot be reached"), std::string::npos) << sent->problem;
  EXPECT_EQ(session.Sharing()->problemKind, riventar::logbook::StoreError::Kind::CannotOpen);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);  // Qt SQL loads its drivers as plugins
  const TempDir home{"riventar-home"};
  ::setenv("HOME", home.Path().c_str(), 1);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
