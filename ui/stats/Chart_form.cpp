#include "ui/stats/Chart_form.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QGraphicsLayout>
#include <QImage>
#include <QLegendMarker>
#include <QLineF>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPainter>
#include <QPrinter>
#include <QShortcut>
#include <QStyle>
#include <QSvgGenerator>
#include <QToolButton>
#include <QToolTip>
#include <QValueAxis>
#include <algorithm>
#include <cstring>
#include <utility>

#include "base/files/file_io.h"
#include "ui/common/dialogs.h"
#include "ui/common/handler_guard.h"
#include "ui/common/ui_style.h"
#include "ui/stats/statistic_host.h"

namespace riventar::ui {

namespace {

// The colours of every part of the chart.
struct Ink {
  QColor background;
  QColor text;
  QColor grid;
  QColor distance;
  QColor fuel;
  QColor consumption;
  QColor barEdge;
};

QColor Blend(const QColor& a, const QColor& b, double share) {
  return QColor::fromRgbF(static_cast<float>(a.redF() * (1 - share) + b.redF() * share),
                          static_cast<float>(a.greenF() * (1 - share) + b.greenF() * share),
                          static_cast<float>(a.blueF() * (1 - share) + b.blueF() * share));
}

// From the desktop palette, so a dark theme gets a dark chart: the selection
// colour for distance, its opposite hue for fuel, the text colour for the line.
Ink ScreenInk(const QPalette& palette) {
  const QColor base = palette.color(QPalette::Base);
  const QColor text = palette.color(QPalette::Text);
  const QColor highlight = palette.color(QPalette::Highlight);
  const int hue = highlight.hslHue() < 0 ? 210 : highlight.hslHue();
  const int saturation = std::max(highlight.hslSaturation(), 140);
  const int lightness = std::clamp(highlight.lightness(), 90, 170);
  return {base,
          text,
          Blend(base, text, 0.2),
          QColor::fromHsl(hue, saturation, lightness),
          QColor::fromHsl((hue + 180) % 360, saturation, lightness),
          text,
          Blend(base, text, 0.5)};
}

// Paper: black ink on white, bars told apart by their grey.
Ink PaperInk() {
  return {Qt::white, Qt::black, QColor(200, 200, 200), QColor(90, 90, 90), QColor(200, 200, 200), Qt::black, Qt::black};
}

QValueAxis* ValueAxis(QChart& chart, const QString& title, Qt::Alignment side) {
  auto* axis = new QValueAxis(&chart);
  axis->setTitleText(title);
  axis->setLabelFormat(QStringLiteral("%.0f"));
  chart.addAxis(axis, side);
  return axis;
}

// One set per series: series on one chart share each category side by side,
// so distance and fuel stand together while each follows its own axis.
QBarSet* BarSeries(QChart& chart, const QString& name, const QList<qreal>& values, QAbstractAxis* x, QAbstractAxis* y) {
  auto* series = new QBarSeries(&chart);
  auto* set = new QBarSet(name);
  set->append(values);
  series->append(set);
  series->setBarWidth(0.8);
  chart.addSeries(series);
  series->attachAxis(x);
  series->attachAxis(y);
  return set;
}

void Paint(QChart& chart, QBarSet& distance, QBarSet& fuel, const QList<QLineSeries*>& lines, const Ink& ink) {
  chart.setBackgroundBrush(ink.background);
  chart.setBackgroundPen(Qt::NoPen);
  chart.setTitleBrush(ink.text);
  chart.legend()->setLabelColor(ink.text);
  for (QAbstractAxis* axis : chart.axes()) {
    axis->setLabelsColor(ink.text);
    axis->setTitleBrush(ink.text);
    axis->setLinePenColor(ink.text);
    axis->setGridLineColor(ink.grid);
  }
  distance.setColor(ink.distance);
  distance.setBorderColor(ink.barEdge);
  fuel.setColor(ink.fuel);
  fuel.setBorderColor(ink.barEdge);
  for (QLineSeries* line : lines) {
    QPen pen(ink.consumption, 2);
    line->setPen(pen);
    line->setColor(ink.consumption);
  }
}

}  // namespace

StatisticHost* TTrip_Chart_Form::Host() const { return hostLife_ ? &host_ : nullptr; }

TTrip_Chart_Form::TTrip_Chart_Form(stats::Chart chart, StatisticHost& host, QWidget* parent)
    : QWidget(parent), chart_(std::move(chart)), host_(host), hostLife_(dynamic_cast<QObject*>(&host)) {
  setObjectName(QStringLiteral("Trip_Chart_Form"));
  setWindowTitle(QStringLiteral("Статистика по маршрутам - график"));
  setFont(style::FormFont());
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                 Qt::WindowCloseButtonHint);
  resize(720, 470);
  setMinimumSize(480, 320);
  BuildChart();
}

