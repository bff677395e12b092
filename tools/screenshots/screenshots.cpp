// Drives the real forms on an X display and saves a PNG of every window:
//   riventar_screenshots OUT-DIR
// It needs the xcb platform on a private X server and RIVENTAR_COM1 naming a
// simulated device that holds a few dozen trips and answers at 9600 baud, so
// that the reading lasts long enough to catch the progress window
// (scripts/screenshots.sh sets all this up). Exits non-zero when a window
// could not be captured or the program reported an error.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QWindow>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include "tests/support/config_form_access.h"
#include "tests/support/main_form_access.h"
#include "tests/support/stats_form_access.h"
#include "ui/app/Main_form.h"
#include "ui/common/dialogs.h"
#include "ui/config/Cfg_form.h"
#include "ui/stats/Chart_form.h"
#include "ui/stats/Statistic_form.h"

// Last: Xlib's macros (None, Status, Bool) clash with Qt's headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

using namespace riventar;
using namespace std::chrono_literals;

void Settle(int ms) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 10);
}

// Saves the pictures into one folder and counts what went wrong.
class Album {
 public:
  explicit Album(const QDir& folder) : folder_(folder) {}

  void Fail(const QString& what) {
    std::fprintf(stderr, "screenshots: %s\n", qPrintable(what));
    ++failures_;
  }
  int Failures() const { return failures_; }

  void Save(const QImage& picture, const QString& name) {
    const QString path = folder_.filePath(name + QStringLiteral(".png"));
    if (picture.isNull() || !picture.save(path)) return Fail(QStringLiteral("could not save ") + path);
    std::printf("%s  %dx%d%s\n", qPrintable(path), picture.width(), picture.height(),
                Blank(picture) ? "  BLANK: the window shows nothing (it was never painted)" : "");
  }

  // What the X server shows of `window`, raised, exposed and painted first so
  // that nothing covers it.
  void Save(QWidget& window, const QString& name) {
    window.raise();
    QElapsedTimer timer;
    timer.start();
    while (!(window.windowHandle() && window.windowHandle()->isExposed()) && timer.elapsed() < 3000) Settle(20);
    Settle(250);
    Save(window.screen()->grabWindow(window.winId()).toImage(), name);
  }

 private:
  static bool Blank(const QImage& picture) {
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < rgb.height(); ++y)
      for (int x = 0; x < rgb.width(); ++x)
        if (rgb.pixel(x, y) != rgb.pixel(0, 0)) return false;
    return true;
  }

  QDir folder_;
  int failures_ = 0;
};

// Runs `action` on the modal window once it is up and painted; the caller
// then opens that window with exec().
void WhenModalShown(Album& album, std::function<void(QWidget&)> action) {
  auto poll = std::make_shared<std::function<void(int)>>();
  *poll = [&album, action, poll](int triesLeft) {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal->isVisible() && modal->windowHandle() && modal->windowHandle()->isExposed()) {
      action(*modal);
    } else if (triesLeft > 0) {
      QTimer::singleShot(50, [poll, triesLeft] { (*poll)(triesLeft - 1); });
    } else {
      album.Fail(QStringLiteral("no modal window appeared"));
      if (modal) modal->close();
    }
  };
  QTimer::singleShot(50, [poll] { (*poll)(100); });
}

// The UI thread is busy for the whole reading, so the progress window is
// caught from another thread through a connection of its own: what the X
// server shows `delay` after the window was mapped.
class WindowCatcher {
 public:
  WindowCatcher(const QString& title, std::chrono::milliseconds delay)
      : thread_([this, title, delay](std::stop_token stop) { Run(stop, title.toUtf8(), delay); }) {}

  QImage Take() {
    thread_.request_stop();
    thread_.join();
    return image_;
  }

 private:
  static QByteArray Title(Display* display, Window window) {
    const Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    QByteArray title;
    if (XGetWindowProperty(display, window, netName, 0, 256, False, utf8, &type, &format, &count, &after, &data) ==
            Success &&
        data) {
      title = QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(count));
      XFree(data);
    }
    return title;
  }

  void Run(std::stop_token stop, const QByteArray& title, std::chrono::milliseconds delay) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return;
    std::optional<std::chrono::steady_clock::time_point> seen;
    while (!stop.stop_requested() && image_.isNull()) {
      Window root = 0, parent = 0, *children = nullptr;
      unsigned count = 0;
      XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count);
      for (unsigned i = 0; i < count && image_.isNull(); ++i) {
        XWindowAttributes attributes{};
        if (!XGetWindowAttributes(display, children[i], &attributes) || attributes.map_state != IsViewable) continue;
        if (Title(display, children[i]) != title) continue;
        if (!seen) seen = std::chrono::steady_clock::now();
        if (std::chrono::steady_clock::now() - *seen < delay) continue;
        if (XImage* x = XGetImage(display, children[i], 0, 0, static_cast<unsigned>(attributes.width),
                                  static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap)) {
          QImage picture(attributes.width, attributes.height, QImage::Format_RGB32);
          for (int y = 0; y < attributes.height; ++y)
            for (int x0 = 0; x0 < attributes.width; ++x0)
              picture.setPixel(x0, y, static_cast<QRgb>(XGetPixel(x, x0, y)) | 0xff000000u);
          XDestroyImage(x);
          image_ = picture;
        }
      }
      if (children) XFree(children);
      std::this_thread::sleep_for(20ms);
    }
    XCloseDisplay(display);
  }

  QImage image_;  // written by the thread, read after join
  std::jthread thread_;
};

