#include "ui/config/Cfg_form.h"

#include <QComboBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <memory>

#include "base/text/cp1251.h"
#include "core/config/device_exchange.h"
#include "core/config/device_settings.h"
#include "core/config/input_rules.h"
#include "core/config/setting_input.h"
#include "core/config/settings.h"
#include "core/link/messages.h"
#include "ui/app/Main_form.h"
#include "ui/common/Progressbar_form.h"
#include "ui/common/convert.h"
#include "ui/common/dialogs.h"
#include "ui/common/handler_guard.h"
#include "ui/common/placement.h"
#include "ui/common/ui_style.h"

namespace riventar::ui {
namespace {

const QString SetCaption = QStringLiteral("Установить");

// Nine reading commands on a bar of eight: full from the eighth on.
constexpr int ReadProgressMaximum = 8;

QString Q(std::string_view utf8) { return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())); }
std::string Utf8(const QLineEdit& edit) { return edit.text().toStdString(); }
// Device texts are Windows-1251 like everything the program shows.
QString FromDevice(const std::string& bytes) { return QString::fromStdString(text::FromCp1251(bytes)); }

QLabel* AutoLabel(QWidget* parent, int left, int top, const QString& caption) {
  QLabel* label = style::Label(parent, {left, top, 0, 13}, caption);
  label->adjustSize();
  return label;
}

QPushButton* RowButton(QWidget* panel, int top, const QString& caption) {
  QPushButton* button = style::Button(panel, {302, top, 75, 25}, caption);
  button->setEnabled(false);
  return button;
}

QLineEdit* NumberEdit(QWidget* panel, const QRect& geometry, int maxLength, const QString& text) {
  QLineEdit* edit = style::Edit(panel, geometry, maxLength);
  edit->setText(text);
  edit->setEnabled(false);
  return edit;
}

template <std::size_t N>
QComboBox* List(QWidget* panel, const QRect& geometry, const std::string_view (&entries)[N]) {
  auto* list = new QComboBox(panel);
  list->setGeometry(geometry);
  list->setEditable(true);
  list->setInsertPolicy(QComboBox::NoInsert);  // typed text never becomes an entry
  list->setMaxVisibleItems(5);
  // The lists keep their designed widths; a narrower face and arrow let the
  // longest entries ("Отключено", "Маршрутный компьютер") show whole.
  list->setFont(style::NarrowFont());
  list->setStyleSheet(QStringLiteral("QComboBox { padding-left: 0px; } QComboBox::drop-down { width: 11px; }"));
  for (std::string_view entry : entries) list->addItem(Q(entry));
  list->setCurrentIndex(-1);
  list->setEnabled(false);
  return list;
}

}  // namespace

TConfig_Form::TConfig_Form(link::PortLink& link, Dialogs& dialogs, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), link_(link), dialogs_(dialogs) {
  BuildControls();
  Config_Form_Create();
}