void TTrip_Chart_Form::BuildChart() {
  qchart_ = new QChart();
  qchart_->setTitle(QString::fromStdString(chart_.caption));
  qchart_->setAnimationOptions(QChart::NoAnimation);
  qchart_->legend()->setAlignment(Qt::AlignBottom);
  qchart_->setBackgroundRoundness(0);
  qchart_->layout()->setContentsMargins(0, 0, 0, 0);

  auto* x = new QBarCategoryAxis(qchart_);
  x->setTitleText(QString::fromStdString(stats::BucketAxisTitle(chart_.size)));
  QList<qreal> km;
  QList<qreal> litres;
  for (std::size_t i = 0; i < chart_.buckets.size(); ++i) {
    x->append(QString::fromStdString(stats::BucketLabel(chart_, i)));
    km.append(stats::Kilometres(chart_.buckets[i]));
    litres.append(stats::Litres(chart_.buckets[i]));
  }
  qchart_->addAxis(x, Qt::AlignBottom);
  QValueAxis* kmAxis = ValueAxis(*qchart_, QStringLiteral("Путь, км"), Qt::AlignLeft);
  QValueAxis* fuelAxis = ValueAxis(*qchart_, QStringLiteral("Топливо, л"), Qt::AlignRight);
  QValueAxis* rateAxis = ValueAxis(*qchart_, QStringLiteral("Расход, л/100 км"), Qt::AlignRight);
  rateAxis->setGridLineVisible(false);
  fuelAxis->setGridLineVisible(false);
  DistanceSet = BarSeries(*qchart_, QStringLiteral("Путь, км"), km, x, kmAxis);
  FuelSet = BarSeries(*qchart_, QStringLiteral("Топливо, л"), litres, x, fuelAxis);

  // Buckets without a consumption break the line instead of dropping it to zero.
  double highest = 0;
  QLineSeries* run = nullptr;
  for (std::size_t i = 0; i < chart_.buckets.size(); ++i) {
    const std::optional<double> rate = stats::Consumption(chart_.buckets[i]);
    if (!rate) {
      run = nullptr;
      continue;
    }
    if (!run) {
      run = new QLineSeries(qchart_);
      run->setName(QStringLiteral("Расход, л/100 км"));
      run->setPointsVisible(true);
      qchart_->addSeries(run);
      run->attachAxis(x);
      run->attachAxis(rateAxis);
      if (!ConsumptionLines.isEmpty()) qchart_->legend()->markers(run).constFirst()->setVisible(false);
      ConsumptionLines.append(run);
    }
    run->append(static_cast<qreal>(i), *rate);
    highest = std::max(highest, *rate);
  }
  for (QValueAxis* axis : {kmAxis, fuelAxis}) {
    if (axis->max() <= 0) axis->setMax(1);
    axis->setMin(0);
    axis->applyNiceNumbers();
  }
  rateAxis->setRange(0, std::max(highest * 1.1, 1.0));
  rateAxis->applyNiceNumbers();
  for (QBarSet* set : {DistanceSet, FuelSet})
    connect(set, &QBarSet::hovered, this, [this](bool state, int index) {
      if (state)
        barHover_ = index;
      else if (barHover_ == index)
        barHover_ = -1;
      ShowHover();
    });

  Paint(*qchart_, *DistanceSet, *FuelSet, ConsumptionLines, ScreenInk(palette()));

  Chart_View = new QChartView(qchart_, this);  // owns the chart
  Chart_View->setRenderHint(QPainter::Antialiasing);
  Chart_View->viewport()->installEventFilter(this);
  // Placed along the bottom edge by resizeEvent.
  const auto button = [this](int left, const QString& caption, const QIcon& icon, void (TTrip_Chart_Form::*handler)()) {
    QToolButton* b = style::FlatButton(this, {left, 0, 105, 25}, caption, icon);
    connect(b, &QToolButton::clicked, this, [this, handler] {
      if (StatisticHost* host = Host()) Guarded(host->UiDialogs(), [this, handler] { (this->*handler)(); });
    });
    return b;
  };
  Chart_Save_Button =
      button(16, QStringLiteral("Сохранить"),
             QIcon::fromTheme(QStringLiteral("document-save"), style()->standardIcon(QStyle::SP_DialogSaveButton)),
             &TTrip_Chart_Form::Chart_Save_Button_Click);
  Chart_Print_Button =
      button(144, QStringLiteral("Распечатать"),
             QIcon::fromTheme(QStringLiteral("document-print"), style()->standardIcon(QStyle::SP_FileIcon)),
             &TTrip_Chart_Form::Chart_Print_Button_Click);
  Chart_Close_Button = style::FlatButton(this, {272, 0, 105, 25}, QStringLiteral("Закрыть"),
                                         style()->standardIcon(QStyle::SP_DialogCloseButton));
  connect(Chart_Close_Button, &QToolButton::clicked, this, &QWidget::close);
  // Tests and tools find each control by its name.
  const std::pair<QObject*, const char*> named[] = {{Chart_View, "Chart_View"},
                                                    {Chart_Save_Button, "Chart_Save_Button"},
                                                    {Chart_Print_Button, "Chart_Print_Button"},
                                                    {Chart_Close_Button, "Chart_Close_Button"}};
  for (auto [control, name] : named) control->setObjectName(QLatin1String(name));
  connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &QWidget::close);
}

