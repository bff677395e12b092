#include "ui/stats/year_report_page.h"

#include <QPrinter>

#include "adapters/print/year_report_page.h"
#include "ui/stats/statistic_host.h"

namespace riventar::ui {

void PrintYearReport(StatisticHost& host, QWidget* from, const stats::YearReport& report,
                     const std::optional<trips::VehicleInfo>& vehicle) {
  // The report is a value: the print may run after the caller's data has changed.
  host.PrintOnStatisticPrinter(
      from, [report, vehicle](QPrinter& printer) { return PrintYearReportOn(printer, report, vehicle); },
      QStringLiteral("Не удалось напечатать годовой отчет по маршрутам.\n"
                     "Проверьте принтер и повторите печать."));
}

bool PrintYearReportOn(QPrinter& printer, const stats::YearReport& report,
                       const std::optional<trips::VehicleInfo>& vehicle) {
  const bool painted = print::PaintYearReport(printer, report, vehicle);
  return painted && printer.printerState() != QPrinter::Error && printer.printerState() != QPrinter::Aborted;
}

}  // namespace riventar::ui