void TConfig_Form::BuildControls() {
  setObjectName(QStringLiteral("Config_Form"));
  setWindowTitle(QStringLiteral("Ривентар - Конфигурирование"));
  setFont(style::FormFont());
  setFixedSize(501, 415);
  move(267, 147);  // the designed place; the opener centres the window afterwards

  LED_Bright_Panel = style::Panel(this, {16, 8, 385, 33}, /*raised=*/false);
  LED_Bright_Label = AutoLabel(LED_Bright_Panel, 8, 10, QStringLiteral("Яркость подсветки ЖКИ:"));
  LED_Bright_Edit = NumberEdit(LED_Bright_Panel, {144, 6, 25, 21}, 2, QStringLiteral("6"));
  LED_Bright_Range_Label = AutoLabel(LED_Bright_Panel, 176, 10, QStringLiteral("(1..19)"));
  LED_Bright_Set_Button = RowButton(LED_Bright_Panel, 4, SetCaption);

  ShutDown_Delay_Panel = style::Panel(this, {16, 48, 385, 33}, false);
  ShutDown_Delay_Label = AutoLabel(ShutDown_Delay_Panel, 8, 10, QStringLiteral("Задержка выключения:"));
  ShutDown_Delay_Houres_Edit = NumberEdit(ShutDown_Delay_Panel, {144, 6, 17, 21}, 1, QStringLiteral("0"));
  ShutDown_Delay_hr_Label = AutoLabel(ShutDown_Delay_Panel, 164, 10, QStringLiteral("час"));
  ShutDown_Delay_Minutes_Edit = NumberEdit(ShutDown_Delay_Panel, {184, 6, 25, 21}, 2, QStringLiteral("00"));
  ShutDown_Delay_min_Label = AutoLabel(ShutDown_Delay_Panel, 212, 10, QStringLiteral("мин"));
  ShutDown_Delay_Seconds_Edit = NumberEdit(ShutDown_Delay_Panel, {236, 6, 25, 21}, 2, QStringLiteral("00"));
  ShutDown_Delay_sec_Label = AutoLabel(ShutDown_Delay_Panel, 264, 10, QStringLiteral("сек"));
  ShutDown_Delay_Set_Button = RowButton(ShutDown_Delay_Panel, 4, SetCaption);

  Panel2 = style::Panel(this, {16, 88, 385, 33}, false);
  Start_Trip_Delay_Label = AutoLabel(Panel2, 8, 10, QStringLiteral("Начало маршрута через:"));
  Start_Trip_Delay_Combo_Box = List(Panel2, {144, 6, 65, 21}, config::StartTripDelayEntries);
  Start_Trip_Delay_Set_Button = RowButton(Panel2, 4, SetCaption);

  Trip_Counter_Panel = style::Panel(this, {16, 128, 385, 33}, false);
  Trip_Counter_Label = AutoLabel(Trip_Counter_Panel, 8, 10, QStringLiteral("Сохранено маршрутов:"));
  Trip_Counter_Edit = NumberEdit(Trip_Counter_Panel, {144, 6, 28, 21}, 3, QStringLiteral("0"));
  Trip_Counter_Edit->setReadOnly(true);
  Trip_Counter_Reset_Button = RowButton(Trip_Counter_Panel, 4, QStringLiteral("Обнулить"));

  Mode_Panel = style::Panel(this, {16, 168, 385, 33}, false);
  Mode_Label = AutoLabel(Mode_Panel, 8, 10, QStringLiteral("Текущий режим работы:"));
  Mode_ComboBox = List(Mode_Panel, {144, 6, 137, 21}, config::ModeEntries);
  Mode_Set_Button = RowButton(Mode_Panel, 4, SetCaption);

  Panel3 = style::Panel(this, {16, 208, 385, 57}, false);
  Time_Correct_Interval_Label = AutoLabel(Panel3, 8, 8, QStringLiteral("Интервал автоматической коррекции времени:"));
  Time_Correct_Interval_ComboBox = List(Panel3, {8, 28, 185, 21}, config::CorrectionEntries);
  Time_Correct_Interval_ComboBox->setCurrentIndex(config::CorrectionOffPosition);
  Time_Correct_Interval_Edit = NumberEdit(Panel3, {204, 28, 28, 21}, 3, QStringLiteral("0"));
  Time_Correct_Interval_Label_1 = AutoLabel(Panel3, 235, 32, QStringLiteral("x10  минут"));
  Time_Correct_Interval_Set_Button = RowButton(Panel3, 20, SetCaption);

  Watch_Panel = style::Panel(this, {16, 272, 385, 65}, false);
  Watch_Label = AutoLabel(Watch_Panel, 8, 8, QStringLiteral("Время (час-мин):"));
  Watch_Houres_Edit = NumberEdit(Watch_Panel, {144, 4, 25, 21}, 2, QStringLiteral("00"));
  Watch_Break_Label = AutoLabel(Watch_Panel, 172, 8, QStringLiteral(":"));
  Watch_Minutes_Edit = NumberEdit(Watch_Panel, {180, 4, 25, 21}, 2, QStringLiteral("00"));
  Calendar_Label = AutoLabel(Watch_Panel, 8, 40, QStringLiteral("Дата (дд-мм-гг):"));
  Calendar_Date_Edit = NumberEdit(Watch_Panel, {144, 36, 25, 21}, 2, QStringLiteral("00"));
  Calendar_Date_Break_Label = AutoLabel(Watch_Panel, 172, 40, QStringLiteral(":"));
  Calendar_Month_Edit = NumberEdit(Watch_Panel, {180, 36, 25, 21}, 2, QStringLiteral("00"));
  Calendar_Month_Break_Label = AutoLabel(Watch_Panel, 210, 40, QStringLiteral(":"));
  Calendar_Year_Prefix_Label = AutoLabel(Watch_Panel, 216, 40, QStringLiteral("20"));
  Calendar_Year_Edit = NumberEdit(Watch_Panel, {230, 36, 25, 21}, 2, QStringLiteral("00"));
  Watch_Calendar_Set_Button = RowButton(Watch_Panel, 4, SetCaption);
  Watch_Calendar_Read_Current_Button = RowButton(Watch_Panel, 36, QStringLiteral("Текущие"));

  Panel1 = style::Panel(this, {16, 344, 385, 57}, false);
  Hardware_Version_Label = AutoLabel(Panel1, 8, 8, QStringLiteral("Версия аппаратуры:"));
  Software_Version_Label = AutoLabel(Panel1, 8, 32, QStringLiteral("Версия программы:"));
  Hardware_Ver_Label = style::Label(Panel1, {144, 8, 225, 13}, QStringLiteral("HARDWARE"));
  Software_Ver_Label = style::Label(Panel1, {144, 32, 225, 13}, QStringLiteral("SOFTWARE"));

  Read_Config_Button = style::Button(this, {416, 16, 75, 25}, QStringLiteral("Считать"));
  Exit_Config_Button = style::Button(this, {416, 56, 75, 25}, QStringLiteral("Выйти"));

  // Every control carries its member's name, for tests and accessibility tools.
#define RIVENTAR_NAMED(member) \
  std::pair<QWidget*, const char*> { member, #member }
  const std::pair<QWidget*, const char*> named[] = {
      RIVENTAR_NAMED(LED_Bright_Panel),
      RIVENTAR_NAMED(LED_Bright_Label),
      RIVENTAR_NAMED(LED_Bright_Range_Label),
      RIVENTAR_NAMED(LED_Bright_Edit),
      RIVENTAR_NAMED(LED_Bright_Set_Button),
      RIVENTAR_NAMED(ShutDown_Delay_Panel),
      RIVENTAR_NAMED(ShutDown_Delay_Label),
      RIVENTAR_NAMED(ShutDown_Delay_hr_Label),
      RIVENTAR_NAMED(ShutDown_Delay_min_Label),
      RIVENTAR_NAMED(ShutDown_Delay_sec_Label),
      RIVENTAR_NAMED(ShutDown_Delay_Houres_Edit),
      RIVENTAR_NAMED(ShutDown_Delay_Minutes_Edit),
      RIVENTAR_NAMED(ShutDown_Delay_Seconds_Edit),
      RIVENTAR_NAMED(ShutDown_Delay_Set_Button),
      RIVENTAR_NAMED(Panel2),
      RIVENTAR_NAMED(Start_Trip_Delay_Label),
      RIVENTAR_NAMED(Start_Trip_Delay_Combo_Box),
      RIVENTAR_NAMED(Start_Trip_Delay_Set_Button),
      RIVENTAR_NAMED(Trip_Counter_Panel),
      RIVENTAR_NAMED(Trip_Counter_Label),
      RIVENTAR_NAMED(Trip_Counter_Edit),
      RIVENTAR_NAMED(Trip_Counter_Reset_Button),
      RIVENTAR_NAMED(Mode_Panel),
      RIVENTAR_NAMED(Mode_Label),
      RIVENTAR_NAMED(Mode_ComboBox),
      RIVENTAR_NAMED(Mode_Set_Button),
      RIVENTAR_NAMED(Panel3),
      RIVENTAR_NAMED(Time_Correct_Interval_Label),
      RIVENTAR_NAMED(Time_Correct_Interval_Label_1),
      RIVENTAR_NAMED(Time_Correct_Interval_ComboBox),
      RIVENTAR_NAMED(Time_Correct_Interval_Edit),
      RIVENTAR_NAMED(Time_Correct_Interval_Set_Button),
      RIVENTAR_NAMED(Watch_Panel),
      RIVENTAR_NAMED(Watch_Label),
      RIVENTAR_NAMED(Calendar_Label),
      RIVENTAR_NAMED(Watch_Break_Label),
      RIVENTAR_NAMED(Calendar_Date_Break_Label),
      RIVENTAR_NAMED(Calendar_Month_Break_Label),
      RIVENTAR_NAMED(Calendar_Year_Prefix_Label),
      RIVENTAR_NAMED(Watch_Houres_Edit),
      RIVENTAR_NAMED(Watch_Minutes_Edit),
      RIVENTAR_NAMED(Calendar_Date_Edit),
      RIVENTAR_NAMED(Calendar_Month_Edit),
      RIVENTAR_NAMED(Calendar_Year_Edit),
      RIVENTAR_NAMED(Watch_Calendar_Set_Button),
      RIVENTAR_NAMED(Watch_Calendar_Read_Current_Button),
      RIVENTAR_NAMED(Panel1),
      RIVENTAR_NAMED(Hardware_Version_Label),
      RIVENTAR_NAMED(Software_Version_Label),
      RIVENTAR_NAMED(Hardware_Ver_Label),
      RIVENTAR_NAMED(Software_Ver_Label),
      RIVENTAR_NAMED(Read_Config_Button),
      RIVENTAR_NAMED(Exit_Config_Button),
  };
#undef RIVENTAR_NAMED
  for (const auto& [widget, name] : named) widget->setObjectName(QLatin1String(name));

  for (QPushButton* button : findChildren<QPushButton*>()) button->setAutoDefault(false);
  for (QLineEdit* edit : {LED_Bright_Edit, ShutDown_Delay_Houres_Edit, ShutDown_Delay_Minutes_Edit,
                          ShutDown_Delay_Seconds_Edit, Trip_Counter_Edit, Time_Correct_Interval_Edit, Watch_Houres_Edit,
                          Watch_Minutes_Edit, Calendar_Date_Edit, Calendar_Month_Edit, Calendar_Year_Edit}) {
    edit->installEventFilter(this);
  }

  Connect(Read_Config_Button, &TConfig_Form::Read_Config_Button_Click);
  Connect(Exit_Config_Button, &TConfig_Form::Exit_Config_Button_Click);
  Connect(LED_Bright_Set_Button, &TConfig_Form::LED_Bright_Set_Button_Click);
  Connect(ShutDown_Delay_Set_Button, &TConfig_Form::ShutDown_Delay_Set_Button_Click);
  Connect(Start_Trip_Delay_Set_Button, &TConfig_Form::Start_Trip_Delay_Set_Button_Click);
  Connect(Trip_Counter_Reset_Button, &TConfig_Form::Trip_Counter_Reset_Button_Click);
  Connect(Mode_Set_Button, &TConfig_Form::Mode_Set_ButtonClick);
  Connect(Watch_Calendar_Read_Current_Button, &TConfig_Form::Watch_Calendar_Read_Current_ButtonClick);
  Connect(Watch_Calendar_Set_Button, &TConfig_Form::Watch_Calendar_Set_ButtonClick);
  Connect(Time_Correct_Interval_Set_Button, &TConfig_Form::Time_Correct_Interval_Set_ButtonClick);
  // A choice from the list and typing into its text field both count as a change.
  connect(Time_Correct_Interval_ComboBox, &QComboBox::currentIndexChanged, this,
          [this] { Time_Correct_Interval_ComboBoxChange(); });
  connect(Time_Correct_Interval_ComboBox->lineEdit(), &QLineEdit::textEdited, this,
          [this] { Time_Correct_Interval_ComboBoxChange(); });
}

void TConfig_Form::Connect(QPushButton* button, void (TConfig_Form::*handler)()) {
  connect(button, &QPushButton::clicked, this,
          [this, handler] { Guarded(dialogs_, [this, handler] { (this->*handler)(); }); });
}

void TConfig_Form::SetModalResult(int result) {
  modalResult_ = result;
  done(result);
}

template <typename Body>
void TConfig_Form::WithLink(Body&& exchanges) {
  try {
    std::forward<Body>(exchanges)();
  } catch (const config::LinkFailure&) {
    LinkFailed();
  }
}

void TConfig_Form::LinkFailed() {
  dialogs_.Error(nullptr, Q(link::LinkFailureCaption), QString::fromStdString(link::ExchangeFailureText(link_)));
  SetModalResult(ResultLinkFailure);
}

template <typename Value>
std::optional<Value> TConfig_Form::Accepted(config::Parsed<Value> parsed) {
  if (parsed.refusals.empty()) return parsed.value;
  const config::Refusal& first = parsed.refusals.front();
  switch (first.kind) {
    case config::Refusal::Kind::Rule:
      InputError(FieldOf(first.field), first.message);
      break;
    case config::Refusal::Kind::NotInteger:
      throw ConvertError("'" + first.text + "'" + std::string(config::NotIntegerText));
    case config::Refusal::Kind::NoSuchDate:
      throw ConvertError(std::string(config::NoSuchDateText));
  }
  return std::nullopt;
}

void TConfig_Form::InputError(QWidget& field, std::string_view message) {
  dialogs_.Error(nullptr, Q(config::InputErrorCaption), Q(message));
  field.setFocus();
}

void TConfig_Form::Select(QComboBox& list, int position) {
  list.setCurrentIndex(position < list.count() ? position : -1);
  list.lineEdit()->setCursorPosition(0);  // a long entry shows its start
}

QWidget& TConfig_Form::FieldOf(config::InputField field) const {
  using Field = config::InputField;
  switch (field) {
    case Field::Brightness:
      return *LED_Bright_Edit;
    case Field::DelayHours:
      return *ShutDown_Delay_Houres_Edit;
    case Field::DelayMinutes:
      return *ShutDown_Delay_Minutes_Edit;
    case Field::DelaySeconds:
      return *ShutDown_Delay_Seconds_Edit;
    case Field::StartTripDelay:
      return *Start_Trip_Delay_Combo_Box;
    case Field::Mode:
      return *Mode_ComboBox;
    case Field::CorrectionInterval:
      return *Time_Correct_Interval_Edit;
    case Field::ClockMinute:
      return *Watch_Minutes_Edit;
    case Field::ClockHour:
      return *Watch_Houres_Edit;
    case Field::ClockDay:
      return *Calendar_Date_Edit;
    case Field::ClockMonth:
      return *Calendar_Month_Edit;
    case Field::ClockYear:
      return *Calendar_Year_Edit;
  }
  return *LED_Bright_Edit;  // not reached: every field is named above
}

int TConfig_Form::SelectedPosition(const QComboBox& list) {
  const int position = list.currentIndex();
  return position >= 0 && list.currentText() == list.itemText(position) ? position : -1;
}

// ---- Reading and closing ----

void TConfig_Form::Config_Form_Create() { Read_Config_Button->click(); }

void TConfig_Form::Read_Config_Button_Click() {
  auto progress = std::make_unique<TProgress_Bar_Form>(this);
  CentreOver(*progress, *this);
  progress->show();
  progress->SetMaximum(ReadProgressMaximum);
  progress->SetPosition(0);
  int step = 0;
  WithLink([&] {
    config::ReadSettings(
        link_, [&](config::SettingRead) { progress->SetPosition(std::min(++step, ReadProgressMaximum)); },
        [this](config::SettingRead which, const config::DeviceSettings& settings) { ShowSetting(which, settings); });
  });
  // On a failure the progress window goes only after the message was dismissed.
}

void TConfig_Form::ShowSetting(config::SettingRead which, const config::DeviceSettings& s) {
  using Read = config::SettingRead;
  switch (which) {
    case Read::Brightness:
      ShowBrightness(s.brightness);
      LED_Bright_Set_Button->setEnabled(true);
      break;
    case Read::ShutdownDelay:
      ShowShutdownDelay(s.shutdownDelay);
      ShutDown_Delay_Set_Button->setEnabled(true);
      break;
    case Read::StartTripDelay:
      Start_Trip_Delay_Combo_Box->setEnabled(true);
      Select(*Start_Trip_Delay_Combo_Box, s.startTripDelay);
      Start_Trip_Delay_Set_Button->setEnabled(true);
      break;
    case Read::Correction:
      ShowCorrection(s.correction);
      Time_Correct_Interval_ComboBox->setEnabled(true);
      Time_Correct_Interval_Set_Button->setEnabled(true);
      break;
    case Read::TripCount:
      ShowTripCount(s.tripCount);
      Trip_Counter_Edit->setEnabled(true);
      if (s.tripCount != 0) Trip_Counter_Reset_Button->setEnabled(true);  // 0 leaves it as it was
      break;
    case Read::Mode:
      Mode_ComboBox->setEnabled(true);
      Select(*Mode_ComboBox, s.mode);
      Mode_Set_Button->setEnabled(true);
      break;
    case Read::Clock:
      ShowClock(s.clock);
      Watch_Calendar_Set_Button->setEnabled(true);
      Watch_Calendar_Read_Current_Button->setEnabled(true);
      break;
    case Read::HardwareVersion:
      Hardware_Ver_Label->setText(FromDevice(s.hardwareVersion));
      break;
    case Read::SoftwareVersion:
      Software_Ver_Label->setText(FromDevice(s.softwareVersion));
      break;
  }
}

void TConfig_Form::Exit_Config_Button_Click() { SetModalResult(ResultExit); }

bool TConfig_Form::Digit_Edit_Key_Press(const QString& typed) {
  const QList<uint> characters = typed.toUcs4();
  const bool accepted =
      std::all_of(characters.begin(), characters.end(), [](uint c) { return config::DigitFieldAccepts(c); });
  if (!accepted) dialogs_.Beep();
  return !accepted;
}

bool TConfig_Form::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && qobject_cast<QLineEdit*>(watched)) {
    const auto* key = static_cast<QKeyEvent*>(event);
    // Focus moves and Delete are keys, not typed characters.
    const bool navigation = key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab || key->key() == Qt::Key_Delete;
    if (navigation || key->text().isEmpty()) return false;
    return Digit_Edit_Key_Press(key->text());
  }
  return QDialog::eventFilter(watched, event);
}

