// The main window's side of the logbook: opening it, recording what is read
// and saved, and the logbook window.
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <memory>
#include <optional>

#include "adapters/logbook/fleet_store.h"
#include "adapters/logbook/location.h"
#include "adapters/logbook/sqlite_store.h"
#include "core/logbook/server_location.h"
#include "core/services/vehicle.h"
#include "ui/app/Main_form.h"
#include "ui/common/dialogs.h"
#include "ui/logbook/Logbook_form.h"
#include "ui/logbook/logbook_texts.h"
#include "ui/logbook/server_sender.h"
#include "ui/trips/vehicle_edit.h"

namespace riventar::ui {
namespace {

QString ConfiguredLocation() { return QFile::decodeName(logbook::LogbookLocation(std::nullopt).c_str()); }
// A file, or a fleet's server with this computer's file in front; the server is
// not contacted here, so opening never waits for the network, nor does
// recording: the window sends on a thread of its own (SendToServer). A file
// that cannot be written is still shown; recording into it says why it fails.
std::unique_ptr<logbook::Store> OpenAt(const QString& location, bool pagesChecked = false) {
  logbook::LogbookOptions options;
  options.sendOnRecording = false;
  options.sendOnClose = false;
  return logbook::OpenLogbookAt(QFile::encodeName(location).toStdString(), options, logbook::Access::ReadOrWrite,
                                pagesChecked);
}
void SaveLocation(const QString& path) { logbook::SaveLogbookLocation(QFile::encodeName(path).toStdString()); }

}  // namespace

trips::VehicleInfo TMonitor_Form::ShownVehicle() const { return services::ReadingVehicle(VehicleTexts()); }

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

std::optional<QString> TMonitor_Form::RecordReading(const trips::TripList& read) {
  const logbook::Recording recording{logbook::Origin::Device, connectedPath_.toStdString(), logbook::RecordingTimeNow(),
                                     ShownVehicle(), read};
  QString why = logbookProblem_;
  if (logbook::Store* store = Logbook()) {
    logbook::Recorded recorded;
    try {
      recorded = store->Record(recording);
    } catch (const logbook::StoreError& e) {
      why = ScrubbedFor(LogbookFailureReason(e), logbookPath_);
      store = nullptr;
    }
    if (store) {
      // Committed here, safe whatever the server does: the counter question
      // comes now, and the status line tells later how the sending went.
      const bool shared = LogbookIsShared();
      if (shared)
        SendToServer();  // the logbook window follows once the server has them
      else if (logbookWindow_)
        logbookWindow_->Refresh();
      return WhereKept(recorded, recording.vehicle, shared);
    }
  } else {
    why = logbookProblem_;
  }
  dialogs_.Error(this, LogbookCaption,
                 QStringLiteral("Считанные маршруты не записаны в журнал:\n%1\n%2.\n\n"
                                "Они по-прежнему хранятся в памяти БК.")
                     .arg(ShownLogbookLocation(), why));
  return std::nullopt;
}

QString TMonitor_Form::WhereKept(const logbook::Recorded& recorded, const trips::VehicleInfo& vehicle,
                                 bool shared) const {
  if (recorded.read > 0 && recorded.added == 0)  // each keeps the vehicle it had
    return QStringLiteral("Эти маршруты уже есть в журнале маршрутов\n%1.").arg(ShownLogbookLocation());
  const QString plate = QString::fromStdString(services::VehicleDisplayName(vehicle));
  if (shared)
    return QStringLiteral(
               "Маршруты записаны в журнал маршрутов на этом компьютере, автомобиль «%1», "
               "и отправляются на сервер\n%2.")
        .arg(plate, ShownLogbookLocation());
  return QStringLiteral("Маршруты записаны в журнал маршрутов\n%1\nавтомобиль «%2».")
      .arg(ShownLogbookLocation(), plate);
}

void TMonitor_Form::RecordSavedTrips(const QString& path) {
  const logbook::Recording recording{logbook::Origin::Saved, QFile::encodeName(path).toStdString(),
                                     logbook::RecordingTimeNow(), ShownVehicle(), document_.Trips()};
  QString why;
  if (logbook::Store* store = Logbook()) {
    try {
      store->RecordSaved(recording);
      if (LogbookIsShared())
        SendToServer();
      else if (logbookWindow_)
        logbookWindow_->Refresh();
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

bool TMonitor_Form::LogbookIsShared() const {
  return logbook_ && logbook::IsServerLocation(QFile::encodeName(logbookPath_).toStdString());
}

bool TMonitor_Form::Sending() const { return sender_ && sender_->Busy(); }

void TMonitor_Form::SendToServer() {
  if (!Logbook() || !LogbookIsShared()) return;
  // The outcome arrives from the event loop, outside any handler's guard.
  if (!sender_)
    sender_ = std::make_unique<ServerSender>(
        [this](const SendOutcome& o) { Guarded(dialogs_, [this, &o] { ShowSendOutcome(o); }); });
  sender_->Send(QFile::encodeName(logbookPath_).toStdString());
  if (sender_->Busy()) {
    Logbook_Status_Label->setText(QStringLiteral("Отправка на сервер..."));
    Logbook_Status_Label->setToolTip(QStringLiteral("Маршруты отправляются на сервер журнала ") +
                                     ShownLogbookLocation() + QLatin1Char('.'));
  }
}

void TMonitor_Form::ShowSendOutcome(const SendOutcome& outcome) {
  QString line, whole;
  if (outcome.failure) {
    const QString why = ScrubbedFor(LogbookFailureReason(*outcome.failure), logbookPath_);
    line = QStringLiteral("Не отправлено на сервер");
    whole = QStringLiteral(
                "Маршруты не отправлены на сервер: журнал на этом компьютере недоступен (%1); "
                "они будут отправлены позже.")
                .arg(why);
  } else if (!outcome.result.complete) {
    const QString problem = ServerProblemText(outcome.status);
    line = QStringLiteral("Ждут отправки на сервер: %1").arg(TripsText(outcome.status.waiting.trips));
    whole = QStringLiteral(
                "Маршруты записаны в журнал на этом компьютере и ждут отправки на сервер%1; "
                "они будут отправлены позже.")
                .arg(problem.isEmpty() ? QString() : QStringLiteral(": ") + problem);
  } else if (outcome.result.sentRecordings > 0) {
    line = QStringLiteral("Отправлено на сервер: %1").arg(TripsText(outcome.result.sentTrips));
    whole = QStringLiteral("Маршруты отправлены на сервер журнала %1.").arg(ShownLogbookLocation());
    if (logbookWindow_) logbookWindow_->Refresh();
  }
  // Nothing waited (a start with nothing left over): nothing to tell.
  Logbook_Status_Label->setText(line);
  Logbook_Status_Label->setToolTip(whole);
}

void TMonitor_Form::ShowTripsInTable(const trips::VehicleInfo& vehicle, trips::TripList trips) {
  Clear_Trip_Table_Button_Click();
  document_.Show(vehicle, std::move(trips));
  ShowDocumentVehicle();
  ShowDocument();
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
