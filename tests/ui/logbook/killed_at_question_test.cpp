// The real program, killed while the counter question is open after a real
// reading from the simulated device: the logbook file still holds every trip
// of that reading. The program runs on a private X server; the test clicks
// its buttons with events sent to its window.
#include <gtest/gtest.h>
#include <signal.h>

#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "adapters/desktop/window_lookup.h"
#include "core/trips/trip_record.h"
#include "sim/simulator.h"
#include "sim/trip_store.h"
#include "tests/support/private_x_server.h"
#include "tests/ui/logbook/open_store.h"

// Last: its macros (None, Status, Bool) clash with the headers above.
#include <X11/Xlib.h>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Windows come and go while the test looks at them (the progress window): a
// BadWindow must not end the test through Xlib's default handler, leaving the
// program and the X server behind.
int IgnoreXErrors(Display*, XErrorEvent*) { return 0; }

// The top-level window titled `title` (no window manager runs: the root's children).
Window FindWindow(Display* display, const std::string& title) {
  Window root = 0, parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  Window found = 0;
  if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) return 0;
  for (unsigned int i = 0; i < count && !found; ++i)
    if (riventar::testing::NetWmName(children[i]) == title) found = children[i];
  if (children) XFree(children);
  return found;
}

// A left click at a point of the window's client area.
void Click(Display* display, Window window, int x, int y) {
  for (const int type : {ButtonPress, ButtonRelease}) {
    XEvent event{};
    event.xbutton.type = type;
    event.xbutton.display = display;
    event.xbutton.window = window;
    event.xbutton.root = DefaultRootWindow(display);
    event.xbutton.x = x;
    event.xbutton.y = y;
    event.xbutton.button = Button1;
    event.xbutton.state = type == ButtonRelease ? Button1Mask : 0;
    event.xbutton.same_screen = True;
    XSendEvent(display, window, True, type == ButtonPress ? ButtonPressMask : ButtonReleaseMask, &event);
  }
  XFlush(display);
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(Logbook, KilledAtTheCounterQuestionKeepsTheReading) {
  riventar::testing::PrivateXServer x;
  if (x.Missing()) GTEST_SKIP() << "Xvfb is not installed";
  ASSERT_FALSE(x.Display().empty()) << x.Failure();
  XSetErrorHandler(IgnoreXErrors);
  qputenv("DISPLAY", QByteArray::fromStdString(x.Display()));
  riventar::sim::Simulator sim;
  sim.SetTrips(riventar::sim::RealisticTrips(7));
  QTemporaryDir home;
  const QString logbook = home.filePath(QStringLiteral("logbook.sqlite"));
  // The device's first trip already filed under its car: the logbook knows
  // the device, so no question which car comes before the counter question.
  {
    const std::optional<riventar::trips::TripRecord> first =
        riventar::trips::TripFromReply("!TR00" + riventar::sim::EncodeTrip(sim.Trips().front()) + "\r");
    ASSERT_TRUE(first);
    riventar::testing::OpenStore(logbook)->Record(
        {riventar::logbook::Origin::File, "/car.dat", "2024-03-01 10:00:00", {"ВАЗ-2110", "А123ВС 77", ""}, {*first}});
  }

  QProcess program;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
  env.insert(QStringLiteral("QT_XCB_NO_XI2"), QStringLiteral("1"));  // core pointer events, which the test sends
  env.insert(QStringLiteral("DISPLAY"), QString::fromStdString(x.Display()));
  env.insert(QStringLiteral("RIVENTAR_COM1"), QString::fromStdString(sim.SlavePath()));
  env.insert(QStringLiteral("RIVENTAR_LOGBOOK"), logbook);
  for (const char* folder : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_RUNTIME_DIR"})
    env.insert(QString::fromLatin1(folder), home.filePath(QString::fromLatin1(folder)));
  program.setProcessEnvironment(env);
  program.setProcessChannelMode(QProcess::ForwardedChannels);
  program.start(QStringLiteral(RIVENTAR_BINARY), {});
  ASSERT_TRUE(program.waitForStarted());

  Display* display = XOpenDisplay(x.Display().c_str());
  ASSERT_TRUE(display);
  Window mainWindow = 0;
  for (const auto deadline = Clock::now() + 60s; !mainWindow && Clock::now() < deadline;
       std::this_thread::sleep_for(50ms))
    mainWindow = FindWindow(display, "Ривентар");
  ASSERT_TRUE(mainWindow) << "the main window never showed\nXvfb said:\n" << x.Log();
  std::this_thread::sleep_for(500ms);  // mapped and painted

  // "Подключиться" (panel 600,8 + button 8,48, 89 x 25), then "Из БК" (panel 8,40 + 16,232, 81 x 25),
  // again until the device is asked: a click before the link is up finds the button disabled.
  Click(display, mainWindow, 600 + 8 + 44, 8 + 48 + 12);
  ASSERT_TRUE(sim.WaitForCommands(1, 10s));
  for (const auto deadline = Clock::now() + 20s; !Contains(sim.Commands(), "$TN") && Clock::now() < deadline;) {
    Click(display, mainWindow, 8 + 16 + 40, 40 + 232 + 12);
    for (const auto wait = Clock::now() + 1s; !Contains(sim.Commands(), "$TN") && Clock::now() < wait;)
      std::this_thread::sleep_for(20ms);
  }
  ASSERT_TRUE(Contains(sim.Commands(), "$TN")) << "the reading never started";

  Window question = 0;
  for (const auto deadline = Clock::now() + 30s; !question && Clock::now() < deadline;
       std::this_thread::sleep_for(20ms))
    question = FindWindow(display, "Считывание маршрутов");
  XCloseDisplay(display);
  ASSERT_TRUE(question) << "the counter question never showed";
  ASSERT_EQ(::kill(static_cast<pid_t>(program.processId()), SIGKILL), 0);
  ASSERT_TRUE(program.waitForFinished(10000));
  EXPECT_EQ(program.exitStatus(), QProcess::CrashExit);
  EXPECT_FALSE(Contains(sim.Commands(), "$TC")) << "the counter was not reset";

  const auto store = riventar::testing::OpenStore(logbook);
  EXPECT_EQ(store->Trips({}).size(), 7u);
  EXPECT_EQ(store->DeviceMemory(sim.SlavePath()).size(), 7u);
}

}  // namespace
