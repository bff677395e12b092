#include "ui/stats/Statistic_form.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPrinter>
#include <QShortcut>
#include <QStyle>
#include <QToolButton>
#include <algorithm>
#include <tuple>
#include <utility>

#include "ui/common/dialogs.h"
#include "ui/common/handler_guard.h"
#include "ui/common/placement.h"
#include "ui/common/ui_style.h"
#include "ui/stats/Chart_form.h"
#include "ui/stats/statistic_host.h"

namespace riventar::ui {

namespace {

QString FromUtf8(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// A caption label sized to its text, 5 pixels below the panel's top.
QLabel* Caption(QFrame* panel, int left, const QString& text) {
  auto* label = new QLabel(text, panel);
  label->setTextFormat(Qt::PlainText);
  label->setGeometry(left, 5, label->sizeHint().width(), 13);
  return label;
}

// A value label of fixed width that does not follow its text.
QLabel* Value(QFrame* panel, int left, int top, int width) { return style::Label(panel, {left, top, width, 13}, {}); }

}  // namespace

TTrip_Stat_Form::TTrip_Stat_Form(StatisticHost& host)
    : QWidget(nullptr), host_(host), hostLife_(dynamic_cast<QObject*>(&host)) {
  BuildControls();
}

StatisticHost* TTrip_Stat_Form::Host() const { return hostLife_ ? &host_ : nullptr; }

TTrip_Stat_Form::~TTrip_Stat_Form() {
  // A window destroyed while still listed must not stay behind as a dangling entry.
  if (StatisticHost* host = Host()) host->StatisticWindowClosed(this);
}

void TTrip_Stat_Form::BuildControls() {
  setObjectName(QStringLiteral("Trip_Stat_Form"));
  setWindowTitle(QStringLiteral("Статистика по маршрутам"));
  setFont(style::FormFont());
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(401, 308);
  move(283, 190);

  // A lowered panel with its caption on the left and one value label.
  const auto line = [this](int top, const QString& caption, int valueLeft, int valueWidth) {
    QFrame* panel = style::Panel(this, {8, top, 385, 25}, false);
    return std::tuple{panel, Caption(panel, 8, caption), Value(panel, valueLeft, 5, valueWidth)};
  };
  std::tie(Statistic_Period_Panel, Statistic_Period_Caption_Label, Statistic_Period_Label) =
      line(8, QStringLiteral("Отчетный период:"), 160, 217);
  std::tie(Statistic_Days_Panel, Statistic_Days_Caption_Label, Statistic_Days_Label) =
      line(40, QStringLiteral("Дней всего за период:"), 160, 41);
  Statistic_Trip_Days_Caption_Label = Caption(Statistic_Days_Panel, 208, QStringLiteral("с маршрутами:"));
  Statistic_Trip_Days_Label = Value(Statistic_Days_Panel, 304, 4, 41);
  std::tie(Statistic_Trips_Count_Panel, Statistic_Trips_Count_Caption_Label, Statistic_Trips_Count_Label) =
      line(72, QStringLiteral("Маршрутов за период:"), 160, 41);
  std::tie(Statistic_Trips_Time_Panel, Statistic_Total_Time_Caption_Label, Statistic_Total_Time_Label) =
      line(104, QStringLiteral("Время на маршрутах:"), 136, 65);
  Statistic_Time_In_Go_Caption_Label = Caption(Statistic_Trips_Time_Panel, 208, QStringLiteral("в движении:"));
  Statistic_Time_In_Go_Label = Value(Statistic_Trips_Time_Panel, 288, 4, 65);
  std::tie(Statistic_Way_Panel, Statistic_Total_Way_Caption_Label, Statistic_Total_Way_Label) =
      line(136, QStringLiteral("Пройденный путь:"), 160, 81);
  std::tie(Statistic_Speed_Panel, Statistic_Aver_Speed_Caption_Label, Statistic_Aver_Speed_Label) =
      line(168, QStringLiteral("Средняя скрость движения:"), 160, 81);
  std::tie(Statistic_Total_Fuel_Panel, Statistic_Total_Fuel_Caption_Label, Statistic_Total_Fuel_Label) =
      line(200, QStringLiteral("Израсходованное топливо:"), 160, 81);
  std::tie(Statistic_Aver_Fuel_Panel, Statistic_Aver_Fuel_Caption_Label, Statistic_Aver_Fuel_Label) =
      line(232, QStringLiteral("Средний расход топлива:"), 160, 81);

  Statistic_Close_Speed_Button = style::FlatButton(this, {16, 272, 105, 25}, QStringLiteral("Закрыть     "),
                                                   style()->standardIcon(QStyle::SP_DialogCloseButton));
  connect(Statistic_Close_Speed_Button, &QToolButton::clicked, this, [this] { Statistic_Close_Speed_Button_Click(); });
  Statistic_Print_Speed_Button =
      style::FlatButton(this, {144, 272, 105, 25}, QStringLiteral("Распечатать "),
                        QIcon::fromTheme(QStringLiteral("document-print"), style()->standardIcon(QStyle::SP_FileIcon)));
  connect(Statistic_Print_Speed_Button, &QToolButton::clicked, this, [this] {
    if (StatisticHost* host = Host()) Guarded(host->UiDialogs(), [this] { Statistic_Print_Speed_Button_Click(); });
  });
  // Beside the two buttons above, which keep their places.
  Statistic_Chart_Speed_Button = style::FlatButton(
      this, {272, 272, 105, 25}, QStringLiteral("График"),
      QIcon::fromTheme(QStringLiteral("office-chart-bar"), style()->standardIcon(QStyle::SP_FileDialogDetailedView)));
  connect(Statistic_Chart_Speed_Button, &QToolButton::clicked, this, [this] {
    if (StatisticHost* host = Host()) Guarded(host->UiDialogs(), [this] { Statistic_Chart_Speed_Button_Click(); });
  });
  // Tests and tools find each control by its name.
  const std::pair<QObject*, const char*> named[] = {
      {Statistic_Period_Panel, "Statistic_Period_Panel"},
      {Statistic_Period_Caption_Label, "Statistic_Period_Caption_Label"},
      {Statistic_Period_Label, "Statistic_Period_Label"},
      {Statistic_Days_Panel, "Statistic_Days_Panel"},
      {Statistic_Days_Caption_Label, "Statistic_Days_Caption_Label"},
      {Statistic_Days_Label, "Statistic_Days_Label"},
      {Statistic_Trip_Days_Caption_Label, "Statistic_Trip_Days_Caption_Label"},
      {Statistic_Trip_Days_Label, "Statistic_Trip_Days_Label"},
      {Statistic_Trips_Count_Panel, "Statistic_Trips_Count_Panel"},
      {Statistic_Trips_Count_Caption_Label, "Statistic_Trips_Count_Caption_Label"},
      {Statistic_Trips_Count_Label, "Statistic_Trips_Count_Label"},
      {Statistic_Trips_Time_Panel, "Statistic_Trips_Time_Panel"},
      {Statistic_Total_Time_Caption_Label, "Statistic_Total_Time_Caption_Label"},
      {Statistic_Total_Time_Label, "Statistic_Total_Time_Label"},
      {Statistic_Time_In_Go_Caption_Label, "Statistic_Time_In_Go_Caption_Label"},
      {Statistic_Time_In_Go_Label, "Statistic_Time_In_Go_Label"},
      {Statistic_Way_Panel, "Statistic_Way_Panel"},
      {Statistic_Total_Way_Caption_Label, "Statistic_Total_Way_Caption_Label"},
      {Statistic_Total_Way_Label, "Statistic_Total_Way_Label"},
      {Statistic_Speed_Panel, "Statistic_Speed_Panel"},
      {Statistic_Aver_Speed_Caption_Label, "Statistic_Aver_Speed_Caption_Label"},
      {Statistic_Aver_Speed_Label, "Statistic_Aver_Speed_Label"},
      {Statistic_Total_Fuel_Panel, "Statistic_Total_Fuel_Panel"},
      {Statistic_Total_Fuel_Caption_Label, "Statistic_Total_Fuel_Caption_Label"},
      {Statistic_Total_Fuel_Label, "Statistic_Total_Fuel_Label"},
      {Statistic_Aver_Fuel_Panel, "Statistic_Aver_Fuel_Panel"},
      {Statistic_Aver_Fuel_Caption_Label, "Statistic_Aver_Fuel_Caption_Label"},
      {Statistic_Aver_Fuel_Label, "Statistic_Aver_Fuel_Label"},
      {Statistic_Close_Speed_Button, "Statistic_Close_Speed_Button"},
      {Statistic_Print_Speed_Button, "Statistic_Print_Speed_Button"},
      {Statistic_Chart_Speed_Button, "Statistic_Chart_Speed_Button"}};
  for (auto [control, name] : named) control->setObjectName(QLatin1String(name));
  // Escape closes like the close button.
  connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &QWidget::close);
}

void TTrip_Stat_Form::ShowFigures(const QString& period, const stats::FigureTexts& f) {
  Statistic_Period_Label->setText(period);
  Statistic_Days_Label->setText(FromUtf8(f.days));
  Statistic_Trip_Days_Label->setText(FromUtf8(f.tripDays));
  Statistic_Trips_Count_Label->setText(FromUtf8(f.trips));
  Statistic_Total_Time_Label->setText(FromUtf8(f.totalTime));
  Statistic_Time_In_Go_Label->setText(FromUtf8(f.timeInGo));
  Statistic_Total_Way_Label->setText(FromUtf8(f.totalWay));
  Statistic_Aver_Speed_Label->setText(FromUtf8(f.averSpeed));
  Statistic_Total_Fuel_Label->setText(FromUtf8(f.totalFuel));
  Statistic_Aver_Fuel_Label->setText(FromUtf8(f.averFuel));
}

stats::ReportValues TTrip_Stat_Form::ReportValues() const {
  const auto text = [](const QLabel* label) { return label->text().toStdString(); };
  const trips::VehicleInfo vehicle = Host() ? Host()->VehicleTexts() : trips::VehicleInfo{};
  return stats::MakeReportValues(
      text(Statistic_Period_Label), vehicle.Model, vehicle.RegId, vehicle.Owner,
      {text(Statistic_Days_Label), text(Statistic_Trip_Days_Label), text(Statistic_Trips_Count_Label),
       text(Statistic_Total_Time_Label), text(Statistic_Time_In_Go_Label), text(Statistic_Total_Way_Label),
       text(Statistic_Aver_Speed_Label), text(Statistic_Total_Fuel_Label), text(Statistic_Aver_Fuel_Label)});
}

void TTrip_Stat_Form::closeEvent(QCloseEvent* event) {
  Statistic_Form_Close();
  event->accept();
}

void TTrip_Stat_Form::Statistic_Form_Close() {
  if (StatisticHost* host = Host()) host->StatisticWindowClosed(this);
  if (chartWindow_) chartWindow_->close();
  // Nothing refers to a closed window; shutdown deletes the ones still listed itself.
  deleteLater();
}

void TTrip_Stat_Form::Statistic_Close_Speed_Button_Click() { close(); }

TTrip_Chart_Form* TTrip_Stat_Form::ChartWindow() const { return chartWindow_; }

void TTrip_Stat_Form::Statistic_Chart_Speed_Button_Click() {
  if (!Host()) return;
  if (!chartWindow_) {
    chartWindow_ = new TTrip_Chart_Form(chart_, *Host(), this);
    chartWindow_->setAttribute(Qt::WA_DeleteOnClose);
    CentreOver(*chartWindow_, *this);
  }
  chartWindow_->show();
  chartWindow_->raise();
  chartWindow_->activateWindow();
}

void TTrip_Stat_Form::Statistic_Print_Speed_Button_Click() {
  StatisticHost* host = Host();
  if (!host) return;
  host->PrintOnStatisticPrinter(
      this, [this](QPrinter& printer) { return PrintReport(printer); },
      QStringLiteral("Не удалось напечатать статистику по маршрутам.\n"
                     "Проверьте принтер и повторите печать."));
}

bool TTrip_Stat_Form::PrintReport(QPrinter& printer) const {
  const stats::ReportValues values = ReportValues();
  QPainter painter;
  if (!painter.begin(&printer)) return false;
  // Ink on paper: a dark desktop theme's text colour would print nearly white.
  painter.setPen(Qt::black);
  painter.setBrush(Qt::NoBrush);
  PainterCanvas canvas(painter);
  // A page smaller than the report (A5, A6, a short Letter area) gets all of
  // it, scaled down; on A4 it fits and stays as laid out.
  const stats::CanvasRect extent = stats::ReportBounds(canvas, values);
  const double scale = std::min({1.0, printer.width() / static_cast<double>(std::max(extent.right, 1)),
                                 printer.height() / static_cast<double>(std::max(extent.bottom, 1))});
  if (scale < 1.0) painter.scale(scale, scale);
  stats::DrawReport(canvas, values);
  const bool ended = painter.end();
  return ended && printer.printerState() != QPrinter::Error && printer.printerState() != QPrinter::Aborted;
}

PainterCanvas::PainterCanvas(QPainter& painter) : painter_(painter) {}

stats::CanvasRect PainterCanvas::ClipRect() const {
  // The painter's origin is the printable area's top-left corner.
  const QPaintDevice* device = painter_.device();
  return {0, 0, device->width(), device->height()};
}

stats::TextSize PainterCanvas::Measure(std::string_view text) const {
  const QFontMetrics metrics(painter_.font(), painter_.device());
  return {metrics.horizontalAdvance(FromUtf8(text)), metrics.height()};
}

void PainterCanvas::Text(int x, int y, std::string_view text) {
  const QFontMetrics metrics(painter_.font(), painter_.device());
  painter_.drawText(x, y + metrics.ascent(), FromUtf8(text));
}

void PainterCanvas::Frame(const stats::CanvasRect& r) {
  // Like a GDI rectangle: the right and bottom coordinates lie just outside the outline.
  painter_.drawRect(QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1)));
}

}  // namespace riventar::ui
