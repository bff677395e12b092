#include "ui/app/program.h"

#include <QApplication>
#include <exception>
#include <memory>

#include "adapters/desktop/instance_lock.h"
#include "adapters/desktop/window_lookup.h"
#include "ui/app/Main_form.h"
#include "ui/common/dialogs.h"
#include "ui/common/handler_guard.h"

namespace riventar::ui {

int RunProgram(Dialogs& dialogs) {
  try {
    desktop::InstanceLock instance;  // held until the program ends
    if (desktop::TopLevelWindowWithTitleExists("Ривентар") || !instance.TryLock()) {
      dialogs.Error(nullptr, QStringLiteral("Ривентар"),
                    QStringLiteral("Данное приложение уже запущено.\nВернитесь к уже работающей копии."));
      return 0;
    }
    auto mainWindow = std::make_unique<TMonitor_Form>(dialogs);
    mainWindow->show();
    mainWindow->Logbook();  // opened now, so a file that cannot be used is said before any reading
    // What an earlier run left waiting goes to a shared logbook's server now,
    // on the window's sending thread: a server out of reach holds up nothing.
    mainWindow->SendToServer();
    QApplication::exec();
    mainWindow.reset();  // the shutdown sequence (a send under way ends), while the application still exists
  } catch (const std::exception& e) {
    ShowException(dialogs, e.what());
  }
  return 0;
}

}  // namespace riventar::ui
