// The period menu and the statistics windows it opens.
#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QTableView>
#include <algorithm>
#include <memory>
#include <optional>

#include "core/stats/buckets.h"
#include "core/stats/figures.h"
#include "core/trips/trip_text.h"
#include "ui/app/Main_form.h"
#include "ui/common/dialogs.h"
#include "ui/stats/Statistic_form.h"

namespace riventar::ui {

namespace {

// The trip shown in the grid's selected row; the first row while nothing is
// selected yet, nothing when the table does not show that many trips.
std::optional<std::size_t> AnchorRow(const QTableView& grid, const trips::TripList& trips) {
  const int row = std::max(grid.currentIndex().row(), 0);
  if (static_cast<std::size_t>(row) >= trips.size()) return std::nullopt;
  return static_cast<std::size_t>(row);
}

}  // namespace

void TMonitor_Form::Trip_Params_StringGridMouseDown(Qt::MouseButton button, QPoint gridPosition) {
  const trips::TripList& trips = document_.Trips();
  if (button != Qt::RightButton || trips.empty()) return;
  const std::optional<std::size_t> anchor = AnchorRow(*Trip_Params_StringGrid, trips);
  if (!anchor) return;
  const stats::MenuCaptions captions = stats::PopupCaptions(trips[*anchor]);
  const auto item = [this](stats::PeriodKind kind) { return PopupItems[static_cast<int>(kind)]; };
  item(stats::PeriodKind::Day)->setText(QString::fromStdString(captions.day));
  item(stats::PeriodKind::Month)->setText(QString::fromStdString(captions.month));
  item(stats::PeriodKind::Year)->setText(QString::fromStdString(captions.year));
  // Only the window's outer position is added to the pointer's grid position.
  PopupMenu->popup(frameGeometry().topLeft() + gridPosition);
}

void TMonitor_Form::Popup_Menu_Click(int tag) {
  const trips::TripList& trips = document_.Trips();
  if (tag < 0 || tag >= stats::PeriodKinds || trips.empty()) return;
  const std::optional<std::size_t> anchor = AnchorRow(*Trip_Params_StringGrid, trips);
  if (!anchor) return;
  stats::Statistics statistics;
  stats::Chart chart;
  try {
    // Every date is checked before a window exists.
    const auto kind = static_cast<stats::PeriodKind>(tag);
    statistics = stats::ForChoice(trips, *anchor, kind);
    chart = stats::ChartFor(trips, statistics.period, kind);
  } catch (const stats::InvalidTripDate& e) {
    dialogs_.Error(this, QStringLiteral("Статистика по маршрутам"),
                   QStringLiteral("Маршрут N %1 (%2) имеет недопустимую дату.\nСтатистика не может быть подсчитана.")
                       .arg(e.Index() + 1)
                       .arg(QString::fromStdString(trips::DateText(trips[e.Index()]))));
    return;
  }
  auto window = std::make_unique<TTrip_Stat_Form>(*this);
  window->ShowFigures(QString::fromStdString(statistics.period.caption), stats::Texts(statistics.figures));
  window->SetChart(std::move(chart));
  statWindows_.append(window.get());
  window.release()->show();  // the list owns it until it closes
}

void TMonitor_Form::StatisticWindowClosed(TTrip_Stat_Form* window) { statWindows_.removeOne(window); }

void TMonitor_Form::CloseStatisticWindows() {
  while (!statWindows_.isEmpty()) {
    TTrip_Stat_Form* window = statWindows_.constFirst();
    window->close();  // leaves the list
    statWindows_.removeOne(window);
    delete window;
  }
}

}  // namespace riventar::ui
