// Reading the stored trips from the device.
#include <QPushButton>
#include <memory>

#include "core/link/messages.h"
#include "ui/app/Main_form.h"
#include "ui/common/Progressbar_form.h"
#include "ui/common/dialogs.h"
#include "ui/common/placement.h"

namespace riventar::ui {

void TMonitor_Form::Read_Trip_From_BK_Button_Click() {
  const ExchangeScope exchanging(*this);
  // The trips of this reading are held apart until it completes: a reading
  // that breaks off drops them (they are still in the device) and leaves
  // what the table showed before, vehicle fields and unsaved flag included.
  // The progress window is made and painted while each request is on the
  // wire, so it costs the reading no time.
  std::unique_ptr<TProgress_Bar_Form> progress;
  const services::Result<services::Reading> read = device_.Read({}, [&](int index, int count) {
    if (!progress) {
      progress = std::make_unique<TProgress_Bar_Form>(this);
      CentreOver(*progress, *this);
      progress->show();
      progress->SetMaximum(count);
    }
    progress->SetPosition(index);
  });
  progress.reset();
  if (!read) return ShowExchangeFailure();
  if (read->count == 0) {
    dialogs_.Notice(this, QStringLiteral("Чтение маршрутов из БК"),
                    QStringLiteral("В памяти БК нет сохраненных маршрутов."));
    return;
  }

  const bool onlyThisReading = document_.Empty();
  document_.SetVehicle(VehicleTexts());
  document_.AppendReading(read->trips.trips);
  ShowDocument();
  // On disk before the question: a Yes lets the device forget them.
  std::optional<QString> kept;
  trips::VehicleInfo filedUnder;
  const services::Status recorded = device_.Record(
      read.value(), [&](const services::Reading& reading) { return RecordInLogbook(reading, kept, filedUnder); });
  document_.ReadingRecorded(recorded.ok());
  // A table of this reading alone is that car's: a save names it.
  if (recorded && onlyThisReading && !logbook::PlateKey(filedUnder.RegId).empty()) {
    document_.SetVehicle(filedUnder);
    ShowDocumentVehicle();
  }
  AskToForget(kept);
}

services::Status TMonitor_Form::RecordInLogbook(const services::Reading& reading, std::optional<QString>& kept,
                                                trips::VehicleInfo& filedUnder) {
  kept = RecordReading(reading, filedUnder);  // says why not itself
  if (kept) return services::Ok();
  return services::Failure{services::Failure::Kind::Logbook, "not recorded"};
}

void TMonitor_Form::AskToForget(const std::optional<QString>& kept) {
  // Not on disk, the trips may have no other copy than the device's (and
  // this table): Enter must not reset it.
  const bool mayForget = device_.MayForgetTrips().ok();
  const QString question = QStringLiteral("Параметры маршрутов считаны.\nОбнулить счетчик маршрутов?") +
                           QStringLiteral("\n\n") +
                           kept.value_or(QStringLiteral("Маршруты не записаны в журнал: после обнуления счетчика "
                                                        "они останутся только в этой таблице."));
  if (!dialogs_.Ask(this, QStringLiteral("Считывание маршрутов"), question, mayForget ? MsgAnswer::Yes : MsgAnswer::No))
    return;
  if (!device_.ForgetTrips()) ShowExchangeFailure();
}

void TMonitor_Form::ShowExchangeFailure() {
  dialogs_.Error(this, QString::fromUtf8(link::LinkFailureCaption),
                 QString::fromStdString(link::ExchangeFailureText(device_.Link())));
  DropConnection();
}

}  // namespace riventar::ui
