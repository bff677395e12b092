// The whole program:
//  - start-up to the first shown main window, timed from outside: from
//    spawning the real `riventar` on the X display named by DISPLAY to the
//    server's MapNotify of a top-level window titled "Ривентар"; and the
//    program's peak memory by then (it is stopped right after);
//  - showing 100,000 trips in the table (offscreen, in this process).
//   bench_app [start-up runs, default 10]
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <QApplication>
#include <QTableView>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "bench/timing.h"
#include "tests/support/main_form_access.h"
#include "ui/app/Main_form.h"
#include "ui/common/dialogs.h"

// Last: Xlib's macros (None, Status, Bool) clash with Qt's headers.
#include <X11/Xlib.h>

extern char** environ;

namespace {

using namespace riventar;
using namespace riventar::bench;

// A window may vanish between its MapNotify and the title query.
int IgnoreXErrors(Display*, XErrorEvent*) { return 0; }

bool TitleIs(Display* display, Window window, const std::string& title) {
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  const int status =
      XGetWindowProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False), 0, 256, False,
                         XInternAtom(display, "UTF8_STRING", False), &type, &format, &count, &after, &data);
  if (status != Success || !data) return false;
  const bool same = std::string(reinterpret_cast<const char*>(data), count) == title;
  XFree(data);
  return same;
}

struct StartUp {
  double ms = 0;
  double peakMb = 0;
};

// One start of the program on the display; nothing if its window did not appear within 20 s.
std::optional<StartUp> TimeOneStart(Display* display, const std::vector<char*>& env) {
  while (XPending(display)) {  // what the previous copy left
    XEvent stale;
    XNextEvent(display, &stale);
  }
  char* argv[] = {const_cast<char*>(RIVENTAR_PROGRAM), nullptr};
  pid_t pid = 0;
  const Clock::time_point start = Clock::now();
  if (posix_spawn(&pid, RIVENTAR_PROGRAM, nullptr, nullptr, argv, env.data()) != 0) return std::nullopt;
  std::optional<StartUp> result;
  while (!result && Clock::now() - start < std::chrono::seconds(20)) {
    if (!XPending(display)) {
      pollfd fd{ConnectionNumber(display), POLLIN, 0};
      ::poll(&fd, 1, 100);
      continue;
    }
    XEvent event;
    XNextEvent(display, &event);
    if (event.type == MapNotify && TitleIs(display, event.xmap.window, "Ривентар"))
      result = StartUp{Ms(Clock::now() - start), 0};
  }
  ::kill(pid, SIGTERM);
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  if (result) result->peakMb = static_cast<double>(usage.ru_maxrss) / 1024.0;
  return result;
}

void BenchStartUp(int runs) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::printf("start-up: skipped, no X display (DISPLAY=%s)\n", std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "");
    return;
  }
  XSetErrorHandler(IgnoreXErrors);
  XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
  XSync(display, False);

  // The program's environment, on the X display whatever this process uses.
  std::vector<std::string> texts;
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, "QT_QPA_PLATFORM=", 16) != 0) texts.emplace_back(*e);
  texts.emplace_back("QT_QPA_PLATFORM=xcb");
  std::vector<char*> env;
  for (std::string& t : texts) env.push_back(t.data());
  env.push_back(nullptr);

  std::vector<double> ms, peak;
  for (int i = 0; i < runs; ++i) {
    const std::optional<StartUp> one = TimeOneStart(display, env);
    if (!one) {
      std::printf("start-up: the main window did not appear\n");
      break;
    }
    ms.push_back(one->ms);
    peak.push_back(one->peakMb);
  }
  XCloseDisplay(display);
  if (ms.empty()) return;
  std::printf("start-up to the shown main window: median %.1f ms, first %.1f ms, worst %.1f ms (%zu runs)\n",
              Median(ms), ms.front(), *std::max_element(ms.begin(), ms.end()), ms.size());
  std::printf("peak memory of the program at its shown main window: %.1f MB\n",
              *std::max_element(peak.begin(), peak.end()));
}

// No dialog is expected while the table is redrawn.
class NoDialogs final : public ui::Dialogs {
 public:
  ui::MsgAnswer Message(QWidget*, ui::MsgIcon, const QString& caption, const QString&, ui::MsgButtons,
                        ui::MsgAnswer) override {
    std::fprintf(stderr, "unexpected message %s\n", qPrintable(caption));
    std::abort();
  }
  std::optional<ui::FileChoice> OpenFile(QWidget*, const ui::FileDialogOptions&) override { return std::nullopt; }
  std::optional<ui::FileChoice> SaveFile(QWidget*, const ui::FileDialogOptions&) override { return std::nullopt; }
  bool Print(QWidget*, QPrinter&) override { return false; }
  void Beep() override {}
};

void BenchShow() {
  NoDialogs dialogs;
  ui::TMonitor_Form form(dialogs);
  form.show();
  QApplication::processEvents();
  // A commuter's two trips a day over 137 years of dates; every row distinct.
  trips::TripList many(100000);
  for (std::size_t i = 0; i < many.size(); ++i) {
    trips::TripRecord& r = many[i];
    r.Year = static_cast<std::uint8_t>(i / 730 % 100);
    r.Month = static_cast<std::uint8_t>(i / 61 % 12);
    r.Day = static_cast<std::uint8_t>(1 + i / 2 % 28);
    r.Weekday = static_cast<std::uint8_t>(i / 2 % 7);
    r.Hour = i % 2 ? 18 : 8;
    r.TripTime = 1500 + static_cast<std::uint32_t>(i % 900);
    r.MovingTime = r.TripTime - 300;
    r.Distance = 60000 + static_cast<std::uint32_t>(i % 7 * 6000);
    r.Fuel = r.Distance / 3;
    trips::Derive(r);
  }
  Ui(form).SetTrips(std::move(many));

  std::vector<double> ms;
  for (int run = 0; run < 9; ++run) {
    Ui(form).Trip_Params_StringGrid->scrollToTop();
    const Clock::time_point start = Clock::now();
    Ui(form).ReDraw_StringGrid();
    Ui(form).Trip_Params_StringGrid->scrollToBottom();
    Ui(form).Trip_Params_StringGrid->repaint();
    QApplication::processEvents();
    ms.push_back(Ms(Clock::now() - start));
  }
  std::printf("show 100,000 trips in the table (redraw, scroll to the end, paint): median %.2f ms\n", Median(ms));
  Ui(form).SetTrips({});
  Ui(form).ReDraw_StringGrid();
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
  BenchStartUp(runs);
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  BenchShow();
  return 0;
}
