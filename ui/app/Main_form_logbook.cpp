// The main window's side of the logbook: the session it holds, recording what
// is read and saved, the status line of the sending, and the logbook window.
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <utility>

#include "adapters/logbook/session_stores.h"
#include "core/logbook/server_location.h"
#include "core/services/vehicle.h"
#include "ui/app/Main_form.h"
#include "ui/common/Vehicle_choice_form.h"
#include "ui/common/dialogs.h"
#include "ui/logbook/Logbook_form.h"
#include "ui/logbook/logbook_texts.h"
#include "ui/trips/vehicle_edit.h"

namespace riventar::ui {
namespace {

QString Decoded(const std::string& path) { return QFile::decodeName(path.c_str()); }

// Russian agrees a verb with 1, 21, 31... as with one.
bool AgreesAsOne(std::int64_t n) { return n % 10 == 1 && n % 100 != 11; }

}  // namespace

trips::VehicleInfo TMonitor_Form::ShownVehicle() const { return services::ReadingVehicle(VehicleTexts()); }

services::LogbookSession& TMonitor_Form::LogbookService() {
  if (!logbook_) {
    logbookStores_ = std::make_unique<logbook::SessionStores>();
    services::LogbookSession::Options options;
    // A file that cannot be written is still shown; recording into it says why it fails.
    options.use = services::StoreUse::ReadOrRecord;
    // Recording never waits for the network: the session sends on its own thread.
    options.sendOnRecording = false;
    // A failure's message is the window's own reason, in one line.
    options.wording = [](const logbook::StoreError& e) { return LogbookFailureReason(e).toStdString(); };
    // The session's threads report here, through the event loop; dropped once the window is gone.
    options.post = [this](std::function<void()> f) {
      QMetaObject::invokeMethod(
          this, [this, f = std::move(f)] { Guarded(dialogs_, f); }, Qt::QueuedConnection);
    };
    logbook_ = std::make_unique<services::LogbookSession>(*logbookStores_, std::move(options));
  }
  return *logbook_;
}

void TMonitor_Form::StartLogbookCheck() {
  const services::Result<std::string> location = LogbookService().ConfiguredLocation();
  if (!location || logbook::IsServerLocation(location.value())) return;  // a refusal is said when it is opened
  logbookCheckPath_ = Decoded(location.value());
  logbookCheck_ = std::async(std::launch::async,
                             [&stores = *logbookStores_, path = location.value()] { return stores.CheckPages(path); });
}

logbook::Store* TMonitor_Form::Logbook() {
  services::LogbookSession& session = LogbookService();
  if (session.Tried()) return session.Store();
  bool checked = false;
  if (logbookCheck_.valid()) {
    std::future<bool> check = std::move(logbookCheck_);
    const services::Result<std::string> location = session.ConfiguredLocation();
    try {
      if (location && Decoded(location.value()) == logbookCheckPath_) checked = check.get();
    } catch (const logbook::StoreError&) {  // opening finds it again and says it
    }
  }
  if (!session.Open(std::nullopt, checked))  // said once; the program works on without it
    dialogs_.Error(
        this, LogbookCaption,
        ScrubbedFor(LogbookOpenFailureText(ShownLocation(LogbookPath()), *session.Problem()), LogbookPath()));
  return session.Store();
}

QString TMonitor_Form::LogbookPath() const { return logbook_ ? Decoded(logbook_->Location()) : QString(); }

QString TMonitor_Form::LogbookFailureText() const {
  if (!logbook_ || !logbook_->Problem()) return QStringLiteral("журнал не открыт");
  return ScrubbedFor(LogbookFailureReason(*logbook_->Problem()), LogbookPath());
}

void TMonitor_Form::UseLogbook(std::unique_ptr<logbook::Store> store, const QString& path) {
  LogbookService().Use(std::move(store), QFile::encodeName(path).toStdString());
}

bool TMonitor_Form::SwitchLogbook(const QString& chosen) {
  QWidget* parent = logbookWindow_ ? static_cast<QWidget*>(logbookWindow_.data()) : this;
  const std::string location = QFile::encodeName(chosen).toStdString();
  services::LogbookSession& session = LogbookService();
  const services::Status switched = session.Switch(location);
  if (switched) return true;
  const QString path = chosen.isEmpty() ? Decoded(logbookStores_->DefaultLocation()) : chosen;
  dialogs_.Error(parent, LogbookCaption,
                 QStringLiteral("Этот файл не может быть журналом маршрутов:\n%1\n%2.\n\n"
                                "Журнал остается прежним.")
                     .arg(ShownLocation(path), ScrubbedFor(QString::fromStdString(switched.failure().message), path)));
  return false;
}

services::Filing TMonitor_Form::ReadingFiling(const services::Reading& reading) {
  const trips::TripList& records = reading.trips.records.empty() ? reading.trips.trips : reading.trips.records;
  // A fleet's logbook would ask its server, and nothing before the counter
  // question may wait for the network: there the question offers the fields'
  // vehicle and a new one. A store that cannot tell asks too.
  std::vector<logbook::VehicleSummary> known;
  std::optional<std::string> plateKey;
  if (!logbook_->Shared()) {
    const services::Result<std::vector<logbook::VehicleSummary>> vehicles =
        logbook_->With([](logbook::Store& store) { return store.Vehicles(); });
    if (vehicles) known = vehicles.value();
    const services::Result<std::optional<std::string>> device =
        logbook_->With([&records](logbook::Store& store) { return logbook::RecogniseDevice(store, records); });
    if (device) plateKey = device.value();
  }
  const services::Filing filing = services::FileReading({}, plateKey, known);
  if (filing.by == services::FiledBy::Recognised) return filing;

  VehicleQuestion question;
  question.text = QStringLiteral(
                      "Из БК считано: %1.\nЖурнал не знает этот БК: его маршрутов в журнале нет (первое чтение, "
                      "счетчик обнулен или это другой автомобиль).\nК какому автомобилю отнести маршруты?")
                      .arg(TripsText(static_cast<std::int64_t>(reading.trips.trips.size())));
  for (const logbook::VehicleSummary& v : known)
    if (!v.plateKey.empty()) question.known.push_back(v.texts);
  question.shown = VehicleTexts();
  const std::optional<trips::VehicleInfo> chosen = dialogs_.ChooseVehicle(this, question);
  if (!chosen) return {};
  // The answer as the rule files it: a known car keeps its own texts.
  return services::FileReading({chosen->Model, chosen->RegId, chosen->Owner}, plateKey, known);
}

std::optional<QString> TMonitor_Form::RecordReading(const services::Reading& reading, trips::VehicleInfo& filedUnder) {
  QString why;
  if (Logbook()) {
    const services::Filing filing = ReadingFiling(reading);
    filedUnder = filing.vehicle;
    const logbook::Recording recording{logbook::Origin::Device, connectedPath_.toStdString(),
                                       logbook::RecordingTimeNow(), filedUnder, reading.trips.trips};
    const services::Result<logbook::Recorded> recorded = logbook_->Record(recording);
    if (recorded) {
      // Committed here, safe whatever the server does: the counter question
      // comes now, and the status line tells later how the sending went.
      if (logbook_->Shared())
        SendToServer();  // the logbook window follows once the server has them
      else if (logbookWindow_)
        logbookWindow_->Refresh();
      return WhereKept(recorded.value(), recording.trips, filing);
    }
    why = ScrubbedFor(QString::fromStdString(recorded.failure().message), LogbookPath());
  } else {
    why = LogbookFailureText();
  }
  filedUnder = {};
  dialogs_.Error(this, LogbookCaption,
                 QStringLiteral("Считанные маршруты не записаны в журнал:\n%1\n%2.\n\n"
                                "Они по-прежнему хранятся в памяти БК.")
                     .arg(ShownLocation(LogbookPath()), why));
  return std::nullopt;
}

QString TMonitor_Form::WhereKept(const logbook::Recorded& recorded, const trips::TripList& read,
                                 const services::Filing& filing) {
  const QString where = ShownLocation(LogbookPath());
  const QString name = VehicleLabel(filing.vehicle);
  // Of the trips read (each once), those under the filing's vehicle now and those the
  // logbook keeps under another: recording moves no trip filed before.
  const std::string key = logbook::PlateKey(filing.vehicle.RegId);
  // Where the store cannot say, or is a fleet's (its server is not asked
  // before the counter question): what the recording itself tells.
  std::optional<std::pair<std::int64_t, std::int64_t>> counted;
  if (!logbook_->Shared()) {
    const services::Result<std::pair<std::int64_t, std::int64_t>> found =
        logbook_->With([&read, &key](logbook::Store& store) {
          std::set<std::string> seen;
          std::pair<std::int64_t, std::int64_t> hereAndElsewhere{0, 0};
          for (const trips::TripRecord& trip : read) {
            if (!seen.insert(logbook::TripKey(trip)).second) continue;
            const std::optional<std::string> under = store.VehicleOf(trip);
            if (under) ++(*under == key ? hereAndElsewhere.first : hereAndElsewhere.second);
          }
          return hereAndElsewhere;
        });
    if (found) counted = found.value();
  }
  const auto [here, elsewhere] = counted.value_or(std::pair{recorded.added, recorded.read - recorded.added});

  QStringList lines;
  if (filing.by == services::FiledBy::Recognised)
    lines << QStringLiteral("БК узнан по маршрутам, уже записанным в журнал: это %1.").arg(name);
  const auto filed = [](std::int64_t n) {
    return TripsText(n) + (AgreesAsOne(n) ? QStringLiteral(" записан") : QStringLiteral(" записаны"));
  };
  if (here > 0) {
    const bool shared = logbook_->Shared();
    if (recorded.added == 0)
      lines << QStringLiteral("%1 уже есть в журнале: %2").arg(TripsText(here), name);
    else
      lines << QStringLiteral("%1 в журнал%2: %3")
                   .arg(filed(here), shared ? QStringLiteral(" на этом компьютере") : QString(), name);
  }
  const QString others = here > 0 ? QStringLiteral("Еще ") + TripsText(elsewhere) : TripsText(elsewhere);
  const QString were = AgreesAsOne(elsewhere) ? QStringLiteral("был") : QStringLiteral("были");
  if (elsewhere > 0 && counted)
    lines << QStringLiteral("%1 уже %2 в журнале и %3 там, где %2; перенести их можно в окне «Журнал».")
                 .arg(others, were, AgreesAsOne(elsewhere) ? QStringLiteral("остается") : QStringLiteral("остаются"));
  else if (elsewhere > 0)
    lines << QStringLiteral("%1 уже %2 в журнале.").arg(others, were);
  if (logbook_->Shared() && recorded.added > 0)
    lines << QStringLiteral("Они отправляются на сервер\n%1.").arg(where);
  else
    lines << QStringLiteral("Журнал маршрутов: %1.").arg(where);
  return lines.join(QLatin1Char('\n'));
}

void TMonitor_Form::RecordSavedTrips(const QString& path) {
  const logbook::Recording recording{logbook::Origin::Saved, QFile::encodeName(path).toStdString(),
                                     logbook::RecordingTimeNow(), ShownVehicle(), document_.Trips()};
  QString why;
  if (Logbook()) {
    // Saving adds only what the logbook lacks: with nothing new it records
    // nothing, so a registration typed for the file makes no empty vehicle.
    // A store that cannot tell, or a fleet's (whose server is not waited
    // for), records the saving as it is.
    const services::Result<bool> anyNew =
        logbook_->Shared() ? services::Result<bool>(true) : logbook_->With([&recording](logbook::Store& store) {
          return std::any_of(recording.trips.begin(), recording.trips.end(),
                             [&store](const trips::TripRecord& trip) { return !store.VehicleOf(trip); });
        });
    if (anyNew && !anyNew.value()) return;
    const services::Result<logbook::Recorded> recorded = logbook_->RecordSaved(recording);
    if (recorded) {
      if (logbook_->Shared())
        SendToServer();
      else if (logbookWindow_)
        logbookWindow_->Refresh();
      return;
    }
    why = ScrubbedFor(QString::fromStdString(recorded.failure().message), LogbookPath());
  } else {
    why = LogbookFailureText();
  }
  dialogs_.Error(this, LogbookCaption,
                 QStringLiteral("Маршруты сохранены в файле\n%1\nно не записаны в журнал:\n%2\n%3.")
                     .arg(QDir::toNativeSeparators(path), ShownLocation(LogbookPath()), why));
}

bool TMonitor_Form::Sending() const { return logbook_ && logbook_->Sending(); }

void TMonitor_Form::SendToServer(std::function<void(const services::SendOutcome&)> then) {
  if (!Logbook() || !logbook_->Shared()) return;
  const services::Status asked =
      logbook_->SendInBackground([this, then = std::move(then)](const services::SendOutcome& outcome) {
        ShowSendOutcome(outcome);
        if (then) then(outcome);
      });
  if (asked && logbook_->Sending()) {
    Logbook_Status_Label->setText(QStringLiteral("Отправка на сервер..."));
    Logbook_Status_Label->setToolTip(QStringLiteral("Маршруты отправляются на сервер журнала ") +
                                     ShownLocation(LogbookPath()) + QLatin1Char('.'));
  }
}

void TMonitor_Form::ShowSendOutcome(const services::SendOutcome& outcome) {
  QString line, whole;
  if (outcome.failure) {
    const QString why = ScrubbedFor(LogbookFailureReason(*outcome.failure), LogbookPath());
    line = QStringLiteral("Не отправлено на сервер");
    whole = QStringLiteral(
                "Маршруты не отправлены на сервер: журнал на этом компьютере недоступен (%1); "
                "они будут отправлены позже.")
                .arg(why);
  } else if (!outcome.report.complete) {
    const QString problem = ServerProblemText(outcome.status);
    line = QStringLiteral("Ждут отправки на сервер: %1").arg(TripsText(outcome.status.waiting.trips));
    whole = QStringLiteral(
                "Маршруты записаны в журнал на этом компьютере и ждут отправки на сервер%1; "
                "они будут отправлены позже.")
                .arg(problem.isEmpty() ? QString() : QStringLiteral(": ") + problem);
  } else if (outcome.report.sentRecordings > 0) {
    line = QStringLiteral("Отправлено на сервер: %1").arg(TripsText(outcome.report.sentTrips));
    whole = QStringLiteral("Маршруты отправлены на сервер журнала %1.").arg(ShownLocation(LogbookPath()));
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
  raise();
  activateWindow();
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
