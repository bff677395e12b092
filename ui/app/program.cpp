#include "ui/app/program.h"

#include <QApplication>
#include <QFile>
#include <exception>
#include <memory>
#include <string>
#include <thread>

#include "core/logbook/server_location.h"
#include "platform/desktop/instance_lock.h"
#include "platform/desktop/window_lookup.h"
#include "platform/logbook/fleet_store.h"
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
    // on a thread with connections of its own: a server out of reach (up to
    // the connect timeout) holds up nothing. Joined after the shutdown, or on
    // the way out of an error.
    std::jthread sender;
    const std::string location = QFile::encodeName(mainWindow->LogbookPath()).toStdString();
    if (mainWindow->Logbook() && logbook::IsServerLocation(location)) {
      sender = std::jthread([location] {
        try {
          logbook::SendWaiting(*logbook::OpenLogbookAt(location));
        } catch (const std::exception&) {
          // Still queued: the next reading, "Отправить на сервер" or the next start sends it.
        }
      });
    }
    QApplication::exec();
    mainWindow.reset();  // the shutdown sequence, while the application still exists
    if (sender.joinable()) sender.join();
  } catch (const std::exception& e) {
    ShowException(dialogs, e.what());
  }
  return 0;
}

}  // namespace riventar::ui
