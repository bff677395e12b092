// The server's totals by vehicle and month, on the suite's own PostgreSQL:
// they follow the trips through recordings, moves and deletes, the step that
// makes them fills them from the trips already held, and every role reads the
// same sums of a period as summing the trips gives.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "adapters/logbook/pg_store.h"
#include "tests/support/logbook_trips.h"
#include "tests/support/pg_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/trip_builder.h"

using namespace riventar::logbook;
using riventar::testing::PgServer;
using riventar::testing::Reading;
using riventar::testing::TripBuilder;
using riventar::trips::TripList;

namespace {

// Trips of 2024 around its months' edges, `n` telling them apart: the first
// and last days, a damaged day 0 and month 13 (kept as the device gave them),
// and the years beside it.
TripList EdgeTrips(std::uint32_t n) {
  const auto trip = [n](int year, int month, int day, int hour) -> riventar::trips::TripRecord {
    return TripBuilder()
        .Date(year, month, day)
        .Time(hour, static_cast<int>(n))
        .Distance(6000 + 7 * n)
        .Fuel(16000 + 3 * n);
  };
  return {trip(2023, 12, 31, 23), trip(2024, 1, 0, 8),    trip(2024, 1, 1, 0),  trip(2024, 1, 15, 9),
          trip(2024, 1, 30, 10),  trip(2024, 1, 31, 23),  trip(2024, 2, 1, 7),  trip(2024, 2, 29, 12),
          trip(2024, 6, 30, 18),  trip(2024, 12, 31, 20), trip(2024, 13, 5, 6), trip(2025, 1, 1, 0)};
}

std::string Text(std::vector<PeriodTotals> sums) { return riventar::testing::SumsText(std::move(sums)); }

// Periods of whole months (read from the kept months, less what lies outside
// their bounds) and of parts of months (summed from the trips).
const std::vector<TripQuery> Periods = {
    {},
    {std::nullopt, "2024-01-01", "2024-12-31"},
    {std::nullopt, "2024-01-01", "2024-01-31"},
    {std::nullopt, "2024-02-01", "2024-02-31"},
    {std::nullopt, "2024-01-01", "2024-01-30"},
    {std::nullopt, "2024-01-01", "2024-02-28"},
    {std::nullopt, "2024-02-01", std::nullopt},
    {std::nullopt, std::nullopt, "2024-01-31"},
    {std::nullopt, "2024-01-02", "2024-01-31"},
    {std::nullopt, "2024-01-10", "2024-02-15"},
    {std::nullopt, "1999-01-01", "1999-12-31"},
    {std::nullopt, "2024-03-01", "2024-02-31"},
    {"А123ВС77", "2023-01-01", "2025-12-31"},
};

class MonthTotals : public ::testing::Test {
 protected:
  void SetUp() override {
    static std::atomic<int> count{0};
    name_ = "totals" + std::to_string(++count);
    uri_ = server().CreateDatabase(name_);
  }
  static PgServer& server() { return PgServer::Shared(); }
  std::string Sql(const std::string& sql) const { return server().Sql(name_, "SET search_path = riventar; " + sql); }

  // The kept months that differ from the trips counted again (0), and how
  // many there are.
  std::string Differing() const {
    return Sql(
        "SELECT COUNT(*) FROM vehicle_months k FULL JOIN (SELECT (stamp >> 32)::integer AS month, vehicle, "
        "COUNT(*) AS trips, SUM(distance) AS distance, SUM(fuel) AS fuel FROM trips GROUP BY 1, 2) c "
        "USING (month, vehicle) WHERE (k.trips, k.distance, k.fuel) IS DISTINCT FROM (c.trips, c.distance, c.fuel)");
  }
  int Kept() const { return std::stoi(Sql("SELECT COUNT(*) FROM vehicle_months")); }

