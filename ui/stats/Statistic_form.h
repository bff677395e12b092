#pragma once
// A statistics window: the figures of one period as they were when it was
// made, never refreshed. Top-level and modeless; the main window lists it in
// StatWindowList while it is open and destroys those still open at shutdown.
// Its chart window is its child: closed and destroyed with it.
#include <QPointer>
#include <QWidget>

#include "core/stats/buckets.h"
#include "core/stats/figures.h"
#include "core/stats/report.h"

class QFrame;
class QLabel;
class QPainter;
class QPrinter;
class QToolButton;

namespace riventar::ui {

class StatisticHost;
class TTrip_Chart_Form;

class TTrip_Stat_Form : public QWidget {
  Q_OBJECT

 public:
  // Created hidden. `host` supplies the vehicle texts and the dialogs at
  // print time and is told when this window closes; it is a QObject, and
  // once it is gone this window asks it nothing.
  explicit TTrip_Stat_Form(StatisticHost& host);
  ~TTrip_Stat_Form() override;

  // Writes the value labels.
  void ShowFigures(const QString& period, const stats::FigureTexts& figures);
  // The buckets the chart button draws, taken when the figures were.
  void SetChart(stats::Chart chart) { chart_ = std::move(chart); }
  // The open chart window, if any.
  TTrip_Chart_Form* ChartWindow() const;

  // Tests and tools reach the window's handlers through this
  // (tests/support/stats_form_access.h).
  class TestAccess;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // The thirteen printed values: this window's labels and the host's vehicle texts as they stand now.
  stats::ReportValues ReportValues() const;

  void Statistic_Form_Close();
  void Statistic_Close_Speed_Button_Click();
  void Statistic_Print_Speed_Button_Click();
  // Opens the chart, centred over this window, or raises the one already open.
  void Statistic_Chart_Speed_Button_Click();
  // One page on a printer already set up; false when the printing layer failed.
  // The document is ended in every case, so the next print can begin.
  bool PrintReport(QPrinter& printer) const;

  void BuildControls();

  StatisticHost* Host() const;  // null once the host is gone

  StatisticHost& host_;
  QPointer<QObject> hostLife_;
  stats::Chart chart_;
  QPointer<TTrip_Chart_Form> chartWindow_;

  // Each control's object name is its member name: tests and tools find it so.
  QFrame* Statistic_Period_Panel = nullptr;
  QLabel* Statistic_Period_Caption_Label = nullptr;
  QLabel* Statistic_Period_Label = nullptr;
  QFrame* Statistic_Days_Panel = nullptr;
  QLabel* Statistic_Days_Caption_Label = nullptr;
  QLabel* Statistic_Days_Label = nullptr;
  QLabel* Statistic_Trip_Days_Caption_Label = nullptr;
  QLabel* Statistic_Trip_Days_Label = nullptr;
  QFrame* Statistic_Trips_Count_Panel = nullptr;
  QLabel* Statistic_Trips_Count_Caption_Label = nullptr;
  QLabel* Statistic_Trips_Count_Label = nullptr;
  QFrame* Statistic_Trips_Time_Panel = nullptr;
  QLabel* Statistic_Total_Time_Caption_Label = nullptr;
  QLabel* Statistic_Total_Time_Label = nullptr;
  QLabel* Statistic_Time_In_Go_Caption_Label = nullptr;
  QLabel* Statistic_Time_In_Go_Label = nullptr;
  QFrame* Statistic_Way_Panel = nullptr;
  QLabel* Statistic_Total_Way_Caption_Label = nullptr;
  QLabel* Statistic_Total_Way_Label = nullptr;
  QFrame* Statistic_Speed_Panel = nullptr;
  QLabel* Statistic_Aver_Speed_Caption_Label = nullptr;
  QLabel* Statistic_Aver_Speed_Label = nullptr;
  QFrame* Statistic_Total_Fuel_Panel = nullptr;
  QLabel* Statistic_Total_Fuel_Caption_Label = nullptr;
  QLabel* Statistic_Total_Fuel_Label = nullptr;
  QFrame* Statistic_Aver_Fuel_Panel = nullptr;
  QLabel* Statistic_Aver_Fuel_Caption_Label = nullptr;
  QLabel* Statistic_Aver_Fuel_Label = nullptr;
  QToolButton* Statistic_Close_Speed_Button = nullptr;
  QToolButton* Statistic_Print_Speed_Button = nullptr;
  QToolButton* Statistic_Chart_Speed_Button = nullptr;
};

// The report's canvas on a painter that is already active on its device.
class PainterCanvas final : public stats::ReportCanvas {
 public:
  explicit PainterCanvas(QPainter& painter);
  stats::CanvasRect ClipRect() const override;
  stats::TextSize Measure(std::string_view text) const override;
  void Text(int x, int y, std::string_view text) override;
  void Frame(const stats::CanvasRect& r) override;

 private:
  QPainter& painter_;
};

}  // namespace riventar::ui