// ---- Showing what the device reports ----

void TConfig_Form::ShowBrightness(std::uint8_t level) {
  LED_Bright_Edit->setEnabled(true);
  LED_Bright_Edit->setText(QString::number(level));
}

void TConfig_Form::ShowShutdownDelay(std::uint16_t tenths) {
  const config::DelayParts delay = config::SplitShutdownDelay(tenths);
  const std::pair<QLineEdit*, int> fields[] = {{ShutDown_Delay_Houres_Edit, delay.hours},
                                               {ShutDown_Delay_Minutes_Edit, delay.minutes},
                                               {ShutDown_Delay_Seconds_Edit, delay.seconds}};
  for (const auto& [edit, value] : fields) {
    edit->setText(QString::number(value));
    edit->setEnabled(true);
  }
}

void TConfig_Form::ShowCorrection(std::uint8_t correctionByte) {
  const config::CorrectionView view = config::ShowCorrection(correctionByte);
  Select(*Time_Correct_Interval_ComboBox, view.listPosition);
  Time_Correct_Interval_Edit->setText(QString::number(view.interval));
  Time_Correct_Interval_Edit->setEnabled(view.intervalEnabled);
}

void TConfig_Form::ShowTripCount(std::uint8_t count) { Trip_Counter_Edit->setText(QString::number(count)); }

