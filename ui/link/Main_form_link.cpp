// Connecting and disconnecting.
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>

#include "core/link/connect.h"
#include "core/link/messages.h"
#include "ui/app/Main_form.h"
#include "ui/common/dialogs.h"

namespace riventar::ui {

namespace {

constexpr char ChooseAnotherDevice[] =
    "Другое устройство для COM1 или COM2 выбирается кнопкой «...» рядом с ними "
    "или правой кнопкой мыши на COM1/COM2.";

// The device-dependent buttons work only while the link is up, the port
// choice only while it is down.
void ShowLinkState(TMonitor_Form& form, bool up) {
  form.Configuration_Button->setEnabled(up);
  form.Read_Trip_From_BK_Button->setEnabled(up);
  form.COM1_Select_RadioButton->setEnabled(!up);
  form.COM2_Select_RadioButton->setEnabled(!up);
  form.Port_Choice_Button->setEnabled(!up);
  form.Connect_SpeedButton->setText(up ? QStringLiteral("Отключиться") : QStringLiteral("Подключиться"));
  form.Connect_SpeedButton->setToolTip(up ? QStringLiteral("Разорвать связь с БК")
                                          : QStringLiteral("Установить связь с БК"));
}

}  // namespace

// The button's state after the press chooses: down connects, up disconnects.
// Setting the button with setChecked() never runs this handler again.
void TMonitor_Form::Connect_SpeedButton_Click() {
  if (!Connect_SpeedButton->isChecked()) {
    Link.Stop();  // nothing is sent to the device
    ShowLinkState(*this, false);
    // The adapter may have been pulled or swapped meanwhile. Listing the
    // devices takes milliseconds: after the click, not in it.
    QTimer::singleShot(0, this, [this] { UpdatePortHints(); });
    return;
  }

  const int com = SelectedCom();
  const ports::Binding binding = PortBinding(com);
  if (const auto failure = link::Connect(Link, QFile::encodeName(binding.path).toStdString())) {
    if (!failure->open) {
      dialogs_.Error(this, QString::fromUtf8(link::ConnectFailureCaption), QString::fromUtf8(link::NoAnswerText));
    } else if (failure->open->step == link::OpenFailure::Step::OpenPort) {
      dialogs_.Beep();
      dialogs_.Error(this, QString::fromUtf8(link::PortOpenFailureCaption),
                     QString::fromUtf8(link::OpenFailureMessage(*failure->open)) + QStringLiteral("\n") +
                         QString::fromUtf8(ChooseAnotherDevice));
    }
    Connect_SpeedButton->setChecked(false);
    return;
  }
  // The adapter found at first start stays COM1 once it has answered.
  if (binding.source == ports::Binding::Source::FirstStart) ChoosePort(com, binding.path);
  connectedPath_ = binding.path;
  ShowLinkState(*this, true);
}

void TMonitor_Form::DropConnection() {
  Connect_SpeedButton->setChecked(false);
  Connect_SpeedButton_Click();
}

}  // namespace riventar::ui
