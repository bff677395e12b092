// Connecting and disconnecting.
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>

#include "core/link/messages.h"
#include "ui/app/Main_form.h"
#include "ui/common/dialogs.h"

namespace riventar::ui {

namespace {

constexpr char ChooseAnotherDevice[] =
    "Другое устройство для COM1 или COM2 выбирается кнопкой «...» рядом с ними "
    "или правой кнопкой мыши на COM1/COM2.";

}  // namespace

// The button's state after the press chooses: down connects, up disconnects.
// Setting the button with setChecked() never runs this handler again.
void TMonitor_Form::Connect_SpeedButton_Click() {
  if (!Connect_SpeedButton->isChecked()) {
    device_.Disconnect();  // nothing is sent to the device
    ShowLinkState(false);
    // The adapter may have been pulled or swapped meanwhile. Listing the
    // devices takes milliseconds: after the click, not in it.
    QTimer::singleShot(0, this, [this] { UpdatePortHints(); });
    return;
  }

  const int com = SelectedCom();
  const ports::Binding binding = PortBinding(com);
  if (const services::Status connected = device_.Connect(QFile::encodeName(binding.path).toStdString()); !connected) {
    if (connected.failure().kind == services::Failure::Kind::PortOpen) {
      dialogs_.Beep();
      dialogs_.Error(this, QString::fromUtf8(link::PortOpenFailureCaption),
                     QString::fromStdString(connected.failure().message) + QStringLiteral("\n") +
                         QString::fromUtf8(ChooseAnotherDevice));
    } else {
      dialogs_.Error(this, QString::fromUtf8(link::ConnectFailureCaption), QString::fromUtf8(link::NoAnswerText));
    }
    Connect_SpeedButton->setChecked(false);
    return;
  }
  // The adapter found at first start stays COM1 once it has answered.
  if (binding.source == ports::Binding::Source::FirstStart) ChoosePort(com, binding.path);
  connectedPath_ = binding.path;
  ShowLinkState(true);
}

// The device-dependent buttons work only while the link is up, the port
// choice only while it is down.
void TMonitor_Form::ShowLinkState(bool up) {
  Configuration_Button->setEnabled(up);
  Read_Trip_From_BK_Button->setEnabled(up);
  COM1_Select_RadioButton->setEnabled(!up);
  COM2_Select_RadioButton->setEnabled(!up);
  Port_Choice_Button->setEnabled(!up);
  Connect_SpeedButton->setText(up ? QStringLiteral("Отключиться") : QStringLiteral("Подключиться"));
  Connect_SpeedButton->setToolTip(up ? QStringLiteral("Разорвать связь с БК")
                                     : QStringLiteral("Установить связь с БК"));
}

void TMonitor_Form::DropConnection() {
  Connect_SpeedButton->setChecked(false);
  Connect_SpeedButton_Click();
}

}  // namespace riventar::ui
