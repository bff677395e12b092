// Reading the stored trips from the device.
#include <QProgressBar>
#include <QPushButton>
#include <memory>

#include "core/link/commands.h"
#include "core/link/hex.h"
#include "core/link/messages.h"
#include "ui/app/Main_form.h"
#include "ui/common/dialogs.h"
#include "ui/trips/Progressbar_form.h"

namespace riventar::ui {

void TMonitor_Form::Read_Trip_From_BK_Button_Click() {
  const QString noAnswer = QString::fromUtf8(link::NoAnswerText);
  const QString linkFailure = QString::fromUtf8(link::LinkFailureCaption);
  if (!Link.CommandExchange(link::TripCountCommand())) {
    dialogs_.Error(this, linkFailure, noAnswer);
    DropConnection();
    return;
  }
  const int count = link::HexToByte(link::View(Link.LastReply()), link::TripCountPosition);
  if (count == 0) {
    dialogs_.Notice(this, QStringLiteral("Чтение маршрутов из БК"), QStringLiteral("В памяти БК нет сохраненных маршрутов."));
    return;
  }

  auto progress = std::make_unique<TProgress_Bar_Form>(this);
  CentreOver(*progress, *this);
  progress->show();
  progress->ProgressBar->setMaximum(count);
  // The trips of this reading are held apart until it completes: a reading
  // that breaks off drops them (they are still in the device) and leaves
  // what the table showed before, vehicle fields and unsaved flag included.
  trips::TripList read;
  for (int index = 0; index < count; ++index) {
    progress->SetPosition(index);
    if (!Link.RetryingExchange(link::TripReadCommand(static_cast<std::uint8_t>(index)))) {
      progress.reset();
      dialogs_.Error(this, linkFailure, noAnswer);
      DropConnection();
      return;
    }
    if (auto trip = trips::TripFromReply(link::View(Link.LastReply()))) read.push_back(*trip);
  }
  progress.reset();

  TripList.insert(TripList.end(), read.begin(), read.end());
  TripsUnsaved = true;
  Save_Trip_To_File_Button->setEnabled(true);
  Clear_Trip_Table_Button->setEnabled(true);
  ReDraw_StringGrid();
  if (dialogs_.Ask(this, QStringLiteral("Считывание маршрутов"),
                   QStringLiteral("Параметры маршрутов считаны.\nОбнулить счетчик маршрутов?"))) {
    // An unanswered reset must not pass for a done one.
    if (!Link.CommandExchange(link::TripCounterResetCommand())) {
      dialogs_.Error(this, linkFailure, noAnswer);
      DropConnection();
    }
  }
}

}  // namespace riventar::ui
