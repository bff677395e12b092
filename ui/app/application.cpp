#include "ui/app/application.h"

#include <exception>

#include "ui/common/dialogs.h"
#include "ui/common/handler_guard.h"

namespace riventar::ui {

Application::Application(int& argc, char** argv, Dialogs& dialogs) : QApplication(argc, argv), dialogs_(dialogs) {
  setApplicationName(QStringLiteral("riventar"));
  setApplicationDisplayName(QStringLiteral("Ривентар"));
  setApplicationVersion(QStringLiteral(RIVENTAR_VERSION));
  setDesktopFileName(QStringLiteral("org.riventar.Riventar"));  // matches the installed desktop entry
  setQuitOnLastWindowClosed(false);  // the main window's close ends the program
}

// A backstop: handlers already run through Guarded().
bool Application::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    ShowException(dialogs_, e.what());
  } catch (...) {
    ShowException(dialogs_, "Unknown error");
  }
  return false;
}

}  // namespace riventar::ui
