#include "cli/stats_command.h"

#include <iostream>
#include <string_view>
#include <vector>

#include "cli/exit_status.h"
#include "cli/output.h"
#include "cli/trip_file.h"
#include "core/stats/figures.h"
#include "core/stats/report.h"
#include "core/trips/trip_text.h"

namespace riventar::cli {
namespace {

std::string IsoDate(const stats::Date& d) {
  char b[16];
  std::snprintf(b, sizeof b, "%04d-%02u-%02u", static_cast<int>(d.year()), static_cast<unsigned>(d.month()),
                static_cast<unsigned>(d.day()));
  return b;
}

}  // namespace

void PrintStatistics(const StatsOptions& options, bool json) {
  // The menu's order: day, week, month, season, year, everything.
  static constexpr std::string_view Periods[] = {"day", "week", "month", "season", "year", "all"};
  int kind = 0;
  while (kind < stats::PeriodKinds && Periods[kind] != options.period) ++kind;
  if (kind == stats::PeriodKinds) throw Failure{ExitStatus::Usage, "unknown period " + options.period};

  const trips::DatContents contents = *LoadTripFile(options.file);
  const auto& list = contents.Trips;
  if (options.at < 1 || static_cast<std::size_t>(options.at) > list.size()) {
    throw Failure{ExitStatus::Usage, "--at must lie between 1 and " + std::to_string(list.size())};
  }
  stats::Statistics statistics;
  try {
    statistics = stats::ForChoice(list, static_cast<std::size_t>(options.at - 1), static_cast<stats::PeriodKind>(kind));
  } catch (const stats::InvalidTripDate& e) {
    throw Failure{ExitStatus::NotTripFile, "trip " + std::to_string(e.Index() + 1) + " (" +
                                               trips::DateText(list[e.Index()]) +
                                               ") has no valid date; no statistics can be computed"};
  }
  const stats::Figures& f = statistics.figures;
  const stats::FigureTexts texts = stats::Texts(f);
  if (json) {
    std::cout << "{\"period\": " << JsonString(statistics.period.caption) << ", \"start\": \""
              << IsoDate(statistics.period.start) << "\", \"end\": \"" << IsoDate(statistics.period.end)
              << "\", \"days\": " << f.days << ", \"trip_days\": " << f.tripDays << ", \"trips\": " << f.trips
              << ", \"trip_time_s\": " << f.tripTime << ", \"moving_time_s\": " << f.movingTime
              << ", \"distance_km\": " << JsonNumber(f.distance, trips::DistancePerKm, 3)
              << ", \"fuel_l\": " << JsonNumber(f.fuel, trips::FuelPerLitre, 3)
              << ", \"avg_speed_kmh\": " << JsonNumber(f.avgSpeed, 10, 1)
              << ", \"consumption_l_100km\": " << JsonNumber(f.consumption, 10, 1) << "}\n";
    return;
  }
  // The printed report's labels and the window's texts; the vehicle lines stay out.
  const stats::ReportValues values = stats::MakeReportValues(statistics.period.caption, {}, {}, {}, texts);
  std::vector<std::vector<std::string>> rows;
  for (int line = 0; line < stats::ReportLines; ++line) {
    if (line >= 1 && line <= 3) continue;
    rows.push_back(
        {std::string(stats::ReportLabels[static_cast<std::size_t>(line)]), values[static_cast<std::size_t>(line)]});
  }
  std::cout << AlignedTable(rows);
}

}  // namespace riventar::cli