void TConfig_Form::ShowClock(const config::ClockText& clock) {
  const std::pair<QLineEdit*, const std::string*> fields[] = {{Calendar_Year_Edit, &clock.year},
                                                              {Calendar_Month_Edit, &clock.month},
                                                              {Calendar_Date_Edit, &clock.day},
                                                              {Watch_Houres_Edit, &clock.hour},
                                                              {Watch_Minutes_Edit, &clock.minute}};
  for (const auto& [edit, text] : fields) {
    edit->setText(FromDevice(*text));
    edit->setEnabled(true);
  }
}

// ---- Writing the settings back ----

void TConfig_Form::LED_Bright_Set_Button_Click() {
  const std::optional<std::uint8_t> level = Accepted(config::ParseBrightness(Utf8(*LED_Bright_Edit)));
  if (!level) return;
  WithLink([&] { ShowBrightness(config::SetBrightness(link_, *level)); });
}

void TConfig_Form::ShutDown_Delay_Set_Button_Click() {
  const std::optional<std::uint16_t> tenths = Accepted(config::ParseShutdownDelay(
      Utf8(*ShutDown_Delay_Houres_Edit), Utf8(*ShutDown_Delay_Minutes_Edit), Utf8(*ShutDown_Delay_Seconds_Edit)));
  if (!tenths) return;
  WithLink([&] { ShowShutdownDelay(config::SetShutdownDelay(link_, *tenths)); });
}