void TTrip_Chart_Form::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Chart_View->setGeometry(0, 0, width(), height() - 41);
  for (QToolButton* button : {Chart_Save_Button, Chart_Print_Button, Chart_Close_Button})
    button->move(button->x(), height() - 33);
}

void TTrip_Chart_Form::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::PaletteChange && qchart_)
    Paint(*qchart_, *DistanceSet, *FuelSet, ConsumptionLines, ScreenInk(palette()));
}

bool TTrip_Chart_Form::eventFilter(QObject* watched, QEvent* event) {
  if (watched != Chart_View->viewport()) return QWidget::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::MouseMove: {
      // Seen before the scene's hover handling, so a bar's hovered signal finds the pointer's place here.
      const auto* mouse = static_cast<QMouseEvent*>(event);
      pointer_ = mouse->globalPosition().toPoint();
      pointHover_ = PointAt(mouse->position());
      ShowHover();
      break;
    }
    case QEvent::Leave:
      pointHover_ = -1;
      ShowHover();
      break;
    case QEvent::ToolTip:
      // The scene answers this with its items' own tooltips, none here, which would hide ours.
      if (hoverShown_) {
        ShowHover();
        return true;
      }
      break;
    default:
      break;
  }
  return QWidget::eventFilter(watched, event);
}

int TTrip_Chart_Form::PointAt(QPointF viewportPosition) const {
  // A lone point has no line to hover: the points are hit here, a few pixels round their marks.
  constexpr qreal reach = 6;
  for (QLineSeries* line : ConsumptionLines)
    for (const QPointF& point : line->points()) {
      const QPointF at = Chart_View->mapFromScene(qchart_->mapToScene(qchart_->mapToPosition(point, line)));
      if (QLineF(at, viewportPosition).length() <= reach) return qRound(point.x());
    }
  return -1;
}

