// The logbook on a PostgreSQL server of 10,000,000 trips (1,000 vehicles of
// 10,000), a throwaway server on this machine reached through its Unix
// socket, fsync on:
//   - filling it with server-side SQL (the Store would take hours);
//   - the database's size a trip;
//   - what the window does when it opens: OpenServerLogbook, Vehicles(), Imports();
//   - one vehicle's 10,000 trips in date order (goal: under 100 ms);
//   - recording one reading of 255 trips (goal: under 100 ms);
//   - 50 computers (processes) at once, each sending 20 readings of 255
//     trips that overlap the others': every trip kept once, and the rate.
// Prints one line per figure: "name: value".
//   bench_logbook_server [VEHICLES]   (1,000 unless given: a smaller fill)
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "adapters/logbook/pg_store.h"
#include "bench/logbook/fleet_fill.h"
#include "bench/timing.h"
#include "tests/support/pg_server.h"

namespace {

using namespace riventar;
using namespace riventar::bench;

// Trip `n` of a vehicle, as the SQL fill below makes it: five a day from
// 1 January 2000 in months of 28 days, all different by minute and distance.
trips::TripRecord Trip(int vehicle, int n) {
  trips::TripRecord r;
  const int day = n / 5;
  r.Year = static_cast<std::uint8_t>(day / 336);
  r.Month = static_cast<std::uint8_t>(day / 28 % 12);
  r.Day = static_cast<std::uint8_t>(1 + day % 28);
  r.Weekday = static_cast<std::uint8_t>(day % 7);
  r.Hour = static_cast<std::uint8_t>(7 + n % 5 * 3);
  r.Minute = static_cast<std::uint8_t>(vehicle % 60);
  r.TripTime = 1200 + static_cast<std::uint32_t>(n % 3000);
  r.MovingTime = 900;
  r.Distance = 30000 + static_cast<std::uint32_t>(vehicle * 7 + n % 5000);
  r.Fuel = 40000 + static_cast<std::uint32_t>(n % 7000);
  trips::Derive(r);
  return r;
}

std::string Plate(int vehicle) { return "А" + std::to_string(1000 + vehicle) + "ВС77"; }

logbook::Recording Reading(int vehicle, int first, int count, const std::string& device = "/dev/ttyUSB0") {
  logbook::Recording r{
      logbook::Origin::Device, device, "2024-03-01 10:00:00", {"ВАЗ-2110", Plate(vehicle), "Иванов"}, {}};
  for (int n = first; n < first + count; ++n) r.trips.push_back(Trip(vehicle, n));
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int vehicles = argc > 1 ? std::atoi(argv[1]) : 1000;
  constexpr int PerVehicle = 10000;
  const long long total = static_cast<long long>(vehicles) * PerVehicle;

  riventar::testing::PgServer server({.durable = true});
  const std::string uri = server.CreateDatabase("fleet");
  logbook::OpenServerLogbook(uri);  // the schema
  const double fill = Time([&] { server.Sql("fleet", FillSql(vehicles, PerVehicle)); });
  std::printf("fill %lld trips with server-side SQL: %.1f s\n", total, fill / 1000);
  const double bytes = std::stod(server.Sql("fleet", "SELECT pg_database_size('fleet')"));
  std::printf("database size a trip: %.1f bytes (%.0f MB)\n", bytes / static_cast<double>(total), bytes / 1e6);
  server.Sql("fleet", BeforeMonthTotalsSql());
  const double migrate = Time([&] { logbook::OpenServerLogbook(uri); });
  std::printf("the step of the months' totals over every trip: %.1f s\n", migrate / 1000);

  std::size_t listed = 0;
  const double open = MedianOf(11, [&] {
    auto store = logbook::OpenServerLogbook(uri);
    listed = store->Vehicles().size() + store->Imports().size();
  });
  std::printf("open, Vehicles() and Imports(): median %.1f ms (%zu rows)\n", open, listed);

  auto store = logbook::OpenServerLogbook(uri);
  std::size_t got = 0;
  const std::string plate = logbook::PlateKey(Plate(vehicles / 2));
  const double cold = Time([&] { got = store->Trips({plate, {}, {}}).size(); });
  const double warm = MedianOf(11, [&] { got = store->Trips({plate, {}, {}}).size(); });
  std::printf("one vehicle's %zu trips in date order: median %.1f ms (first %.1f ms)\n", got, warm, cold);
  const double months = MedianOf(11, [&] { got = store->Months(plate).size(); });
  std::printf("one vehicle's %zu months: median %.1f ms\n", got, months);

  std::vector<double> fresh, held;
  for (int i = 0; i < 20; ++i) {
    fresh.push_back(Time([&] { store->Record(Reading(7, PerVehicle + i * 255, 255)); }));
    held.push_back(Time([&] { store->Record(Reading(7, PerVehicle + i * 255, 255)); }));
  }
  std::printf("record a reading of 255 new trips: median %.1f ms, worst %.1f ms\n", Median(fresh),
              *std::max_element(fresh.begin(), fresh.end()));
  std::printf("record a reading of 255 held trips: median %.1f ms, worst %.1f ms\n", Median(held),
              *std::max_element(held.begin(), held.end()));
  // What the months' triggers cost a recording: readings of a car no sender
  // uses, 20 with them off, then 20 with them on, each after an untimed one
  // (switching them makes every session plan its statements again); that
  // car's months are then counted again.
  std::vector<double> off, on;
  int next = PerVehicle;
  const auto timedReadings = [&](const char* how, std::vector<double>& times) {
    server.Sql("fleet", std::string("ALTER TABLE riventar.trips ") + how + " TRIGGER trips_added_months");
    for (int i = 0; i <= 20; ++i, next += 255) {
      const double took = Time([&] { store->Record(Reading(11, next, 255)); });
      if (i > 0) times.push_back(took);
    }
  };
  timedReadings("DISABLE", off);
  timedReadings("ENABLE", on);
  server.Sql("fleet",
             "SET search_path = riventar; DELETE FROM vehicle_months WHERE vehicle = 12; "
             "INSERT INTO vehicle_months SELECT (stamp >> 32)::integer, vehicle, COUNT(*), SUM(distance), SUM(fuel) "
             "FROM trips WHERE vehicle = 12 GROUP BY 1, 2");
  std::printf(
      "record a reading of 255 new trips, months' triggers off / on: median %.1f / %.1f ms, worst %.1f / "
      "%.1f ms\n",
      Median(off), Median(on), *std::max_element(off.begin(), off.end()), *std::max_element(on.begin(), on.end()));
  store.reset();

  // 50 computers, 5 on each of 10 cars; computer c of a car sends readings of
  // its car's trips from 20,000 + 60 c on, sliding by 100: each reading
  // overlaps its predecessor and the other four computers' readings.
  constexpr int Senders = 50, Cars = 10, Readings = 20;
  const auto before = std::stoll(server.Sql("fleet", "SELECT COUNT(*) FROM riventar.trips"));
  std::vector<pid_t> children;
  const auto start = Clock::now();
  for (int s = 0; s < Senders; ++s) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      try {
        auto own = logbook::OpenServerLogbook(uri);
        for (int r = 0; r < Readings; ++r)
          own->Record(
              Reading(s % Cars, 2 * PerVehicle + s / Cars * 60 + r * 100, 255, "/dev/ttyUSB" + std::to_string(s)));
        ::_exit(0);
      } catch (const logbook::StoreError& e) {
        std::fprintf(stderr, "sender %d: %s\n", s, e.what());
        ::_exit(1);
      }
    }
    children.push_back(pid);
  }
  int failed = 0;
  for (pid_t pid : children) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    failed += !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const double took = Ms(Clock::now() - start);
  const auto stored = std::stoll(server.Sql("fleet", "SELECT COUNT(*) FROM riventar.trips")) - before;
  const long long expected = Cars * (4 * 60 + (Readings - 1) * 100 + 255);
  const long long sent = static_cast<long long>(Senders) * Readings * 255;
  std::printf("50 senders of 20 readings of 255 trips: %.2f s, %lld trips stored of %lld expected, %d senders failed\n",
              took / 1000, stored, expected, failed);
  std::printf("50 senders: %.0f trips sent a second (%.0f new trips a second)\n",
              static_cast<double>(sent) / (took / 1000), static_cast<double>(stored) / (took / 1000));
  const std::string totals = server.Sql(
      "fleet",
      "SET search_path = riventar; SELECT COUNT(*) FROM vehicles v WHERE trips <> (SELECT COUNT(*) FROM trips t "
      "WHERE t.vehicle = v.id) "
      "OR distance <> (SELECT COALESCE(SUM(distance), 0) FROM trips t WHERE t.vehicle = v.id)");
  std::printf("vehicles whose kept totals differ from their trips: %s", totals.c_str());
  const std::string monthsWrong =
      server.Sql("fleet",
                 "SET search_path = riventar; SELECT COUNT(*) FROM (SELECT month, vehicle, trips, distance, fuel FROM "
                 "vehicle_months) k FULL JOIN (SELECT (stamp >> 32)::integer AS month, vehicle, COUNT(*) AS trips, "
                 "SUM(distance) AS distance, SUM(fuel) AS fuel FROM trips GROUP BY 1, 2) c USING (month, vehicle) "
                 "WHERE (k.trips, k.distance, k.fuel) IS DISTINCT FROM (c.trips, c.distance, c.fuel)");
  std::printf("vehicles' months whose kept totals differ from their trips: %s", monthsWrong.c_str());
  return failed == 0 && stored == expected && totals == "0\n" && monthsWrong == "0\n" ? 0 : 1;
}