void TConfig_Form::Start_Trip_Delay_Set_Button_Click() {
  const std::optional<std::uint8_t> hours =
      Accepted(config::ParseStartTripDelay(SelectedPosition(*Start_Trip_Delay_Combo_Box)));
  if (!hours) return;
  WithLink([&] { Select(*Start_Trip_Delay_Combo_Box, config::SetStartTripDelay(link_, *hours)); });
}

void TConfig_Form::Mode_Set_ButtonClick() {
  const std::optional<std::uint8_t> mode = Accepted(config::ParseMode(SelectedPosition(*Mode_ComboBox)));
  if (!mode) return;
  WithLink([&] { Select(*Mode_ComboBox, config::SetMode(link_, *mode)); });
}

void TConfig_Form::Trip_Counter_Reset_Button_Click() {
  dialogs_.Beep();
  if (!dialogs_.Ask(nullptr, QStringLiteral("Обнуление счетчика маршрутов"),
                    QStringLiteral("Внимание! Все сохраненные маршруты будут потеряны!\nПродолжить все равно?"))) {
    return;
  }
  WithLink([&] {
    const std::uint8_t count = config::ResetTripCounter(link_);
    ShowTripCount(count);
    if (count == 0) Trip_Counter_Reset_Button->setEnabled(false);
  });
}

