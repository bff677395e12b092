// The main window's side of the logbook: opening it, recording what is read
// and saved, and the logbook window.
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <memory>
#include <optional>

#include "core/logbook/server_location.h"
#include "platform/logbook/fleet_store.h"
#include "platform/logbook/location.h"
#include "platform/logbook/sqlite_store.h"
#include "ui/app/Main_form.h"
#include "ui/common/dialogs.h"
#include "ui/logbook/Logbook_form.h"
#include "ui/logbook/logbook_texts.h"
#include "ui/trips/vehicle_edit.h"

namespace riventar::ui {
namespace {

QString ConfiguredLocation() { return QFile::decodeName(logbook::LogbookLocation(std::nullopt).c_str()); }
// A file, or a fleet's server with this computer's file in front; the server is
// not contacted here, so opening never waits for the network. A file that
// cannot be written is still shown; recording into it says why it fails.
std::unique_ptr<logbook::Store> OpenAt(const QString& location, bool pagesChecked = false) {
  return logbook::OpenLogbookAt(QFile::encodeName(location).toStdString(), {}, logbook::Access::ReadOrWrite,
                                pagesChecked);
}
void SaveLocation(const QString& path) { logbook::SaveLogbookLocation(QFile::encodeName(path).toStdString()); }

std::string Utf8(const QLineEdit* edit) { return edit->text().toStdString(); }

}  // namespace

trips::VehicleInfo TMonitor_Form::ShownVehicle() const {
  return {Utf8(Vehicle_Model_Edit), Utf8(Vehicle_Reg_Id_Edit), Utf8(Vehicle_Owner_Edit)};
}

void TMonitor_Form::StartLogbookCheck() {
  try {
    logbookCheckPath_ = ConfiguredLocation();
  } catch (const logbook::StoreError&) {  // said when the logbook is opened
    return;
  }
  if (logbook::IsServerLocation(logbookCheckPath_.toStdString())) return;
  logbookCheck_ = std::async(std::launch::async, [path = QFile::encodeName(logbookCheckPath_).toStdString()] {
    return logbook::CheckLogbookPages(path);
  });
}

logbook::Store* TMonitor_Form::Logbook() {
  if (logbook_ || logbookTried_) return logbook_.get();
  logbookTried_ = true;
  try {
    logbookPath_ = ConfiguredLocation();
    bool checked = false;
    if (logbookCheck_.valid()) {
      std::future<bool> check = std::move(logbookCheck_);
      if (logbookCheckPath_ == logbookPath_) checked = check.get();
    }
    logbook_ = OpenAt(logbookPath_, checked);
    logbookProblem_.clear();
  } catch (const logbook::StoreError& e) {
    if (logbookPath_.isEmpty()) logbookPath_ = QFile::decodeName(e.path().c_str());  // the location itself was refused
    // Said once; the file is left as it is and the program works on without it.
    logbookProblem_ = ScrubbedFor(LogbookFailureReason(e), logbookPath_);
    dialogs_.Error(this, LogbookCaption,
                   ScrubbedFor(LogbookOpenFailureText(ShownLocation(logbookPath_), e), logbookPath_));
  }
  return logbook_.get();
}

void TMonitor_Form::UseLogbook(std::unique_ptr<logbook::Store> store, const QString& path) {
  logbook_ = std::move(store);
  logbookPath_ = path;
  logbookTried_ = true;
  logbookProblem_ = logbook_ ? QString() : QStringLiteral("журнал не открыт");
}

QString TMonitor_Form::ShownLogbookLocation() const { return ShownLocation(logbookPath_); }

bool TMonitor_Form::SwitchLogbook(const QString& chosen) {
  QWidget* parent = logbookWindow_ ? static_cast<QWidget*>(logbookWindow_.data()) : this;
  // Empty: back to the default file, and no choice remembered.
  const QString path = chosen.isEmpty() ? QFile::decodeName(logbook::DefaultLogbookLocation().c_str()) : chosen;
  try {
    std::unique_ptr<logbook::Store> store = OpenAt(path);
    SaveLocation(chosen);
    logbook_ = std::move(store);
    logbookPath_ = path;
    logbookTried_ = true;
    logbookProblem_.clear();
    return true;
  } catch (const logbook::StoreError& e) {
    dialogs_.Error(parent, LogbookCaption,
                   QStringLiteral("Этот файл не может быть журналом маршрутов:\n%1\n%2.\n\n"
                                  "Журнал остается прежним.")
                       .arg(ShownLocation(path), ScrubbedFor(LogbookFailureReason(e), path)));
    return false;
  }
}

void TMonitor_Form::RecordReading(const trips::TripList& read) {
  const logbook::Recording recording{logbook::Origin::Device, connectedPath_.toStdString(), logbook::RecordingTimeNow(),
                                     ShownVehicle(), read};
  QString why = logbookProblem_;
  if (logbook::Store* store = Logbook()) {
    try {
      store->Record(recording);
    } catch (const logbook::StoreError& e) {
      why = ScrubbedFor(LogbookFailureReason(e), logbookPath_);
      store = nullptr;
    }
    if (store) {
      // Committed here; the server was tried (at most the connect timeout) and
      // may not have taken them. They are safe: a notice, not an error.
      std::optional<logbook::SharingStatus> sharing;
      try {
        sharing = logbook::Sharing(*store);
      } catch (const logbook::StoreError&) {  // the notice is a courtesy; the trips are recorded
      }
      if (logbookWindow_) logbookWindow_->Refresh();
      if (sharing && sharing->shared && sharing->waiting.recordings > 0) {
        const QString problem = ServerProblemText(*sharing);
        dialogs_.Notice(this, LogbookCaption,
                        QStringLiteral("Маршруты записаны в журнал на этом компьютере и ждут отправки на сервер%1; "
                                       "они будут отправлены позже.")
                            .arg(problem.isEmpty() ? QString() : QStringLiteral(": ") + problem));
      }
      return;
    }
  } else {
    why = logbookProblem_;
  }
  dialogs_.Error(this, LogbookCaption,
                 QStringLiteral("Считанные маршруты не записаны в журнал:\n%1\n%2.\n\n"
                                "Они по-прежнему хранятся в памяти БК.")
                     .arg(ShownLogbookLocation(), why));
}

void TMonitor_Form::RecordSavedTrips(const QString& path) {
  const logbook::Recording recording{logbook::Origin::Saved, QFile::encodeName(path).toStdString(),
                                     logbook::RecordingTimeNow(), ShownVehicle(), TripList};
  QString why;
  if (logbook::Store* store = Logbook()) {
    try {
      store->RecordSaved(recording);
      if (logbookWindow_) logbookWindow_->Refresh();
      return;
    } catch (const logbook::StoreError& e) {
      why = ScrubbedFor(LogbookFailureReason(e), logbookPath_);
    }
  } else {
    why = logbookProblem_;
  }
  dialogs_.Error(this, LogbookCaption,
                 QStringLiteral("Маршруты сохранены в файле\n%1\nно не записаны в журнал:\n%2\n%3.")
                     .arg(QDir::toNativeSeparators(path), ShownLogbookLocation(), why));
}

void TMonitor_Form::ShowTripsInTable(const trips::VehicleInfo& vehicle, trips::TripList trips) {
  Clear_Trip_Table_Button_Click();
  SetVehicleText(*Vehicle_Model_Edit, QString::fromStdString(vehicle.Model));
  SetVehicleText(*Vehicle_Reg_Id_Edit, QString::fromStdString(vehicle.RegId));
  SetVehicleText(*Vehicle_Owner_Edit, QString::fromStdString(vehicle.Owner));
  TripList = std::move(trips);
  Save_Trip_To_File_Button->setEnabled(true);
  Clear_Trip_Table_Button->setEnabled(true);
  ReDraw_StringGrid();
}

TLogbook_Form* TMonitor_Form::LogbookWindow() const { return logbookWindow_.data(); }

void TMonitor_Form::Logbook_Button_Click() {
  if (logbookWindow_) {
    logbookWindow_->showNormal();
    logbookWindow_->raise();
    logbookWindow_->activateWindow();
    return;
  }
  Logbook();
  auto window = std::make_unique<TLogbook_Form>(*this);
  window->Refresh();
  logbookWindow_ = window.get();
  window.release()->show();  // deletes itself on close; the shutdown deletes one still open
}

}  // namespace riventar::ui
