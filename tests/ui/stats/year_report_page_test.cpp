#include "ui/stats/year_report_page.h"

#include <gtest/gtest.h>

#include <QPageSize>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>

#include "tests/core/stats/trip_factory.h"

namespace riventar::ui {
namespace {

// The text of a PDF, as pdftotext reads it.
QString PdfText(const QString& path) {
  QProcess pdftotext;
  pdftotext.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
  pdftotext.waitForFinished();
  return QString::fromUtf8(pdftotext.readAllStandardOutput()).simplified();
}

// The page the printer gets is the one riventar-cli writes: on any page size,
// a small one scaled down.
TEST(YearReportPage, PrintsOnThePrinterAsSetUp) {
  stats::VehicleTrips car{"А123ВС77", {}, {}};
  for (unsigned m = 1; m <= 12; ++m) car.trips.push_back(stats::testing::TripOn(2024, m, 1, 3600, 3000, 60000, 8000));
  const stats::YearReport report = stats::MakeYearReport({car}, 2024, false);
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  for (const QPageSize::PageSizeId size : {QPageSize::A4, QPageSize::A6}) {
    const QString path = dir.filePath(QStringLiteral("page%1.pdf").arg(size));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setPageSize(QPageSize(size));
    ASSERT_TRUE(PrintYearReportOn(printer, report, trips::VehicleInfo{"Лада", "А123ВС77", "Иванов"}));
    const QString text = PdfText(path);
    for (const char* expected :
         {"Годовой отчет по маршрутам за 2024 год", "Рег. номер: А123ВС77", "Марка автомашины: Лада",
          "Владелец: Иванов", "Декабрь 1 10.0 0.5 5.0 1:0:0 0:50:0", "Итого 12 120.0 6.0 5.0 12:0:0 10:0:0"})
      EXPECT_TRUE(text.contains(QString::fromUtf8(expected))) << expected << "\n" << text.toStdString();
  }
}

}  // namespace
}  // namespace riventar::ui
