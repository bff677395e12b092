// Connecting and disconnecting.
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

#include "core/link/commands.h"
#include "core/link/messages.h"
#include "ui/app/Main_form.h"
#include "ui/common/dialogs.h"

namespace riventar::ui {

// The button's state after the press chooses: down connects, up disconnects.
// Setting the button with setChecked() never runs this handler again.
void TMonitor_Form::Connect_SpeedButton_Click() {
  if (!Connect_SpeedButton->isChecked()) {
    Link.Stop();  // nothing is sent to the device
    Configuration_Button->setEnabled(false);
    Read_Trip_From_BK_Button->setEnabled(false);
    COM1_Select_RadioButton->setEnabled(true);
    COM2_Select_RadioButton->setEnabled(true);
    Connect_SpeedButton->setText(QStringLiteral("Подключиться"));
    Connect_SpeedButton->setToolTip(QStringLiteral("Установить связь с БК"));
    return;
  }

  const char* port = COM1_Select_RadioButton->isChecked() ? "COM1" : "COM2";
  if (const auto failure = Link.Start(link::DevicePathForPort(port))) {
    if (failure->step == link::OpenFailure::Step::OpenPort) {
      dialogs_.Beep();
      dialogs_.Error(this, QString::fromUtf8(link::PortOpenFailureCaption), QString::fromUtf8(link::OpenFailureMessage(*failure)));
    }
    Connect_SpeedButton->setChecked(false);
    return;
  }
  if (!Link.RetryingExchange(link::NopCommand())) {
    dialogs_.Error(this, QString::fromUtf8(link::ConnectFailureCaption), QString::fromUtf8(link::NoAnswerText));
    Link.Stop();
    Connect_SpeedButton->setChecked(false);
    return;
  }
  Configuration_Button->setEnabled(true);
  Read_Trip_From_BK_Button->setEnabled(true);
  COM1_Select_RadioButton->setEnabled(false);
  COM2_Select_RadioButton->setEnabled(false);
  Connect_SpeedButton->setText(QStringLiteral("Отключиться"));
  Connect_SpeedButton->setToolTip(QStringLiteral("Разорвать связь с БК"));
}

void TMonitor_Form::DropConnection() {
  Connect_SpeedButton->setChecked(false);
  Connect_SpeedButton_Click();
}

}  // namespace riventar::ui
