#include "adapters/print/year_report_page.h"

#include <QBuffer>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <array>
#include <vector>

namespace riventar::print {
namespace {

QString FromUtf8(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

const std::array<const char*, 12> MonthNames = {"Январь", "Февраль", "Март",     "Апрель",  "Май",    "Июнь",
                                                "Июль",   "Август",  "Сентябрь", "Октябрь", "Ноябрь", "Декабрь"};
const std::array<const char*, stats::YearFigureCount> FigureHeadings = {
    "Маршрутов", "Путь, км", "Топливо, л", "Расход, л/100км", "Время на маршрутах", "Время в движении"};

struct Row {
  QString label;
  std::array<QString, stats::YearFigureCount> cells;
  bool total = false;
};

struct Table {
  QString title;
  QString firstHeading;
  std::vector<Row> rows;
};

Row MakeRow(const QString& label, const stats::YearSums& sums, bool total = false) {
  Row row{label, {}, total};
  const auto cells = stats::FigureCells(sums);
  for (std::size_t i = 0; i < cells.size(); ++i) row.cells[i] = FromUtf8(cells[i]);
  return row;
}

Table MonthTable(const QString& title, const stats::MonthSums& months, const stats::YearSums& total) {
  Table t{title, QStringLiteral("Месяц"), {}};
  for (std::size_t m = 0; m < 12; ++m) t.rows.push_back(MakeRow(QString::fromUtf8(MonthNames[m]), months[m]));
  t.rows.push_back(MakeRow(QStringLiteral("Итого"), total, true));
  return t;
}

std::vector<Table> Tables(const stats::YearReport& report) {
  const stats::VehicleYear& all = report.total;
  std::vector<Table> tables{MonthTable(QStringLiteral("По месяцам"), all.months, all.total)};
  if (!all.purposes.empty()) {
    Table t{QStringLiteral("По назначению"), QStringLiteral("Назначение"), {}};
    for (const stats::PurposeYear& p : all.purposes)
      t.rows.push_back(MakeRow(FromUtf8(stats::PurposeText(p.purpose)), p.total));
    t.rows.push_back(MakeRow(QStringLiteral("Итого"), all.total, true));
    tables.push_back(std::move(t));
  }
  // The months of each purpose only where there is more than one.
  if (all.purposes.size() > 1) {
    for (const stats::PurposeYear& p : all.purposes)
      tables.push_back(
          MonthTable(QStringLiteral("Назначение: ") + FromUtf8(stats::PurposeText(p.purpose)), p.months, p.total));
  }
  if (report.allVehicles) {
    Table t{QStringLiteral("По автомобилям"), QStringLiteral("Автомобиль"), {}};
    for (const stats::VehicleYear& v : report.vehicles) t.rows.push_back(MakeRow(FromUtf8(v.vehicle), v.total));
    t.rows.push_back(MakeRow(QStringLiteral("Итого"), all.total, true));
    tables.push_back(std::move(t));
  }
  return tables;
}

QFont PageFont(int pointSize, bool bold = false) {
  // The window's family (fonts-liberation, a dependency of the package).
  QFont font(QStringLiteral("Liberation Sans"));
  font.setPointSize(pointSize);
  font.setBold(bold);
  return font;
}

// Lays the tables out on the device's pages: one width for each column over
// every table, so that the tables line up; a page too narrow gets it all
// scaled down, and a table that runs over a page goes on with its headings.
class PageWriter {
 public:
  PageWriter(QPainter& painter, QPagedPaintDevice& device) : painter_(painter), device_(device) {}

  void Write(const std::vector<QString>& heading, const std::vector<Table>& tables) {
    painter_.setFont(PageFont(10));
    const QFontMetrics body(painter_.font(), &device_);
    const int gap = body.horizontalAdvance(QStringLiteral("WW"));
    lineHeight_ = body.height() * 3 / 2;
    // Column widths, from every text they will hold.
    const QFont bold = PageFont(10, true);
    const QFontMetrics boldMetrics(bold, &device_);
    for (const Table& t : tables) {
      labelWidth_ = std::max(labelWidth_, boldMetrics.horizontalAdvance(t.firstHeading));
      for (std::size_t c = 0; c < FigureHeadings.size(); ++c)
        cellWidths_[c] = std::max(cellWidths_[c], boldMetrics.horizontalAdvance(QString::fromUtf8(FigureHeadings[c])));
      for (const Row& r : t.rows) {
        labelWidth_ = std::max(labelWidth_, boldMetrics.horizontalAdvance(r.label));
        for (std::size_t c = 0; c < r.cells.size(); ++c)
          cellWidths_[c] = std::max(cellWidths_[c], boldMetrics.horizontalAdvance(r.cells[c]));
      }
    }
    int width = labelWidth_;
    for (int w : cellWidths_) width += gap + w;
    gap_ = gap;
    const double scale = std::min(1.0, device_.width() / static_cast<double>(std::max(width, 1)));
    if (scale < 1.0) painter_.scale(scale, scale);
    pageHeight_ = static_cast<int>(device_.height() / scale);
    tableWidth_ = width;

    painter_.setFont(PageFont(14, true));
    const QFontMetrics title(painter_.font(), &device_);
    y_ = title.height();
    painter_.drawText(0, y_, heading.front());
    y_ += lineHeight_;
    painter_.setFont(PageFont(10));
    for (std::size_t i = 1; i < heading.size(); ++i) {
      painter_.drawText(0, y_, heading[i]);
      y_ += lineHeight_;
    }
    for (const Table& t : tables) WriteTable(t);
  }

  bool PageFailed() const { return pageFailed_; }

 private:
  void WriteTable(const Table& t) {
    // The title, the headings and a first row together, or a new page.
    y_ += lineHeight_;
    if (y_ + 3 * lineHeight_ > pageHeight_) NewPage();
    painter_.setFont(PageFont(11, true));
    painter_.drawText(0, y_, t.title);
    y_ += lineHeight_;
    Headings(t);
    for (const Row& r : t.rows) {
      if (y_ + lineHeight_ > pageHeight_) {
        NewPage();
        Headings(t);
      }
      if (r.total) Rule();
      painter_.setFont(PageFont(10, r.total));
      Line(r.label, r.cells);
    }
  }

  void Headings(const Table& t) {
    painter_.setFont(PageFont(10, true));
    std::array<QString, stats::YearFigureCount> cells;
    for (std::size_t c = 0; c < cells.size(); ++c) cells[c] = QString::fromUtf8(FigureHeadings[c]);
    Line(t.firstHeading, cells);
    Rule();
  }

  // A label at the left, the figures right-aligned in their columns.
  void Line(const QString& label, const std::array<QString, stats::YearFigureCount>& cells) {
    const QFontMetrics metrics(painter_.font(), &device_);
    painter_.drawText(0, y_, label);
    int right = labelWidth_;
    for (std::size_t c = 0; c < cells.size(); ++c) {
      right += gap_ + cellWidths_[c];
      painter_.drawText(right - metrics.horizontalAdvance(cells[c]), y_, cells[c]);
    }
    y_ += lineHeight_;
  }

  void Rule() {
    const int at = y_ - lineHeight_ + lineHeight_ / 4;
    painter_.drawLine(0, at, tableWidth_, at);
  }

  void NewPage() {
    if (!device_.newPage()) pageFailed_ = true;
    y_ = lineHeight_;
  }

  QPainter& painter_;
  QPagedPaintDevice& device_;
  int labelWidth_ = 0;
  std::array<int, stats::YearFigureCount> cellWidths_{};
  int gap_ = 0;
  int lineHeight_ = 0;
  int pageHeight_ = 0;
  int tableWidth_ = 0;
  int y_ = 0;  // the baseline of the next line
  bool pageFailed_ = false;
};

std::vector<QString> Heading(const stats::YearReport& report, const std::optional<trips::VehicleInfo>& vehicle) {
  std::vector<QString> lines{QString::fromUtf8(YearReportTitle) + QStringLiteral(" за %1 год").arg(report.year)};
  if (vehicle) {
    lines.push_back(QStringLiteral("Рег. номер: ") + FromUtf8(report.total.vehicle));
    if (!vehicle->Model.empty()) lines.push_back(QStringLiteral("Марка автомашины: ") + FromUtf8(vehicle->Model));
    if (!vehicle->Owner.empty()) lines.push_back(QStringLiteral("Владелец: ") + FromUtf8(vehicle->Owner));
  } else {
    lines.push_back(QStringLiteral("Автомобили: все (%1)").arg(report.vehicles.size()));
  }
  if (report.total.total.trips == 0) lines.push_back(QStringLiteral("Маршрутов за год нет."));
  if (report.undated > 0)
    lines.push_back(QStringLiteral("Не учтено маршрутов с ошибочной датой: %1").arg(report.undated));
  return lines;
}

}  // namespace

bool PaintYearReport(QPagedPaintDevice& device, const stats::YearReport& report,
                     const std::optional<trips::VehicleInfo>& vehicle) {
  QPainter painter;
  if (!painter.begin(&device)) return false;
  // Ink on paper: a dark desktop theme's text colour would print nearly white.
  painter.setPen(Qt::black);
  painter.setBrush(Qt::NoBrush);
  PageWriter writer(painter, device);
  writer.Write(Heading(report, vehicle), Tables(report));
  return painter.end() && !writer.PageFailed();
}

std::optional<std::string> YearReportPdf(const stats::YearReport& report,
                                         const std::optional<trips::VehicleInfo>& vehicle) {
  // Fonts are only there with a QGuiApplication; without one Qt aborts.
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return std::nullopt;
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  {
    QPdfWriter pdf(&buffer);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    pdf.setResolution(300);
    pdf.setTitle(QString::fromUtf8(YearReportTitle) + QStringLiteral(" за %1 год").arg(report.year));
    pdf.setCreator(QStringLiteral("riventar"));
    if (!PaintYearReport(pdf, report, vehicle)) return std::nullopt;
  }
  return buffer.data().toStdString();
}

}  // namespace riventar::print
