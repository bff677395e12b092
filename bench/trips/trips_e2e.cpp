// End to end through the real main window (offscreen): load and show, save
// and export 100,000 trips; medians of several runs and the peak memory.
#include <sys/resource.h>

#include <QApplication>
#include <QDir>
#include <QTableView>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "base/files/file_io.h"
#include "core/trips/dat_file.h"
#include "tests/support/main_form_access.h"
#include "ui/app/Main_form.h"
#include "ui/common/dialogs.h"

namespace {

using namespace riventar;

class AutoDialogs final : public ui::Dialogs {
 public:
  QString path;
  int filterIndex = 0;
  ui::MsgAnswer Message(QWidget*, ui::MsgIcon, const QString&, const QString&, ui::MsgButtons, ui::MsgAnswer) override {
    return ui::MsgAnswer::No;
  }
  std::optional<ui::FileChoice> OpenFile(QWidget*, const ui::FileDialogOptions&) override {
    return ui::FileChoice{path, 0};
  }
  std::optional<ui::FileChoice> SaveFile(QWidget*, const ui::FileDialogOptions&) override {
    return ui::FileChoice{path, filterIndex};
  }
  bool Print(QWidget*, QPrinter&) override { return false; }
  void Beep() override {}
};

trips::TripList History(std::size_t n) {
  trips::TripList list(n);
  for (std::size_t i = 0; i < n; ++i) {
    trips::TripRecord& r = list[i];
    r.Year = static_cast<std::uint8_t>(5 + i / 4000);
    r.Month = static_cast<std::uint8_t>(i / 330 % 12);
    r.Weekday = static_cast<std::uint8_t>(i % 7);
    r.Day = static_cast<std::uint8_t>(1 + i % 28);
    r.TripTime = 600 + static_cast<std::uint32_t>(i % 5000);
    r.MovingTime = 500 + static_cast<std::uint32_t>(i % 4000);
    r.Distance = 6000 + static_cast<std::uint32_t>(i * 37 % 300000);
    r.Fuel = 1600 + static_cast<std::uint32_t>(i * 11 % 80000);
    trips::Derive(r);
  }
  return list;
}

template <typename F>
double MedianMs(int runs, F f) {
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    f();
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  constexpr std::size_t Trips = 100000;
  QTemporaryDir dir;
  const QString data = dir.filePath(QStringLiteral("history.dat"));
  files::ReplaceFileAtomically(data.toStdString(),
                               trips::SerializeDatFile({"ВАЗ-2110", "А123ВС", "Иванов"}, History(Trips)));

  AutoDialogs dialogs;
  ui::TMonitor_Form form(dialogs);
  form.show();
  QApplication::processEvents();

  dialogs.path = data;
  const double load = MedianMs(7, [&] {
    Ui(form).Read_Trip_From_File_Button_Click();
    Ui(form).Trip_Params_StringGrid->scrollToBottom();
    form.repaint();
    QApplication::processEvents();
  });
  if (Ui(form).Trips().size() != Trips) {
    std::fprintf(stderr, "loaded %zu trips\n", Ui(form).Trips().size());
    return 1;
  }
  dialogs.path = dir.filePath(QStringLiteral("saved.dat"));
  const double save = MedianMs(7, [&] { Ui(form).Save_Trip_To_File_Button_Click(); });
  dialogs.path = dir.filePath(QStringLiteral("table.csv"));
  dialogs.filterIndex = 1;
  const double exportMs = MedianMs(7, [&] { Ui(form).Save_Trip_To_File_Button_Click(); });

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("%-44s %10s\n", "what (100,000 trips)", "median");
  std::printf("%-44s %7.1f ms\n", "load a .dat file and show the table", load);
  std::printf("%-44s %7.1f ms\n", "save to a .dat file", save);
  std::printf("%-44s %7.1f ms\n", "export to a .csv file", exportMs);
  std::printf("%-44s %7.1f MB\n", "peak memory (resident)", static_cast<double>(usage.ru_maxrss) / 1024.0);
  Ui(form).SetUnsaved(false);
  return 0;
}