  // Every period's sums as summing the trips gives them.
  static void ExpectSumsOfTrips(Store& store) {
    for (const TripQuery& q : Periods)
      EXPECT_EQ(Text(store.SumsByVehicle(q)), Text(store.Store::SumsByVehicle(q)))
          << q.from.value_or("-") << " .. " << q.to.value_or("-");
  }

  std::string name_, uri_;
};

}  // namespace

TEST_F(MonthTotals, FollowTheTripsThroughRecordingsMovesAndDeletes) {
  auto store = OpenServerLogbook(uri_);
  struct Change {
    const char* what;
    std::function<void()> make;
    int kept;  // rows of vehicle and month after it
  };
  // Vehicle ids: 1 А123ВС77, 2 В777ОР, 3 Е001КХ.
  const std::vector<Change> changes = {
      {"recordings of three cars",
       [&] {
         store->Record(Reading(EdgeTrips(1), "А123ВС77"));
         store->Record(Reading(EdgeTrips(2), "В777ОР"));
         store->Record(Reading(EdgeTrips(3), "Е001КХ"));
       },
       21},
      {"a recording of trips already held and new ones",
       [&] {
         TripList again = EdgeTrips(1);
         for (const auto& t : EdgeTrips(4)) again.push_back(t);
         store->Record(Reading(again, "А123ВС77"));
       },
       21},
      {"a saved table moving trips of two months to another car",
       [&] {
         const TripList all = EdgeTrips(4);
         store->RecordSaved({Origin::Saved,
                             "/home/u/b.dat",
                             "2024-03-02 11:00:00",
                             {"Нива", "В777ОР", ""},
                             TripList(all.begin() + 1, all.begin() + 6)});
       },
       21},
      {"the owner moving every January trip of a car by hand",
       [&] { Sql("UPDATE trips SET vehicle = 3 WHERE vehicle = 2 AND stamp >> 32 = 24 * 256"); }, 20},
      {"trips changing month and car in one statement",
       [&] {
         Sql("UPDATE trips SET stamp = stamp + (1::bigint << 32), vehicle = 1 "
             "WHERE vehicle = 3 AND stamp >> 32 = 24 * 256 + 5");
       },
       20},
      {"an undone recording's trips deleted", [&] { Sql("DELETE FROM trips WHERE vehicle = 2"); }, 14},
      {"a statement that changes nothing the totals hold", [&] { Sql("UPDATE trips SET first_import = first_import"); },
       14},
      {"every trip deleted", [&] { Sql("DELETE FROM trips"); }, 0},
      {"new trips after that", [&] { store->Record(Reading(EdgeTrips(5), "В777ОР")); }, 7},
      {"the trips truncated by the owner", [&] { Sql("TRUNCATE trips"); }, 0},
  };
  for (const Change& change : changes) {
    SCOPED_TRACE(change.what);
    change.make();
    EXPECT_EQ(Differing(), "0\n");
    EXPECT_EQ(Kept(), change.kept);
    ExpectSumsOfTrips(*store);
  }
}

TEST_F(MonthTotals, AReportOfWholeMonthsReadsTheKeptMonthsAndNoOtherDoes) {
  auto store = OpenServerLogbook(uri_);
  store->Record(Reading(EdgeTrips(1), "А123ВС77"));
  const TripQuery year{std::nullopt, "2024-01-01", "2024-12-31"}, part{std::nullopt, "2024-01-10", "2024-02-15"};
  const std::string yearSums = Text(store->SumsByVehicle(year)), partSums = Text(store->SumsByVehicle(part));
  // Day 0 of January and month 13 lie outside the year's days.
  ASSERT_EQ(yearSums, "А123ВС77:8:48056:128024;");
  // A hand's change to the kept months shows where they are read.
  Sql("UPDATE vehicle_months SET trips = trips + 100");
  EXPECT_NE(Text(store->SumsByVehicle(year)), yearSums);
  EXPECT_EQ(Text(store->SumsByVehicle(part)), partSums);
}

