// Which device stands behind COM1 and COM2: the list to choose from, the
// radio buttons' hints, and the adapter pulled out while the link is idle.
#include <QAction>
#include <QCursor>
#include <QFileInfo>
#include <QFrame>
#include <QMenu>
#include <QRadioButton>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>

#include "core/link/messages.h"
#include "ui/app/Main_form.h"
#include "ui/common/dialogs.h"

namespace riventar::ui {

namespace {

constexpr int HangUpRecheckMs = 250;

// Device names come from USB descriptors and paths from the user: plain text,
// so an '&' in a menu item is no mnemonic...
QString MenuText(QString text) { return text.replace(QLatin1Char('&'), QStringLiteral("&&")); }

// ...and a hint that Qt would take for markup goes in escaped, lines kept.
QString PlainHint(const QString& text) {
  if (!Qt::mightBeRichText(text)) return text;
  return QStringLiteral("<p style=\"white-space:pre\">%1</p>").arg(text.toHtmlEscaped());
}

// A typed or saved path may name no enumerated device and still be there (a
// pseudo-terminal, a link of the user's own).
QString AbsenceMark(const QString& path) {
  return QFileInfo::exists(path) ? QString() : QStringLiteral(" (сейчас не найдено)");
}

}  // namespace

QRadioButton* TMonitor_Form::RadioFor(int com) const {
  return com == 1 ? COM1_Select_RadioButton : COM2_Select_RadioButton;
}

void TMonitor_Form::BuildPortChoice() {
  deviceSource_ = std::make_unique<ports::SystemDevices>();
  portSettings_ = ports::OpenUserSettings();

  // Right of the radio buttons, between them: none of the window's own controls moves.
  Port_Choice_Button = new QToolButton(COM_Select_Panel);
  Port_Choice_Button->setObjectName(QStringLiteral("Port_Choice_Button"));
  Port_Choice_Button->setGeometry(83, 13, 17, 21);
  Port_Choice_Button->setText(QStringLiteral("..."));
  Port_Choice_Button->setToolTip(QStringLiteral("Выбрать устройство для COM1 или COM2"));
  connect(Port_Choice_Button, &QToolButton::clicked, this, Handler(&TMonitor_Form::Port_Choice_Button_Click));
  for (int com = 1; com <= ports::ComCount; ++com) {
    QRadioButton* radio = RadioFor(com);
    radio->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(radio, &QWidget::customContextMenuRequested, this,
            [this, radio, com](QPoint at) { Guarded(dialogs_, [&] { ShowPortChoice(com, radio->mapToGlobal(at)); }); });
  }
  Port_Choice_Menu = new QMenu(this);
  Port_Choice_Menu->setObjectName(QStringLiteral("Port_Choice_Menu"));

  // The receiver thread calls this; the form outlives every receiver (the
  // link stops in the destructor), and the queued call runs on this thread.
  device_.Link().SetHangUpHandler([this] {
    QMetaObject::invokeMethod(
        this, [this] { Guarded(dialogs_, [this] { Port_Hang_Up(); }); }, Qt::QueuedConnection);
  });
  UpdatePortHints();
}

void TMonitor_Form::SetPortSources(std::unique_ptr<ports::DeviceSource> devices, std::unique_ptr<QSettings> settings) {
  deviceSource_ = std::move(devices);
  portSettings_ = std::move(settings);
  UpdatePortHints();
}

int TMonitor_Form::SelectedCom() const { return COM1_Select_RadioButton->isChecked() ? 1 : 2; }

ports::Binding TMonitor_Form::PortBinding(int com) const {
  return ports::ResolveBinding(com, *portSettings_, *deviceSource_);
}

void TMonitor_Form::Port_Choice_Button_Click() {
  ShowPortChoice(SelectedCom(), Port_Choice_Button->mapToGlobal(QPoint(0, Port_Choice_Button->height())));
}

void TMonitor_Form::ShowPortChoice(int com, QPoint globalPosition) {
  const auto devices = ports::ListDevices(*deviceSource_);
  const ports::Binding bound = ports::ResolveBinding(com, *portSettings_, devices);
  const QString port = ports::ComName(com);
  Port_Choice_Menu->clear();
  Port_Choice_Menu->addSection(QStringLiteral("Устройство для %1").arg(port));
  if (bound.source == ports::Binding::Source::Environment) {
    const QString from = QStringLiteral("Задано переменной %1: %2").arg(ports::EnvironmentVariable(com), bound.path);
    Port_Choice_Menu->addAction(MenuText(from))->setEnabled(false);
  }
  if (devices.empty())
    Port_Choice_Menu->addAction(QStringLiteral("Последовательные устройства не найдены"))->setEnabled(false);
  for (const ports::SerialDevice& device : devices) {
    QAction* item = Port_Choice_Menu->addAction(MenuText(QStringLiteral("%1 - %2").arg(device.name, device.path)));
    item->setCheckable(true);
    item->setChecked(device.Matches(bound.path));
    item->setData(device.BindingPath());
  }
  Port_Choice_Menu->addSeparator();
  const QString standard = ports::DefaultPath(com);
  // Whatever COM`com` opens now is in the list, ticked; the environment's own line says it already.
  if (bound.source != ports::Binding::Source::Environment && !ports::FindDevice(devices, bound.path) &&
      bound.path != standard) {
    QAction* item = Port_Choice_Menu->addAction(MenuText(bound.path + AbsenceMark(bound.path)));
    item->setCheckable(true);
    item->setChecked(true);
    item->setData(bound.path);
  }
  if (!ports::FindDevice(devices, standard)) {
    QAction* item = Port_Choice_Menu->addAction(QStringLiteral("Стандартный порт %1").arg(standard));
    item->setCheckable(true);
    item->setChecked(bound.path == standard);
    item->setData(standard);
  }
  QAction* other = Port_Choice_Menu->addAction(QStringLiteral("Другое устройство..."));
  other->setObjectName(QStringLiteral("Other_Device_Item"));
  for (QAction* item : Port_Choice_Menu->actions()) {
    if (!item->isEnabled() || item->isSeparator() || item->menu()) continue;
    connect(item, &QAction::triggered, this, [this, com, item, bound] {
      Guarded(dialogs_, [&] {
        QString path = item->data().toString();
        if (path.isEmpty()) {
          const auto typed =
              dialogs_.TextInput(this, QStringLiteral("Выбор устройства"),
                                 QStringLiteral("Путь к устройству для %1:").arg(ports::ComName(com)), bound.path);
          if (!typed || typed->trimmed().isEmpty()) return;
          path = typed->trimmed();
        }
        ChoosePort(com, path);
      });
    });
  }
  Port_Choice_Menu->popup(globalPosition);
}

void TMonitor_Form::ChoosePort(int com, const QString& path) {
  ports::SaveBinding(com, path, *portSettings_);
  RadioFor(com)->setChecked(true);
  UpdatePortHints();
}

void TMonitor_Form::UpdatePortHints() {
  const auto devices = ports::ListDevices(*deviceSource_);
  for (int com = 1; com <= ports::ComCount; ++com) {
    const ports::Binding bound = ports::ResolveBinding(com, *portSettings_, devices);
    const ports::SerialDevice* device = ports::FindDevice(devices, bound.path);
    QString hint = ports::ComName(com) + QStringLiteral(": ") +
                   (device ? device->name + QLatin1Char('\n') + bound.path : bound.path + AbsenceMark(bound.path));
    if (bound.source == ports::Binding::Source::Environment)
      hint += QStringLiteral("\nзадано переменной ") + ports::EnvironmentVariable(com);
    hint += QStringLiteral("\nДругое устройство: правая кнопка мыши или кнопка «...»");
    RadioFor(com)->setToolTip(PlainHint(hint));
  }
}

void TMonitor_Form::Port_Hang_Up() {
  // A later connection, or none: this notice belongs to a port already closed.
  if (!device_.Connected() || !device_.Link().HungUp() || !Connect_SpeedButton->isChecked()) return;
  // A reading or the configuration window running now meets the silence and
  // reports it the usual way; look again once it is over.
  if (exchangesRunning_ > 0) {
    QTimer::singleShot(HangUpRecheckMs, this, [this] { Guarded(dialogs_, [this] { Port_Hang_Up(); }); });
    return;
  }
  const QString path = PortBinding(SelectedCom()).path;
  DropConnection();
  dialogs_.Error(this, QString::fromUtf8(link::LinkFailureCaption),
                 QStringLiteral("Устройство %1 отключено от компьютера, связь с БК разорвана.\n"
                                "Подключите адаптер снова и нажмите «Подключиться».")
                     .arg(path));
}

}  // namespace riventar::ui
