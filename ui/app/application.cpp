#include "ui/app/application.h"

#include <QLibraryInfo>
#include <QLocale>
#include <exception>

#include "ui/common/dialogs.h"
#include "ui/common/handler_guard.h"

namespace riventar::ui {

Application::Application(int& argc, char** argv, Dialogs& dialogs) : QApplication(argc, argv), dialogs_(dialogs) {
  setApplicationName(QStringLiteral("riventar"));
  // No display name: Qt would append it to every window title, and each
  // window carries its own caption.
  setApplicationVersion(QStringLiteral(RIVENTAR_VERSION));
  setDesktopFileName(QStringLiteral("org.riventar.Riventar"));  // matches the installed desktop entry
  setQuitOnLastWindowClosed(false);                             // the main window's close ends the program
  if (LoadQtRussian(qtTexts_)) installTranslator(&qtTexts_);
}

bool LoadQtRussian(QTranslator& translator) {
  return translator.load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath));
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
