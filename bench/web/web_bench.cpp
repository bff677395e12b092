// riventar-web's pages timed at a client on the loopback address (the time
// to the last byte of the answer, over a kept-alive connection), with the
// built riventar-web as a child process:
//   - over a fleet's server logbook of 10,000,000 trips (1,000 vehicles of
//     10,000, five a day from 2000), a throwaway PostgreSQL server filled by
//     server-side SQL: the vehicles page (goal: under 100 ms), a vehicle's
//     page (under 100 ms), a year's fleet report (under 500 ms); then wrk,
//     100 connections for 10 s on the vehicles page, when wrk is installed;
//   - over a driver's SQLite file of 300,000 trips: every page (under 50 ms).
// Prints one line per figure: "name: value".
//   bench_web [VEHICLES]   (1,000 unless given: a smaller fill; 0: the file alone)
#include <httplib.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "adapters/logbook/pg_store.h"
#include "adapters/logbook/sqlite_store.h"
#include "bench/logbook/fleet_fill.h"
#include "bench/timing.h"
#include "tests/support/pg_server.h"
#include "tests/support/temp_dir.h"
#include "web/html.h"

extern char** environ;

namespace {

using namespace riventar;
using namespace riventar::bench;

// The program serving `logbook` on a free port, until destroyed.
class Web {
 public:
  explicit Web(const std::string& logbook) {
    int out[2];
    if (::pipe(out) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<std::string> args{RIVENTAR_WEB, "--logbook", logbook, "--listen", "127.0.0.1:0"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::setenv("XDG_CONFIG_HOME", home_.Path().c_str(), 1);
    if (posix_spawn(&pid_, RIVENTAR_WEB, &actions, nullptr, argv.data(), environ) != 0)
      throw std::runtime_error("cannot start riventar-web");
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    std::string line;
    char c = 0;
    while (::read(out[0], &c, 1) == 1 && c != '\n') line += c;
    ::close(out[0]);
    const auto at = line.find("/?token=");
    if (at == std::string::npos) throw std::runtime_error("riventar-web printed no address");
    base_ = line.substr(0, at);
    token_ = line.substr(at + 8);
    client_ = std::make_unique<httplib::Client>(base_);
    client_->set_keep_alive(true);
    client_->set_read_timeout(std::chrono::seconds{60});
  }
  ~Web() {
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }

  // Milliseconds to the whole answer; throws unless it is 200.
  double Get(const std::string& path) {
    const httplib::Headers auth{{"Authorization", "Bearer " + token_}};
    const auto start = Clock::now();
    const httplib::Result res = client_->Get(path.c_str(), auth);
    const double ms = Ms(Clock::now() - start);
    if (!res || res->status != 200)
      throw std::runtime_error(path + ": " + (res ? std::to_string(res->status) + " " + res->body : "no answer"));
    return ms;
  }
  double MedianGet(int runs, const std::string& path) {
    std::vector<double> times;
    Get(path);  // this worker's connection opened
    for (int i = 0; i < runs; ++i) times.push_back(Get(path));
    return Median(times);
  }
  const std::string& Base() const { return base_; }
  const std::string& Token() const { return token_; }

 private:
  testing::TempDir home_{"riventar-web-bench"};
  pid_t pid_ = 0;
  std::string base_, token_;
  std::unique_ptr<httplib::Client> client_;
};

void Wrk(const Web& web, const std::string& path) {
  if (std::system("command -v wrk >/dev/null 2>&1") != 0) {
    std::printf("wrk: not installed, no load run\n");
    return;
  }
  const std::string command =
      "wrk -t2 -c100 -d10s --latency -H 'Authorization: Bearer " + web.Token() + "' '" + web.Base() + path + "' 2>&1";
  std::fflush(stdout);
  if (std::system(command.c_str()) != 0) std::printf("wrk failed\n");
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int vehicles = argc > 1 ? std::atoi(argv[1]) : 1000;
  try {
    if (vehicles > 0) {
      testing::PgServer server({.durable = true});
      const std::string uri = server.CreateDatabase("fleet");
      logbook::OpenServerLogbook(uri);  // the schema
      const double fill = Time([&] { server.Sql("fleet", FillSql(vehicles, 10000)); });
      std::printf("fill %d vehicles of 10,000 trips: %.1f s\n", vehicles, fill / 1000);
      server.Sql("fleet", BeforeMonthTotalsSql());
      const double migrate = Time([&] { logbook::OpenServerLogbook(uri); });
      std::printf("fleet: the step of the months' totals over every trip: %.1f s\n", migrate / 1000);
      // Where a year's report spent its time before the months were kept,
      // and what the best index for it gives: the year's trips read from
      // the index alone, summed by vehicle.
      std::printf("fleet: a year summed from its trips:\n%s",
                  server.Sql("fleet", "EXPLAIN (ANALYZE, BUFFERS) " + YearScanSql(3)).c_str());
      server.Sql("fleet", "CREATE INDEX trips_covering ON riventar.trips (stamp) INCLUDE (vehicle, distance, fuel)");
      server.Sql("fleet", "VACUUM ANALYZE riventar.trips");
      std::printf("fleet: a year summed from its trips, by a covering index (median of 5): %.1f ms\n",
                  MedianOf(5, [&] { server.Sql("fleet", YearScanSql(3)); }));
      std::printf("%s", server.Sql("fleet", "EXPLAIN (ANALYZE, BUFFERS) " + YearScanSql(3)).c_str());
      server.Sql("fleet", "DROP INDEX riventar.trips_covering");
      Web web(uri);
      std::printf("fleet: vehicles page (median of 11): %.1f ms\n", web.MedianGet(11, "/"));
      std::printf("fleet: a vehicle's page, its last year (median of 11): %.1f ms\n",
                  web.MedianGet(11, "/vehicle?vehicle=" + web::UrlEncode("А1500ВС77")));
      std::printf("fleet: the report of a year, 2003 (median of 5): %.1f ms\n",
                  web.MedianGet(5, "/report?period=2003"));
      std::printf("fleet: the report of a month, 2003-06 (median of 5): %.1f ms\n",
                  web.MedianGet(5, "/report?period=2003-06"));
      std::printf("fleet: the report of a year, as CSV (median of 5): %.1f ms\n",
                  web.MedianGet(5, "/report.csv?period=2003"));
      std::vector<double> vehiclePages;
      for (int v = 0; v < 11; ++v)
        vehiclePages.push_back(
            web.MedianGet(1, "/vehicle?vehicle=" + web::UrlEncode("А" + std::to_string(1000 + v * 90) + "ВС77")));
      std::printf("fleet: a vehicle's page, 11 vehicles: median %.1f ms, %.1f-%.1f ms\n", Median(vehiclePages),
                  *std::min_element(vehiclePages.begin(), vehiclePages.end()),
                  *std::max_element(vehiclePages.begin(), vehiclePages.end()));
      std::printf("fleet: /api/v1/vehicles (median of 11): %.1f ms\n", web.MedianGet(11, "/api/v1/vehicles"));
      Wrk(web, "/");
    }
    {
      // A driver's file: one car, 300,000 trips, ten a day from 2000.
      testing::TempDir dir("riventar-web-bench-file");
      const std::string file = (dir / "logbook.sqlite").string();
      logbook::Recording r{
          logbook::Origin::File, "fill", "2024-03-01 10:00:00", {"ВАЗ-2110", "А123ВС77", "Иванов"}, {}};
      for (int n = 0; n < 300000; ++n) {
        trips::TripRecord t;
        const int day = n / 10;
        t.Year = static_cast<std::uint8_t>(day / 336);
        t.Month = static_cast<std::uint8_t>(day / 28 % 12);
        t.Day = static_cast<std::uint8_t>(1 + day % 28);
        t.Weekday = static_cast<std::uint8_t>(day % 7);
        t.Hour = static_cast<std::uint8_t>(6 + n % 10);
        t.Minute = static_cast<std::uint8_t>(n % 60);
        t.TripTime = 1200;
        t.MovingTime = 900;
        t.Distance = 30000 + static_cast<std::uint32_t>(n % 5000);
        t.Fuel = 40000 + static_cast<std::uint32_t>(n % 7000);
        trips::Derive(t);
        r.trips.push_back(t);
      }
      logbook::OpenLogbook(file)->Record(r);
      Web web(file);
      const std::string car = web::UrlEncode("А123ВС77");
      std::printf("file: vehicles page (median of 11): %.1f ms\n", web.MedianGet(11, "/"));
      std::printf("file: the vehicle's page, its last year (median of 11): %.1f ms\n",
                  web.MedianGet(11, "/vehicle?vehicle=" + car));
      std::printf("file: the vehicle's page, a month, page 2 (median of 11): %.1f ms\n",
                  web.MedianGet(11, "/vehicle?vehicle=" + car + "&from=2050-03-01&to=2050-03-28&page=2"));
      std::printf("file: the report of a year (median of 11): %.1f ms\n", web.MedianGet(11, "/report?period=2050"));
      std::printf("file: a year's trips as .csv (median of 11): %.1f ms\n",
                  web.MedianGet(11, "/download?vehicle=" + car + "&from=2050-01-01&to=2050-12-31&format=csv"));
      std::printf("file: a year's trips as JSON (median of 11): %.1f ms\n",
                  web.MedianGet(11, "/api/v1/trips?vehicle=" + car + "&from=2050-01-01&to=2050-12-31"));
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_web: %s\n", e.what());
    return 1;
  }
  return 0;
}
