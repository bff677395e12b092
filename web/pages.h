#pragma once
// The pages, in Russian like the window, built from what the logbook gave:
// no page reads the logbook itself. Every text of the logbook or of a request
// goes through Html::Text.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/logbook/logbook.h"
#include "core/stats/buckets.h"
#include "core/trips/trip_record.h"
#include "web/html.h"

namespace riventar::web {

// Sums in the device's units (1/6000 km, 1/16000 l).
struct Sums {
  std::int64_t trips = 0;
  std::uint64_t distance = 0;
  std::uint64_t fuel = 0;
  void Add(const logbook::MonthSummary& m) {
    trips += m.trips;
    distance += m.distance;
    fuel += m.fuel;
  }
};

// "43.3": 1/6000 km as km, one decimal; "3.3": 1/16000 l as litres.
std::string KmText(std::uint64_t distance);
std::string LitreText(std::uint64_t fuel);
// "7.7" l/100 km from the sums, the single trip's rule; "—" without distance.
std::string ConsumptionText(const Sums& s);

struct VehicleLine {
  logbook::VehicleSummary vehicle;
  Sums month, year;  // the current calendar month and year
};

struct VehiclesView {
  std::vector<VehicleLine> lines;
  std::string monthCaption;  // "Декабрь 2026"
  int year = 0;
  bool fleet = false;  // a shared server: pending trips are a column
};
std::string VehiclesPage(const VehiclesView& view);

struct VehicleView {
  logbook::VehicleSummary vehicle;
  std::vector<logbook::MonthSummary> months;  // of the period, in order
  std::string from, to;                       // the period shown, "YYYY-MM-DD"
  stats::Chart chart;
  trips::TripList trips;  // the page's trips
  std::size_t firstRow = 1;
  std::size_t page = 1, pages = 1;
  std::size_t total = 0;  // trips in the period
};
std::string VehiclePage(const VehicleView& view);
// The chart as SVG markup (colours come from the style sheet).
Html ChartSvg(const stats::Chart& chart);

struct ReportLine {
  logbook::VehicleSummary vehicle;
  Sums sums;
};
struct ReportView {
  std::string period;   // "2024" or "2024-03"
  std::string caption;  // "2024 год", "Март 2024 года"
  std::vector<ReportLine> lines;
};
std::string ReportPage(const ReportView& view);
// UTF-8, ";" between fields, decimal comma, CR LF; a text field is quoted
// when it must be, and one that a spreadsheet would take for a formula is
// led by an apostrophe.
std::string ReportCsv(const ReportView& view);

// `passwords`: users exist, so the page offers the name and password form.
std::string LoginPage(const std::string& message, bool passwords);
std::string ErrorPage(int status, const std::string& message);

// The one style sheet, served as /style.css.
extern const char StyleSheet[];

}  // namespace riventar::web
