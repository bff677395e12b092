#include "cli/report_command.h"

#include <CLI/CLI.hpp>
#include <QGuiApplication>
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <iostream>

#include "adapters/print/year_report_page.h"
#include "cli/exit_status.h"
#include "cli/logbook_access.h"
#include "cli/output.h"
#include "cli/trip_file.h"
#include "core/logbook/json_text.h"
#include "core/stats/year_report.h"

namespace riventar::cli {
namespace {

bool FourDigits(const std::string& year) {
  return year.size() == 4 && std::all_of(year.begin(), year.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string Lowered(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && Lowered(text.substr(text.size() - end.size())) == end;
}

// The English labels of the figures' columns, in the order of FigureCells.
const std::vector<std::string> FigureLabels = {"trips", "km", "l", "l/100km", "trip time", "moving time"};

std::string PurposeLabel(const std::string& purpose) { return purpose.empty() ? "not given" : purpose; }

void AddRow(std::vector<std::vector<std::string>>& rows, std::string label, const stats::YearSums& sums) {
  std::vector<std::string> row{std::move(label)};
  for (std::string& cell : stats::FigureCells(sums)) row.push_back(std::move(cell));
  rows.push_back(std::move(row));
}

std::vector<std::vector<std::string>> Headed(const std::string& first) {
  std::vector<std::string> heading{first};
  heading.insert(heading.end(), FigureLabels.begin(), FigureLabels.end());
  return {heading};
}

std::string ReportTable(const stats::YearReport& report) {
  std::string out = std::to_string(report.year) + ", " +
                    (report.allVehicles ? "all vehicles (" + std::to_string(report.vehicles.size()) + ")"
                                        : "vehicle " + report.total.vehicle) +
                    "\n\n";
  const stats::VehicleYear& all = report.total;
  auto months = Headed("month");
  for (std::size_t m = 0; m < 12; ++m)
    AddRow(months, stats::MonthPeriod(report.year, static_cast<int>(m) + 1), all.months[m]);
  AddRow(months, "total", all.total);
  out += AlignedTable(months);
  if (!all.purposes.empty()) {
    auto purposes = Headed("purpose");
    for (const stats::PurposeYear& p : all.purposes) AddRow(purposes, PurposeLabel(p.purpose), p.total);
    AddRow(purposes, "total", all.total);
    out += "\n" + AlignedTable(purposes);
  }
  if (report.allVehicles) {
    auto vehicles = Headed("vehicle");
    for (const stats::VehicleYear& v : report.vehicles) AddRow(vehicles, v.vehicle, v.total);
    AddRow(vehicles, "total", all.total);
    out += "\n" + AlignedTable(vehicles);
  }
  return out;
}

std::string SumsJson(const stats::YearSums& s) {
  return "\"trips\": " + std::to_string(s.trips) +
         ", \"distance_km\": " + logbook::JsonNumber(s.distance, trips::DistancePerKm, 3) +
         ", \"fuel_l\": " + logbook::JsonNumber(s.fuel, trips::FuelPerLitre, 3) +
         ", \"consumption_l_100km\": " + logbook::JsonNumber(s.Consumption(), 10, 1) +
         ", \"trip_time_s\": " + std::to_string(s.tripTime) + ", \"moving_time_s\": " + std::to_string(s.movingTime);
}

std::string MonthsJson(int year, const stats::MonthSums& months, const std::string& indent) {
  std::string out = "[";
  for (std::size_t m = 0; m < 12; ++m) {
    out += (m == 0 ? "\n" : ",\n") + indent + "  {\"month\": \"" + stats::MonthPeriod(year, static_cast<int>(m) + 1) +
           "\", " + SumsJson(months[m]) + "}";
  }
  return out + "\n" + indent + "]";
}

// One object for the vehicle or the totals: months, total, purposes.
std::string BlockJson(int year, const stats::VehicleYear& v, const std::string& indent) {
  std::string out = "\"months\": " + MonthsJson(year, v.months, indent) + ",\n" + indent + "\"total\": {" +
                    SumsJson(v.total) + "},\n" + indent + "\"purposes\": [";
  for (std::size_t i = 0; i < v.purposes.size(); ++i) {
    const stats::PurposeYear& p = v.purposes[i];
    out += (i == 0 ? "\n" : ",\n") + indent + "  {\"purpose\": " + logbook::JsonString(p.purpose) + ", ";
    out += SumsJson(p.total) + ",\n" + indent + "   \"months\": ";
    out += MonthsJson(year, p.months, indent + "   ") + "}";
  }
  return out + (v.purposes.empty() ? "]" : "\n" + indent + "]");
}

std::string ReportJson(const stats::YearReport& report) {
  std::string out =
      "{\"year\": " + std::to_string(report.year) +
      ",\n \"vehicle\": " + (report.allVehicles ? std::string("null") : logbook::JsonString(report.total.vehicle)) +
      ",\n \"undated_trips\": " + std::to_string(report.undated) + ",\n " + BlockJson(report.year, report.total, " ");
  if (report.allVehicles) {
    out += ",\n \"vehicles\": [";
    for (std::size_t i = 0; i < report.vehicles.size(); ++i) {
      out += (i == 0 ? "\n" : ",\n") + std::string("  {\"registration\": ") +
             logbook::JsonString(report.vehicles[i].vehicle) + ",\n   " +
             BlockJson(report.year, report.vehicles[i], "   ") + "}";
    }
    out += report.vehicles.empty() ? "]" : "\n ]";
  }
  return out + "}\n";
}

}  // namespace

void PrintYearReport(const GlobalOptions& global, const LogReportOptions& options) {
  if (!FourDigits(options.year))
    throw Failure{ExitStatus::Usage, "--year needs a year of four digits, as 2024, not " + Echoed(options.year)};
  const bool csv = EndsWith(options.output, ".csv");
  const bool pdf = EndsWith(options.output, ".pdf");
  if (!options.output.empty() && !csv && !pdf)
    throw Failure{ExitStatus::Usage, "-o writes FILE.csv or FILE.pdf, not " + Echoed(options.output)};
  if (!options.output.empty()) CheckOutputFile(options.output);
  const int year = std::stoi(options.year);

  std::vector<stats::VehicleTrips> vehicles;
  std::optional<trips::VehicleInfo> one;
  CommandLogbook book(global, {services::StoreUse::Read});
  std::vector<logbook::VehicleSummary> known;
  if (book.Store()) known = Take(book.Session().With([](logbook::Store& s) { return s.Vehicles(); }));
  if (options.vehicle) {
    const std::optional<logbook::VehicleSummary> found = logbook::FindVehicle(known, *options.vehicle);
    if (!found) {
      throw Failure{ExitStatus::Usage, "no vehicle " + Echoed(*options.vehicle) +
                                           " in the logbook; 'riventar-cli log vehicles' lists them"};
    }
    known = {*found};
    one = found->texts;
  }
  // The dates as the logbook keeps them; MakeYearReport checks each trip's year again.
  const logbook::TripQuery inYear{std::nullopt, options.year + "-01-01", options.year + "-12-31"};
  for (const logbook::VehicleSummary& v : known) {
    logbook::TripQuery query = inYear;
    query.plateKey = v.plateKey;
    stats::VehicleTrips trips{logbook::Registration(v), {}, {}};
    for (logbook::LoggedTrip& t :
         Take(book.Session().With([&query](logbook::Store& s) { return s.LoggedTrips(query); }))) {
      trips.trips.push_back(t.trip);
      trips.purposes.push_back(std::move(t.tags.purpose));
    }
    vehicles.push_back(std::move(trips));
  }
  const stats::YearReport report = stats::MakeYearReport(vehicles, year, !options.vehicle);
  if (report.total.total.trips == 0) std::cerr << "riventar-cli: no trips in " << options.year << "\n";
  if (report.undated > 0) {
    std::cerr << "riventar-cli: " << report.undated << (report.undated == 1 ? " trip" : " trips") << " of "
              << options.year << " with no valid month left out\n";
  }
  if (options.output.empty()) {
    std::cout << ForStandardOutput(global.json ? ReportJson(report) : ReportTable(report));
    return;
  }
  std::string bytes;
  if (csv) {
    bytes = stats::SerializeYearCsv(report);
  } else {
    const std::optional<std::string> page = print::YearReportPdf(report, one);
    if (!page) throw Failure{ExitStatus::FileIo, "cannot make the PDF of the report for " + options.output};
    bytes = *page;
  }
  WriteTripFile(options.output, bytes);
  std::cerr << "riventar-cli: the report of " << options.year << " written to " << options.output << "\n";
}

void AddReportCommand(CLI::App& log, const GlobalOptions& global, std::function<void()>& run) {
  const auto options = std::make_shared<LogReportOptions>();
  CLI::App* report = log.add_subcommand("report", "a year's report: each month and the year, by purpose");
  report->add_option("--year", options->year, "the year")->type_name("YYYY")->required();
  report->add_option("--vehicle", options->vehicle, "only the vehicle with this number; by default all")
      ->type_name("REG");
  report->add_option("-o,--output", options->output, "write the report to FILE.csv or FILE.pdf")->type_name("FILE");
  report->callback([&global, &run, options] { run = [&global, options] { PrintYearReport(global, *options); }; });
}

std::unique_ptr<QCoreApplication> MakeQtApplication(int& argc, char** argv) {
  // Only a PDF needs fonts: "log report" with a file named *.pdf, however the
  // options are spelled (-o F, -oF, --output=F all end with the name).
  bool log = false, report = false, pdf = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "log") log = true;
    if (log && arg == "report") report = true;
    if (EndsWith(arg, ".pdf")) pdf = true;
  }
  if (!(report && pdf)) return std::make_unique<QCoreApplication>(argc, argv);
  // Without it the PDF is refused with a message, never aborted on a missing display.
  if (::setenv("QT_QPA_PLATFORM", "offscreen", 1) != 0) return std::make_unique<QCoreApplication>(argc, argv);
  return std::make_unique<QGuiApplication>(argc, argv);
}

}  // namespace riventar::cli
