#include "ui/logbook/Logbook_server_form.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

#include "adapters/logbook/fleet_store.h"
#include "adapters/logbook/location.h"
#include "adapters/logbook/pg_store.h"
#include "core/logbook/server_location.h"
#include "ui/common/ui_style.h"
#include "ui/logbook/logbook_texts.h"

namespace riventar::ui {
namespace {

bool IsServer(const QString& location) { return logbook::IsServerLocation(location.trimmed().toStdString()); }

// The connection try freezes the window for up to the connect timeout: say so with the cursor.
struct WaitCursor {
  WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace

TLogbook_Server_Form::TLogbook_Server_Form(const QString& current, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("Logbook_Server_Form"));
  setWindowTitle(QStringLiteral("Сервер журнала"));
  setFont(style::FormFont());
  auto* layout = new QVBoxLayout(this);
  auto* prompt = new QLabel(
      QStringLiteral("Адрес сервера PostgreSQL (URI libpq) или файл журнала на этом компьютере; пусто — файл по "
                     "умолчанию:"),
      this);
  prompt->setWordWrap(true);
  layout->addWidget(prompt);
  Location_Edit = new QLineEdit(ShownLocation(current), this);
  Location_Edit->setPlaceholderText(QStringLiteral("postgresql://driver@fleet.example.org/fleet?sslmode=verify-full"));
  Location_Edit->setMinimumWidth(460);
  layout->addWidget(Location_Edit);
  Advice_Label = new QLabel(
      QStringLiteral("Пароль в адрес не пишите: программа его не хранит. Укажите его в ~/.pgpass или в файле служб "
                     "(postgresql:///?service=fleet), либо войдите без пароля: по сертификату или как "
                     "пользователь этого компьютера. Соединение ждет не дольше %1 с.")
          .arg(logbook::ServerConnectTimeout.count()),
      this);
  Advice_Label->setWordWrap(true);
  layout->addWidget(Advice_Label);
  Result_Label = new QLabel(this);
  Result_Label->setTextFormat(Qt::PlainText);
  Result_Label->setWordWrap(true);
  Result_Label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(Result_Label);

  auto* buttons = new QHBoxLayout;
  Test_Button = new QPushButton(QStringLiteral("Проверить"), this);
  Test_Button->setToolTip(QStringLiteral("Соединиться с сервером и сказать, что получилось"));
  Use_Button = new QPushButton(QStringLiteral("Использовать"), this);
  Use_Button->setToolTip(QStringLiteral("Вести журнал здесь и запомнить выбор"));
  Use_Button->setDefault(true);
  Cancel_Button = new QPushButton(QStringLiteral("Отмена"), this);
  buttons->addWidget(Test_Button);
  buttons->addStretch(1);
  buttons->addWidget(Use_Button);
  buttons->addWidget(Cancel_Button);
  layout->addLayout(buttons);
  // Tests and tools find each control by its name.
  const std::pair<QObject*, const char*> named[] = {{Location_Edit, "Location_Edit"}, {Advice_Label, "Advice_Label"},
                                                    {Result_Label, "Result_Label"},   {Test_Button, "Test_Button"},
                                                    {Use_Button, "Use_Button"},       {Cancel_Button, "Cancel_Button"}};
  for (auto [control, name] : named) control->setObjectName(QLatin1String(name));

  connect(Test_Button, &QPushButton::clicked, this, &TLogbook_Server_Form::Test_Button_Click);
  connect(Use_Button, &QPushButton::clicked, this, &TLogbook_Server_Form::Use_Button_Click);
  connect(Cancel_Button, &QPushButton::clicked, this, &QDialog::reject);
  // A password typed into the field is hidden as soon as editing ends.
  connect(Location_Edit, &QLineEdit::editingFinished, this, [this] { Checked(); });
}

QString TLogbook_Server_Form::Location() const { return Location_Edit->text().trimmed(); }

std::optional<QString> TLogbook_Server_Form::Checked() {
  const QString location = Location();
  if (!IsServer(location) || logbook::PasswordIn(location.toStdString()).empty()) return location;
  Location_Edit->setText(QString::fromStdString(logbook::RedactedLocation(location.toStdString())));
  Result_Label->setText(
      QStringLiteral("Пароль в адресе не принимается и не сохраняется: уберите его (в поле он заменен на ***) и "
                     "укажите в ~/.pgpass или в файле служб."));
  return std::nullopt;
}

void TLogbook_Server_Form::Test_Button_Click() {
  const std::optional<QString> location = Checked();
  if (!location) return;
  if (location->isEmpty() || !IsServer(*location)) {
    const QString file = location->isEmpty() ? QFile::decodeName(logbook::DefaultLogbookLocation().c_str()) : *location;
    Result_Label->setText(QStringLiteral("Это файл журнала на этом компьютере, сервер не используется: %1 (%2).")
                              .arg(QDir::toNativeSeparators(file), QFileInfo::exists(file)
                                                                       ? QStringLiteral("файл есть")
                                                                       : QStringLiteral("будет создан")));
    return;
  }
  Result_Label->setText(QStringLiteral("Соединение..."));
  Result_Label->repaint();
  const std::string uri = location->toStdString();
  try {
    const WaitCursor waiting;
    logbook::OpenServerLogbook(uri, logbook::ServerConnectTimeout);
    Result_Label->setText(
        QStringLiteral("Соединение установлено, журнал на сервере доступен: %1.").arg(ShownLocation(*location)));
  } catch (const logbook::StoreError& e) {
    Result_Label->setText(ScrubbedFor(
        QStringLiteral("Не удалось: %1.").arg(ServerProblemText(e.kind(), logbook::Scrubbed(e.what(), uri))),
        *location));
  }
}

void TLogbook_Server_Form::Use_Button_Click() {
  if (Checked()) accept();
}

}  // namespace riventar::ui
