// Statistics for "Всего" over 100,000 held trips: the figures alone, and the
// whole menu choice up to the filled window (goal: median under 50 ms); the
// chart's buckets alone (goal: under 10 ms), and the chart button up to the
// painted chart window (goal: under 200 ms).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCoreApplication>
#include <QToolButton>
#include <chrono>
#include <cstdlib>

#include "core/stats/buckets.h"
#include "core/stats/figures.h"
#include "tests/support/main_form_access.h"
#include "tests/support/stats_form_access.h"
#include "ui/app/Main_form.h"
#include "ui/common/dialogs.h"
#include "ui/stats/Chart_form.h"
#include "ui/stats/Statistic_form.h"

namespace {

using namespace riventar;

// Ten trips a day from 1 January 2000, in chronological order.
trips::TripList HundredThousandTrips() {
  using namespace std::chrono;
  trips::TripList list;
  list.reserve(100000);
  sys_days day = sys_days{year{2000} / January / 1};
  for (int i = 0; i < 100000; ++i) {
    if (i % 10 == 0 && i != 0) day += days{1};
    const year_month_day d{day};
    trips::TripRecord r;
    r.Year = static_cast<std::uint8_t>(int{d.year()} - 2000);
    r.Month = static_cast<std::uint8_t>(unsigned{d.month()} - 1);
    r.Day = static_cast<std::uint8_t>(unsigned{d.day()});
    r.Weekday = static_cast<std::uint8_t>(weekday{day}.iso_encoding() - 1);
    r.TripTime = 1800 + static_cast<std::uint32_t>(i % 600);
    r.MovingTime = 1500;
    r.Distance = 90000 + static_cast<std::uint32_t>(i % 1000);
    r.Fuel = 16000;
    trips::Derive(r);
    list.push_back(r);
  }
  return list;
}

void BM_FiguresEverything(benchmark::State& state) {
  const trips::TripList list = HundredThousandTrips();
  for (auto _ : state) {
    const stats::Statistics s = stats::ForChoice(list, list.size() / 2, stats::PeriodKind::Everything);
    benchmark::DoNotOptimize(stats::Texts(s.figures));
  }
}
BENCHMARK(BM_FiguresEverything)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

void BM_BucketsEverything(benchmark::State& state) {
  const trips::TripList list = HundredThousandTrips();
  const stats::Period period = stats::SelectPeriod(list, 0, stats::PeriodKind::Everything);
  for (auto _ : state) benchmark::DoNotOptimize(stats::ChartFor(list, period, stats::PeriodKind::Everything));
}
BENCHMARK(BM_BucketsEverything)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

// Dialogs are never shown here.
class NoDialogs final : public ui::Dialogs {
 public:
  ui::MsgAnswer Message(QWidget*, ui::MsgIcon, const QString&, const QString&, ui::MsgButtons, ui::MsgAnswer) override {
    std::abort();
  }
  std::optional<ui::FileChoice> OpenFile(QWidget*, const ui::FileDialogOptions&) override { std::abort(); }
  std::optional<ui::FileChoice> SaveFile(QWidget*, const ui::FileDialogOptions&) override { std::abort(); }
  bool Print(QWidget*, QPrinter&) override { std::abort(); }
  void Beep() override {}
};

void BM_WindowEverything(benchmark::State& state) {
  NoDialogs dialogs;
  ui::TMonitor_Form form(dialogs);
  Ui(form).SetTrips(HundredThousandTrips());
  Ui(form).ReDraw_StringGrid();
  for (auto _ : state) {
    Ui(form).Popup_Menu_Click(static_cast<int>(stats::PeriodKind::Everything));
    state.PauseTiming();
    Ui(form).CloseStatisticWindows();
    state.ResumeTiming();
  }
  Ui(form).SetTrips({});
}
BENCHMARK(BM_WindowEverything)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

// From the click on "График" to the chart window shown, laid out and painted.
void BM_ChartEverything(benchmark::State& state) {
  NoDialogs dialogs;
  ui::TMonitor_Form form(dialogs);
  Ui(form).SetTrips(HundredThousandTrips());
  Ui(form).ReDraw_StringGrid();
  Ui(form).Popup_Menu_Click(static_cast<int>(stats::PeriodKind::Everything));
  ui::TTrip_Stat_Form& window = *Ui(form).StatWindows().constLast();
  for (auto _ : state) {
    Ui(window).Statistic_Chart_Speed_Button->click();
    QCoreApplication::processEvents();
    window.ChartWindow()->repaint();
    state.PauseTiming();
    window.ChartWindow()->close();  // deletes itself
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    state.ResumeTiming();
  }
  Ui(form).CloseStatisticWindows();
  Ui(form).SetTrips({});
}
BENCHMARK(BM_ChartEverything)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

}  // namespace