// The program's own dialogs, except that the counter question is answered
// No, any other message counts as a failure, and the About box is captured.
class ShotDialogs final : public ui::Dialogs {
 public:
  explicit ShotDialogs(Album& album) : album_(album) {}

  ui::MsgAnswer Message(QWidget* parent, ui::MsgIcon icon, const QString& caption, const QString& text,
                        ui::MsgButtons buttons, ui::MsgAnswer defaultAnswer) override {
    if (buttons == ui::MsgButtons::YesNo) return ui::MsgAnswer::No;
    if (caption != QStringLiteral("О программе...")) {
      album_.Fail(QStringLiteral("message \"%1\": %2").arg(caption, text));
      return ui::MsgAnswer::Ok;
    }
    WhenModalShown(album_, [this](QWidget& box) {
      album_.Save(box, QStringLiteral("about"));
      if (auto* messageBox = qobject_cast<QMessageBox*>(&box)) messageBox->button(QMessageBox::Ok)->click();
    });
    return real_.Message(parent, icon, caption, text, buttons, defaultAnswer);
  }
  std::optional<ui::FileChoice> OpenFile(QWidget*, const ui::FileDialogOptions&) override { return std::nullopt; }
  std::optional<ui::FileChoice> SaveFile(QWidget*, const ui::FileDialogOptions&) override { return std::nullopt; }
  bool Print(QWidget*, QPrinter&) override { return false; }
  void Beep() override {}

 private:
  Album& album_;
  ui::QtDialogs real_;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  if (argc != 2 || QGuiApplication::platformName() != QStringLiteral("xcb")) {
    std::fprintf(stderr, "usage: QT_QPA_PLATFORM=xcb RIVENTAR_COM1=<device> %s OUT-DIR\n", argv[0]);
    return 2;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));
  if (!out.mkpath(QStringLiteral("."))) return 2;

  Album album(out);
  ShotDialogs dialogs(album);
  ui::TMonitor_Form form(dialogs);
  form.show();
  Settle(300);

  Ui(form).Connect_SpeedButton->click();
  if (!Ui(form).Link().IsUp()) {
    album.Fail(QStringLiteral("no device answers on COM1"));
    return 1;
  }

  WindowCatcher catcher(QStringLiteral("Ривентар - обмен"), 1200ms);
  Ui(form).Read_Trip_From_BK_Button->click();
  const QImage progress = catcher.Take();
  if (progress.isNull())
    album.Fail(QStringLiteral("the progress window was not caught (is the device paced?)"));
  else
    album.Save(progress, QStringLiteral("progress"));
  if (Ui(form).Trips().size() < 8) album.Fail(QStringLiteral("too few trips were read"));

  Ui(form).Vehicle_Model_Edit->setText(QStringLiteral("ВАЗ-21103"));
  Ui(form).Vehicle_Reg_Id_Edit->setText(QStringLiteral("А123ВС 77"));
  Ui(form).Vehicle_Owner_Edit->setText(QStringLiteral("Иванов Иван Иванович"));
  Ui(form).Trip_Params_StringGrid->selectRow(4);
  album.Save(form, QStringLiteral("main-window"));

  // The period menu of the selected trip, then two of its windows.
  Ui(form).Trip_Params_StringGridMouseDown(Qt::RightButton, {160, 100});
  album.Save(*Ui(form).PopupMenu, QStringLiteral("period-menu"));
  Ui(form).PopupMenu->hide();
  const std::pair<int, const char*> periods[] = {{1, "statistics-week"}, {5, "statistics-all"}};
  for (const auto& [tag, name] : periods) {
    Ui(form).Popup_Menu_Click(tag);
    if (Ui(form).StatWindows().isEmpty()) {
      album.Fail(QStringLiteral("no statistics window"));
      continue;
    }
    album.Save(*Ui(form).StatWindows().back(), QString::fromLatin1(name));
  }
  // The chart of the whole list.
  if (!Ui(form).StatWindows().isEmpty()) {
    ui::TTrip_Stat_Form& all = *Ui(form).StatWindows().back();
    Ui(all).Statistic_Chart_Speed_Button->click();
    if (ui::TTrip_Chart_Form* chart = all.ChartWindow())
      album.Save(*chart, QStringLiteral("statistics-chart"));
    else
      album.Fail(QStringLiteral("no chart window"));
  }
  Ui(form).CloseStatisticWindows();

  WhenModalShown(album, [&album](QWidget& window) {
    album.Save(window, QStringLiteral("configuration"));
    if (auto* config = qobject_cast<ui::TConfig_Form*>(&window)) Ui(*config).Exit_Config_Button->click();
  });
  Ui(form).Configuration_Button->click();

  Ui(form).About_Button->click();

  Ui(form).Connect_SpeedButton->click();
  Ui(form).SetUnsaved(false);
  return album.Failures() == 0 ? 0 : 1;
}
