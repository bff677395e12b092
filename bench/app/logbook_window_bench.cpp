// The logbook window over a large logbook: 100 vehicles of 10,000 trips each
// and one of 100,000 (1,100,000 trips), filled by a child run of this program
// so that the filling's memory does not count.
//  - "Журнал" click to the shown, painted logbook window (median of 5);
//  - "Показать в таблице" for the 100,000-trip vehicle to the painted table (median of 5);
//  - the process's peak memory with that logbook open, its window shown and the trips in the table.
//   bench_logbook_window [--fill FILE]
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "adapters/logbook/sqlite_store.h"
#include "bench/timing.h"
#include "tests/support/logbook_form_access.h"
#include "tests/support/main_form_access.h"
#include "ui/app/Main_form.h"
#include "ui/common/dialogs.h"
#include "ui/logbook/Logbook_form.h"

namespace {

using namespace riventar;
using namespace riventar::bench;

constexpr int Vehicles = 100;
constexpr int TripsPerVehicle = 10000;
constexpr int BigVehicleTrips = 100000;
const std::string BigPlate = "Б999ББ";

// Trip `i` of a vehicle whose trips spread over 30 years; `tag` keeps the vehicles' trips apart.
trips::TripRecord Trip(int i, int perYear, int tag) {
  const int perMonth = perYear / 12, perDay = std::max(perMonth / 28, 1);
  trips::TripRecord r;
  r.Year = static_cast<std::uint8_t>(i / perYear);
  r.Month = static_cast<std::uint8_t>(i / perMonth % 12);
  r.Day = static_cast<std::uint8_t>(1 + i / perDay % 28);
  r.Hour = static_cast<std::uint8_t>(6 + i % perDay);
  r.Minute = static_cast<std::uint8_t>(i % 60);
  r.TripTime = 1200 + static_cast<std::uint32_t>(i % 600);
  r.MovingTime = 900 + static_cast<std::uint32_t>(i % 300);
  r.Distance = 60000 + static_cast<std::uint32_t>(tag);
  r.Fuel = 16000 + static_cast<std::uint32_t>(i % 1000);
  trips::Derive(r);
  return r;
}

int Fill(const std::string& path) {
  auto store = logbook::OpenLogbook(path);
  const auto record = [&](const std::string& plate, int count, int perYear, int tag) {
    logbook::Recording recording{
        logbook::Origin::File, plate + ".dat", "2026-12-08 10:00:00", {"ВАЗ-2110", plate, "Иванов"}, {}};
    recording.trips.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) recording.trips.push_back(Trip(i, perYear, tag));
    store->Record(recording);
  };
  for (int v = 0; v < Vehicles; ++v) record("А" + std::to_string(100 + v) + "АА", TripsPerVehicle, 336, v);
  record(BigPlate, BigVehicleTrips, 3360, Vehicles);
  return 0;
}

long PeakKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  return 0;
}

class NoDialogs final : public ui::Dialogs {
 public:
  ui::MsgAnswer Message(QWidget*, ui::MsgIcon, const QString& caption, const QString& text, ui::MsgButtons,
                        ui::MsgAnswer) override {
    std::fprintf(stderr, "unexpected message: %s: %s\n", qPrintable(caption), qPrintable(text));
    return ui::MsgAnswer::No;
  }
  std::optional<ui::FileChoice> OpenFile(QWidget*, const ui::FileDialogOptions&) override { return std::nullopt; }
  std::optional<ui::FileChoice> SaveFile(QWidget*, const ui::FileDialogOptions&) override { return std::nullopt; }
  bool Print(QWidget*, QPrinter&) override { return false; }
  void Beep() override {}
};

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--fill") {
    QCoreApplication app(argc, argv);
    return Fill(argv[2]);
  }
  QApplication app(argc, argv);
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("logbook.sqlite"));
  const auto fillStart = Clock::now();
  if (QProcess::execute(QCoreApplication::applicationFilePath(), {QStringLiteral("--fill"), path}) != 0) {
    std::fprintf(stderr, "filling the logbook failed\n");
    return 1;
  }
  std::printf("filling 1,100,000 trips (101 recordings): %.1f s\n", Ms(Clock::now() - fillStart) / 1000);

  NoDialogs dialogs;
  ui::TMonitor_Form form(dialogs);
  form.UseLogbook(logbook::OpenLogbook(QFile::encodeName(path).toStdString()), path);
  form.show();
  QCoreApplication::processEvents();

  std::vector<double> open, show;
  for (int run = 0; run < 5; ++run) {
    const auto start = Clock::now();
    Ui(form).Logbook_Button->click();
    ui::TLogbook_Form* window = form.LogbookWindow();
    window->repaint();
    open.push_back(Ms(Clock::now() - start));

    const auto controls = Ui(*window);
    for (int i = 0; i < controls.Vehicles_List->topLevelItemCount(); ++i)
      if (controls.Vehicles_List->topLevelItem(i)->text(0) == QString::fromStdString(BigPlate))
        controls.Vehicles_List->setCurrentItem(controls.Vehicles_List->topLevelItem(i));
    const auto clicked = Clock::now();
    controls.Show_In_Table_Button->click();
    Ui(form).Trip_Params_StringGrid->viewport()->repaint();
    show.push_back(Ms(Clock::now() - clicked));
    if (Ui(form).Trips().size() != static_cast<std::size_t>(BigVehicleTrips)) {
      std::fprintf(stderr, "the table shows %zu trips\n", Ui(form).Trips().size());
      return 1;
    }
    if (run < 4) window->close();
    QCoreApplication::processEvents();
  }
  std::printf("open the logbook window (1,100,000 trips, 101 vehicles): median %.1f ms (worst %.1f ms)\n", Median(open),
              *std::max_element(open.begin(), open.end()));
  std::printf("show a vehicle's 100,000 trips in the table: median %.1f ms (worst %.1f ms)\n", Median(show),
              *std::max_element(show.begin(), show.end()));
  std::printf("peak memory with the logbook open, its window shown and 100,000 trips in the table: %.1f MB\n",
              static_cast<double>(PeakKb()) / 1024.0);
  Ui(form).SetUnsaved(false);
  return 0;
}