// ---- Clock, calendar and correction ----

void TConfig_Form::Watch_Calendar_Read_Current_ButtonClick() {
  const QDateTime now = now_();
  // The device keeps two year digits from 2000: another century would be cut
  // to a wrong year that "Установить" then sends.
  if (!config::ClockYearRule.Accepts(now.date().year() - 2000))
    return InputError(*Calendar_Year_Edit, config::ClockYearRule.message);
  const config::ClockText clock = config::ClockTextFor(now.date().year(), now.date().month(), now.date().day(),
                                                       now.time().hour(), now.time().minute());
  Calendar_Year_Edit->setText(QString::fromStdString(clock.year));
  Calendar_Month_Edit->setText(QString::fromStdString(clock.month));
  Calendar_Date_Edit->setText(QString::fromStdString(clock.day));
  Watch_Houres_Edit->setText(QString::fromStdString(clock.hour));
  Watch_Minutes_Edit->setText(QString::fromStdString(clock.minute));
}

void TConfig_Form::Watch_Calendar_Set_ButtonClick() {
  const std::optional<config::ClockSetting> clock =
      Accepted(config::ParseClock({Utf8(*Calendar_Year_Edit), Utf8(*Calendar_Month_Edit), Utf8(*Calendar_Date_Edit),
                                   Utf8(*Watch_Houres_Edit), Utf8(*Watch_Minutes_Edit)}));
  if (!clock) return;
  WithLink([&] { ShowClock(config::SetClock(link_, *clock)); });
}

void TConfig_Form::Time_Correct_Interval_Set_ButtonClick() {
  // Off converts nothing: its interval field may hold anything, even nothing.
  const std::optional<std::uint8_t> correction = Accepted(
      config::ParseCorrection(SelectedPosition(*Time_Correct_Interval_ComboBox), Utf8(*Time_Correct_Interval_Edit)));
  if (!correction) return;
  WithLink([&] { ShowCorrection(config::SetCorrection(link_, *correction)); });
}

void TConfig_Form::Time_Correct_Interval_ComboBoxChange() {
  Time_Correct_Interval_Edit->setEnabled(SelectedPosition(*Time_Correct_Interval_ComboBox) !=
                                         config::CorrectionOffPosition);
}

}  // namespace riventar::ui
