#pragma once
// The year's report on paper: a title, the vehicle, then tables of the months,
// the purposes and (for all vehicles) the vehicles, each with its totals row,
// page after page as long as they run. Texts Russian, like the statistics
// report the window prints. Needs a QGuiApplication (fonts).
#include <QPagedPaintDevice>
#include <optional>
#include <string>

#include "core/stats/year_report.h"
#include "core/trips/dat_file.h"

namespace riventar::print {

// `vehicle`: the one vehicle's texts, nothing for all vehicles. False when
// the painter could not begin or end on `device`.
bool PaintYearReport(QPagedPaintDevice& device, const stats::YearReport& report,
                     const std::optional<trips::VehicleInfo>& vehicle);

// The report as a PDF file's bytes (A4), nothing when it could not be made.
std::optional<std::string> YearReportPdf(const stats::YearReport& report,
                                         const std::optional<trips::VehicleInfo>& vehicle);

inline constexpr const char* YearReportTitle = "Годовой отчет по маршрутам";

}  // namespace riventar::print
