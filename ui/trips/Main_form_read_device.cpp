// Reading the stored trips from the device.
#include <QProgressBar>
#include <QPushButton>
#include <memory>

#include "core/link/commands.h"
#include "core/link/messages.h"
#include "core/trips/device_reading.h"
#include "ui/app/Main_form.h"
#include "ui/common/Progressbar_form.h"
#include "ui/common/dialogs.h"
#include "ui/common/placement.h"

namespace riventar::ui {

void TMonitor_Form::Read_Trip_From_BK_Button_Click() {
  const ExchangeScope exchanging(*this);
  const auto noAnswer = [this] { return QString::fromStdString(link::ExchangeFailureText(Link)); };
  const QString linkFailure = QString::fromUtf8(link::LinkFailureCaption);
  const std::optional<int> count = trips::ReadTripCount(Link);
  if (!count) {
    dialogs_.Error(this, linkFailure, noAnswer());
    DropConnection();
    return;
  }
  if (*count == 0) {
    dialogs_.Notice(this, QStringLiteral("Чтение маршрутов из БК"),
                    QStringLiteral("В памяти БК нет сохраненных маршрутов."));
    return;
  }

  // The trips of this reading are held apart until it completes: a reading
  // that breaks off drops them (they are still in the device) and leaves
  // what the table showed before, vehicle fields and unsaved flag included.
  // The progress window is made and painted while each request is on the
  // wire, so it costs the reading no time.
  std::unique_ptr<TProgress_Bar_Form> progress;
  const std::optional<trips::TripList> read = trips::ReadTrips(Link, *count, [&](int index) {
    if (!progress) {
      progress = std::make_unique<TProgress_Bar_Form>(this);
      CentreOver(*progress, *this);
      progress->show();
      progress->ProgressBar->setMaximum(*count);
    }
    progress->SetPosition(index);
  });
  progress.reset();
  if (!read) {
    dialogs_.Error(this, linkFailure, noAnswer());
    DropConnection();
    return;
  }

  const bool shownWereKept = !TripsUnsaved || unsavedInLogbook_;
  TripList.insert(TripList.end(), read->begin(), read->end());
  TripsUnsaved = true;
  Save_Trip_To_File_Button->setEnabled(true);
  Clear_Trip_Table_Button->setEnabled(true);
  ReDraw_StringGrid();
  // On disk before the question: a Yes lets the device forget them.
  const std::optional<QString> kept = RecordReading(*read);
  unsavedInLogbook_ = shownWereKept && kept;
  // Not in the logbook, the trips may have no other copy than the device's:
  // Enter must not reset it.
  const QString question = QStringLiteral("Параметры маршрутов считаны.\nОбнулить счетчик маршрутов?") +
                           QStringLiteral("\n\n") +
                           kept.value_or(QStringLiteral("Маршруты не записаны в журнал: после обнуления счетчика "
                                                        "они останутся только в этой таблице."));
  if (dialogs_.Ask(this, QStringLiteral("Считывание маршрутов"), question, kept ? MsgAnswer::Yes : MsgAnswer::No)) {
    // An unanswered reset must not pass for a done one.
    if (!Link.CommandExchange(link::TripCounterResetCommand())) {
      dialogs_.Error(this, linkFailure, noAnswer());
      DropConnection();
    }
  }
}

}  // namespace riventar::ui
