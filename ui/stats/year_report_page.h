#pragma once
// The year's report printed by the window, on the statistics printer and
// through its dialog like the statistics report; laid out by
// adapters/print, the same page riventar-cli writes as a PDF.
#include <optional>

#include "core/stats/year_report.h"
#include "core/trips/dat_file.h"

class QPrinter;
class QWidget;

namespace riventar::ui {

class StatisticHost;

// `vehicle`: the one vehicle's texts; nothing for all vehicles. A failed
// print is said to the user.
void PrintYearReport(StatisticHost& host, QWidget* from, const stats::YearReport& report,
                     const std::optional<trips::VehicleInfo>& vehicle);

// On `printer` as set up; false when the page could not be printed.
bool PrintYearReportOn(QPrinter& printer, const stats::YearReport& report,
                       const std::optional<trips::VehicleInfo>& vehicle);

}  // namespace riventar::ui