TEST_F(MonthTotals, TheStepFillsThemFromTheTripsHeldAndEveryRoleReadsThem) {
  server().Sql("postgres",
               "DO $$ DECLARE r text; BEGIN FOREACH r IN ARRAY ARRAY['riventar_owner', 'riventar_recorder', "
               "'riventar_admin', 'riventar_reader'] LOOP "
               "IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = r) THEN EXECUTE format('CREATE ROLE %I LOGIN', r); "
               "END IF; END LOOP; END $$");
  const std::string fleet = name_ + "_fleet";
  server().Sql("postgres", "CREATE DATABASE " + fleet + " OWNER riventar_owner");
  const auto as = [&](const std::string& role) {
    std::string uri = server().Uri(fleet);
    return uri.replace(uri.find("user=postgres"), 13, "user=" + role);
  };
  OpenServerLogbook(as("riventar_owner"))->Record(Reading(EdgeTrips(1), "А123ВС77"));
  OpenServerLogbook(as("riventar_recorder"))->Record(Reading(EdgeTrips(2), "В777ОР"));
  // The logbook as the version before kept it: no months, the rights' function its own.
  server().Sql(fleet,
               "SET search_path = riventar; DROP TABLE vehicle_months; "
               "DROP FUNCTION riventar_trips_added_months(), riventar_trips_changed_months(), "
               "riventar_trips_removed_months(), riventar_trips_truncated_months() CASCADE; "
               "DROP FUNCTION riventar_grant_roles(); "
               "ALTER FUNCTION riventar_grant_roles_before_months() RENAME TO riventar_grant_roles; "
               "UPDATE schema_version SET version = version - 1",
               "riventar_owner");

  auto owner = OpenServerLogbook(as("riventar_owner"));
  EXPECT_EQ(server().Sql(fleet, "SELECT version FROM riventar.schema_version"),
            std::to_string(ServerSchemaVersion) + "\n");
  const std::string recount =
      "SELECT COUNT(*) FROM riventar.vehicle_months k FULL JOIN (SELECT (stamp >> 32)::integer AS month, vehicle, "
      "COUNT(*) AS trips, SUM(distance) AS distance, SUM(fuel) AS fuel FROM riventar.trips GROUP BY 1, 2) c "
      "USING (month, vehicle) WHERE (k.trips, k.distance, k.fuel) IS DISTINCT FROM (c.trips, c.distance, c.fuel)";
  EXPECT_EQ(server().Sql(fleet, recount), "0\n");
  EXPECT_EQ(server().Sql(fleet, "SELECT COUNT(*) FROM riventar.vehicle_months"), "14\n");
  for (const char* role : {"riventar_reader", "riventar_recorder", "riventar_admin", "riventar_owner"}) {
    SCOPED_TRACE(role);
    auto store = OpenServerLogbook(as(role));
    ExpectSumsOfTrips(*store);
    // What only the owner's triggers may do.
    EXPECT_EQ(server().Sql(fleet,
                           "SELECT has_table_privilege('riventar.vehicle_months', 'INSERT, UPDATE, DELETE, TRUNCATE') "
                           "OR has_function_privilege('riventar.riventar_trips_added_months()', 'EXECUTE')",
                           role),
              std::string(role) == "riventar_owner" ? "t\n" : "f\n");
  }
  owner->RecordSaved({Origin::Saved, "/home/u/b.dat", "2024-03-02 11:00:00", {"Нива", "А123ВС77", ""}, EdgeTrips(3)});
  EXPECT_EQ(server().Sql(fleet, recount), "0\n");
}

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);  // Qt SQL loads its driver as a plugin
  // No ~/.pgpass, ~/.pg_service.conf or ~/.postgresql of whoever runs the tests.
  const riventar::testing::TempDir home{"riventar-home"};
  ::setenv("HOME", home.Path().c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (home.Path() / "config").c_str(), 1);
  ::setenv("XDG_DATA_HOME", (home.Path() / "data").c_str(), 1);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
