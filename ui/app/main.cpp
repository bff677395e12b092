// Program entry: refuses a second copy, then runs the main window. Returns 0
// in every case; no argument is examined.
#include <csignal>
#include <exception>
#include <memory>

#include "platform/desktop/window_lookup.h"
#include "ui/app/Main_form.h"
#include "ui/app/application.h"
#include "ui/common/dialogs.h"
#include "ui/common/handler_guard.h"

int main(int argc, char** argv) {
  // A file-size limit must fail the write (and so the save), not kill the program.
  std::signal(SIGXFSZ, SIG_IGN);
  riventar::ui::QtDialogs dialogs;
  riventar::ui::Application app(argc, argv, dialogs);
  try {
    if (riventar::desktop::TopLevelWindowWithTitleExists("Ривентар")) {
      dialogs.Error(nullptr, QStringLiteral("Ривентар"),
                    QStringLiteral("Данное приложение уже запущено.\nВернитесь к уже работающей копии."));
      return 0;
    }
    auto mainWindow = std::make_unique<riventar::ui::TMonitor_Form>(dialogs);
    mainWindow->show();
    app.exec();
    mainWindow.reset();  // shutdown sequence, while the application still exists
  } catch (const std::exception& e) {
    riventar::ui::ShowException(dialogs, e.what());
  }
  return 0;
}
