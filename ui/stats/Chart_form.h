#pragma once
// The chart of one statistics window's period: distance and fuel bars per
// bucket on their own axes and the consumption line, made once from the
// buckets the statistics window holds. A child window of that statistics
// window: it closes with it and is destroyed with it.
#include <QList>
#include <QPointer>
#include <QWidget>

#include "core/stats/buckets.h"

class QBarSet;
class QChart;
class QChartView;
class QLineSeries;
class QPrinter;
class QToolButton;

namespace riventar::ui {

class StatisticHost;

class TTrip_Chart_Form : public QWidget {
  Q_OBJECT

 public:
  // Created hidden, a child of its statistics window. `host` supplies the
  // dialogs and the shared printer; it is a QObject, and once it is gone
  // this window asks it nothing.
  TTrip_Chart_Form(stats::Chart chart, StatisticHost& host, QWidget* parent);

  // Tests and tools reach the chart's series through this
  // (tests/support/stats_form_access.h).
  class TestAccess;

 protected:
  void changeEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  // The chart view's viewport: the pointer's place, the points under it, and Qt's tooltip request.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Chart_Save_Button_Click();
  void Chart_Print_Button_Click();
  // PNG or SVG bytes of the chart as shown.
  QByteArray Image(bool svg);
  // One page, black on white; false when the printing layer failed.
  bool PrintChart(QPrinter& printer);

  void BuildChart();
  // The bucket of the consumption point under `viewportPosition`, or -1.
  int PointAt(QPointF viewportPosition) const;
  // The hover text of the bucket under the pointer (a point before a bar), or none.
  void ShowHover();

  stats::Chart chart_;
  StatisticHost* Host() const;  // null once the host is gone
  StatisticHost& host_;
  QPointer<QObject> hostLife_;
  QChart* qchart_ = nullptr;
  int barHover_ = -1;    // bucket of the bar under the pointer
  int pointHover_ = -1;  // bucket of the consumption point under the pointer
  bool hoverShown_ = false;
  QPoint pointer_;  // global, the last place the pointer moved to over the chart

  // Each control's object name is its member name: tests and tools find it so.
  QChartView* Chart_View = nullptr;
  QToolButton* Chart_Save_Button = nullptr;
  QToolButton* Chart_Print_Button = nullptr;
  QToolButton* Chart_Close_Button = nullptr;

  QBarSet* DistanceSet = nullptr;  // km per bucket
  QBarSet* FuelSet = nullptr;      // l per bucket
  // One line per run of buckets with a consumption; x is the bucket's index.
  QList<QLineSeries*> ConsumptionLines;
};

}  // namespace riventar::ui