void TTrip_Chart_Form::ShowHover() {
  const int index = pointHover_ >= 0 ? pointHover_ : barHover_;
  if (index < 0 || static_cast<std::size_t>(index) >= chart_.buckets.size()) {
    if (hoverShown_) QToolTip::hideText();
    hoverShown_ = false;
    return;
  }
  const QString text = QString::fromStdString(stats::BucketHoverText(chart_, static_cast<std::size_t>(index)));
  // A tip hidden a moment ago lingers for Qt's fade-out delay, and the same text shown again within it does not
  // cancel the pending hide (moving from a bar to its neighbour of the same bucket): shown once for another
  // widget, the tip takes the text anew.
  if (!hoverShown_ && QToolTip::isVisible() && QToolTip::text() == text) QToolTip::showText(pointer_, text, Chart_View);
  hoverShown_ = true;
  QToolTip::showText(pointer_, text, Chart_View->viewport());
}

QByteArray TTrip_Chart_Form::Image(bool svg) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (svg) {
    QSvgGenerator generator;
    generator.setOutputDevice(&buffer);
    generator.setSize(Chart_View->size());
    generator.setViewBox(Chart_View->rect());
    generator.setTitle(windowTitle());
    QPainter painter(&generator);
    Chart_View->render(&painter);
  } else {
    Chart_View->grab().toImage().save(&buffer, "PNG");
  }
  return bytes;
}

void TTrip_Chart_Form::Chart_Save_Button_Click() {
  StatisticHost* host = Host();
  if (!host) return;
  Dialogs& dialogs = host->UiDialogs();
  FileDialogOptions options;
  options.initialDirectory = QDir::homePath();
  options.filters = {QStringLiteral("Рисунок PNG (*.png)"), QStringLiteral("Рисунок SVG (*.svg)")};
  options.defaultSuffix = QStringLiteral("png");
  const std::optional<FileChoice> choice = dialogs.SaveFile(this, options);
  if (!choice) return;
  // The type picked in the dialog decides the format, never the file's name.
  const QByteArray bytes = Image(choice->filterIndex == 1);
  const files::WriteResult written =
      files::ReplaceFileAtomically(QFile::encodeName(choice->path).toStdString(), bytes.toStdString());
  if (!written.ok())
    dialogs.Error(
        this, QStringLiteral("Ошибка записи файла"),
        QStringLiteral("Не возможно записать выбранный файл\n%1\n%2.")
            .arg(QDir::toNativeSeparators(choice->path), QString::fromLocal8Bit(std::strerror(written.error))));
}

void TTrip_Chart_Form::Chart_Print_Button_Click() {
  StatisticHost* host = Host();
  if (!host) return;
  // The statistics windows' printer: one choice in the print dialog for the whole run.
  host->PrintOnStatisticPrinter(
      this, [this](QPrinter& printer) { return PrintChart(printer); },
      QStringLiteral("Не удалось напечатать график.\nПроверьте принтер и повторите печать."));
}

bool TTrip_Chart_Form::PrintChart(QPrinter& printer) {
  QPainter painter;
  if (!painter.begin(&printer)) return false;
  Paint(*qchart_, *DistanceSet, *FuelSet, ConsumptionLines, PaperInk());
  // The chart as laid out on screen, scaled to the page's width or height, whichever is tighter.
  const QRect page = painter.viewport();
  QSize size = Chart_View->size();
  size.scale(page.size(), Qt::KeepAspectRatio);
  Chart_View->render(&painter, QRectF(QPointF(page.topLeft()), QSizeF(size)).toRect(), Chart_View->rect());
  Paint(*qchart_, *DistanceSet, *FuelSet, ConsumptionLines, ScreenInk(palette()));
  const bool ended = painter.end();
  return ended && printer.printerState() != QPrinter::Error && printer.printerState() != QPrinter::Aborted;
}

}  // namespace riventar::ui
