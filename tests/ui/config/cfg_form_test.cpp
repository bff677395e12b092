// The configuration window against the simulated device on a real pty: the
// bytes the device receives, what the window shows, and its modal result.
#include "ui/config/Cfg_form.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "adapters/link/link.h"
#include "sim/simulator.h"
#include "tests/support/config_form_access.h"
#include "tests/support/scripted_dialogs.h"
#include "ui/common/Progressbar_form.h"

using riventar::testing::MsgIcon;
using riventar::testing::ScriptedDialogs;
using riventar::ui::TConfig_Form;
using Commands = std::vector<std::string>;

namespace {

const Commands ReadSequence = {"$LBR", "$SDR", "$AR", "$ICR", "$TN", "$MR", "$WCR", "$VHR", "$VSR"};
const QString InputCaption = QStringLiteral("Ошибка ввода параметра");

class ConfigWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    riventar::sim::DeviceSettings settings;
    settings.brightness = 12;
    settings.shutdownDelay = 901;
    settings.startTripDelay = 3;
    settings.clockCorrection = 0xf4;
    settings.mode = 1;
    settings.hardwareVersion = "<b>HW</b> 2.1";  // shown as these characters
    settings.softwareVersion = "SW 1.07";
    sim.SetSettings(settings);
    sim.SetTrips(std::vector<riventar::sim::DeviceTrip>(3));
    sim.SetClock({5, 10, 1, 10, 14, 5});
    ASSERT_FALSE(link.Start(sim.SlavePath()));
    // Room for a loaded machine running sanitizer builds; the device answers at once.
    link.SetReplyTimeout(std::chrono::milliseconds(500));
  }

  std::unique_ptr<TConfig_Form> Open() {
    auto form = std::make_unique<TConfig_Form>(link, dialogs, nullptr);
    // Later exchanges count from here.
    sim.ClearCommands();
    return form;
  }

  // Shown, so that focus can be checked.
  std::unique_ptr<TConfig_Form> OpenShown() {
    auto form = Open();
    form->show();
    QApplication::setActiveWindow(form.get());
    return form;
  }

  riventar::sim::Simulator sim;
  riventar::link::Link link;
  ScriptedDialogs dialogs;
};

riventar::sim::Misbehaviour SilentAfter(int answered) {
  riventar::sim::Misbehaviour m;
  m.silentAfter = answered;
  return m;
}

riventar::sim::Misbehaviour SilentOn(std::string command) {
  riventar::sim::Misbehaviour m;
  m.silentOn = {std::move(command)};
  return m;
}

int ProgressWindows() {
  const QWidgetList windows = QApplication::topLevelWidgets();
  return static_cast<int>(std::count_if(windows.begin(), windows.end(), [](QWidget* w) {
    return qobject_cast<riventar::ui::TProgress_Bar_Form*>(w) != nullptr;
  }));
}

// Every input and action button of the rows.
std::vector<QWidget*> Inputs(const TConfig_Form& f) {
  return {Ui(f).LED_Bright_Edit,
          Ui(f).LED_Bright_Set_Button,
          Ui(f).ShutDown_Delay_Houres_Edit,
          Ui(f).ShutDown_Delay_Minutes_Edit,
          Ui(f).ShutDown_Delay_Seconds_Edit,
          Ui(f).ShutDown_Delay_Set_Button,
          Ui(f).Start_Trip_Delay_Combo_Box,
          Ui(f).Start_Trip_Delay_Set_Button,
          Ui(f).Trip_Counter_Edit,
          Ui(f).Trip_Counter_Reset_Button,
          Ui(f).Mode_ComboBox,
          Ui(f).Mode_Set_Button,
          Ui(f).Time_Correct_Interval_ComboBox,
          Ui(f).Time_Correct_Interval_Edit,
          Ui(f).Time_Correct_Interval_Set_Button,
          Ui(f).Watch_Houres_Edit,
          Ui(f).Watch_Minutes_Edit,
          Ui(f).Calendar_Date_Edit,
          Ui(f).Calendar_Month_Edit,
          Ui(f).Calendar_Year_Edit,
          Ui(f).Watch_Calendar_Set_Button,
          Ui(f).Watch_Calendar_Read_Current_Button};
}

void Type(QWidget* target, const QString& text, Qt::Key key = Qt::Key_unknown) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
  QApplication::sendEvent(target, &press);
}

}  // namespace

TEST_F(ConfigWindow, CreationReadsNineSettingsAndEnablesEveryRow) {
  TConfig_Form form(link, dialogs, nullptr);
  EXPECT_EQ(sim.Commands(), ReadSequence);
  EXPECT_EQ(form.ModalResult(), 0);
  EXPECT_TRUE(dialogs.messages.empty());
  EXPECT_EQ(ProgressWindows(), 0);

  EXPECT_EQ(Ui(form).LED_Bright_Edit->text(), "12");
  EXPECT_EQ(Ui(form).ShutDown_Delay_Houres_Edit->text(), "0");
  EXPECT_EQ(Ui(form).ShutDown_Delay_Minutes_Edit->text(), "1");
  EXPECT_EQ(Ui(form).ShutDown_Delay_Seconds_Edit->text(), "30");
  EXPECT_EQ(Ui(form).Start_Trip_Delay_Combo_Box->currentText(), "3 часа");
  EXPECT_EQ(Ui(form).Time_Correct_Interval_ComboBox->currentText(), "Вычитать секунду каждые");
  EXPECT_EQ(Ui(form).Time_Correct_Interval_Edit->text(), "12");
  EXPECT_EQ(Ui(form).Trip_Counter_Edit->text(), "3");
  EXPECT_EQ(Ui(form).Mode_ComboBox->currentText(), "Маршрутный компьютер");
  EXPECT_EQ(Ui(form).Calendar_Year_Edit->text(), "05");
  EXPECT_EQ(Ui(form).Calendar_Month_Edit->text(), "10");
  EXPECT_EQ(Ui(form).Calendar_Date_Edit->text(), "10");
  EXPECT_EQ(Ui(form).Watch_Houres_Edit->text(), "14");
  EXPECT_EQ(Ui(form).Watch_Minutes_Edit->text(), "05");
  EXPECT_EQ(Ui(form).Hardware_Ver_Label->text(), "<b>HW</b> 2.1");
  for (const QLabel* label : form.findChildren<QLabel*>()) EXPECT_EQ(label->textFormat(), Qt::PlainText);
  EXPECT_EQ(Ui(form).Software_Ver_Label->text(), "SW 1.07");
  for (QWidget* w : Inputs(form)) EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();

  // "Считать" runs the same nine again.
  sim.ClearCommands();
  Ui(form).Read_Config_Button->click();
  EXPECT_EQ(sim.Commands(), ReadSequence);
}

TEST_F(ConfigWindow, SilentDeviceLeavesTheDesignedStartState) {
  sim.SetMisbehaviour(SilentAfter(0));
  auto form = Open();
  EXPECT_EQ(form->ModalResult(), TConfig_Form::ResultLinkFailure);
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].caption, "Ошибка связи с БК");
  EXPECT_EQ(dialogs.messages[0].icon, MsgIcon::Stop);

  EXPECT_EQ(form->windowTitle(), "Ривентар - Конфигурирование");
  EXPECT_EQ(form->size(), QSize(501, 415));
  EXPECT_EQ(Ui(*form).LED_Bright_Edit->text(), "6");
  EXPECT_EQ(Ui(*form).LED_Bright_Edit->maxLength(), 2);
  EXPECT_EQ(Ui(*form).ShutDown_Delay_Houres_Edit->maxLength(), 1);
  EXPECT_EQ(Ui(*form).ShutDown_Delay_Minutes_Edit->text(), "00");
  EXPECT_EQ(Ui(*form).Trip_Counter_Edit->maxLength(), 3);
  EXPECT_TRUE(Ui(*form).Trip_Counter_Edit->isReadOnly());
  EXPECT_EQ(Ui(*form).Start_Trip_Delay_Combo_Box->currentIndex(), -1);
  EXPECT_EQ(Ui(*form).Mode_ComboBox->currentIndex(), -1);
  EXPECT_EQ(Ui(*form).Time_Correct_Interval_ComboBox->currentText(), "Коррекция выключена");
  EXPECT_EQ(Ui(*form).Hardware_Ver_Label->text(), "HARDWARE");
  EXPECT_EQ(Ui(*form).Software_Ver_Label->text(), "SOFTWARE");
  for (QComboBox* list : form->findChildren<QComboBox*>()) {
    EXPECT_TRUE(list->isEditable());
    EXPECT_EQ(list->maxVisibleItems(), 5);
  }
  EXPECT_EQ(Ui(*form).Start_Trip_Delay_Combo_Box->count(), 10);
  EXPECT_EQ(Ui(*form).Mode_ComboBox->itemText(4), "Управление ИМ ЭБУ");

  for (QWidget* w : Inputs(*form)) EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
  EXPECT_TRUE(Ui(*form).Read_Config_Button->isEnabled());
  EXPECT_TRUE(Ui(*form).Exit_Config_Button->isEnabled());
  // Positions as designed: rows, their inputs and buttons.
  EXPECT_EQ(Ui(*form).Panel3->geometry(), QRect(16, 208, 385, 57));
  EXPECT_EQ(Ui(*form).Time_Correct_Interval_ComboBox->geometry().topLeft(), QPoint(8, 28));
  EXPECT_EQ(Ui(*form).Watch_Calendar_Read_Current_Button->geometry(), QRect(302, 36, 75, 25));
  EXPECT_EQ(Ui(*form).Calendar_Year_Edit->geometry().left(), 230);
  EXPECT_EQ(Ui(*form).Exit_Config_Button->geometry(), QRect(416, 56, 75, 25));
}

TEST_F(ConfigWindow, AModeReplyCutShortIsNamedAndEndsTheReading) {
  sim.SetMisbehaviour(riventar::sim::Misbehaviour::CutOn("MR", 4));  // "!MR0", one digit short
  auto form = std::make_unique<TConfig_Form>(link, dialogs, nullptr);
  EXPECT_EQ(sim.Commands(), Commands(ReadSequence.begin(), ReadSequence.begin() + 6));
  EXPECT_EQ(form->ModalResult(), TConfig_Form::ResultLinkFailure);
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].caption, "Ошибка связи с БК");
  EXPECT_EQ(
      dialogs.messages[0].text,
      QStringLiteral("БК прислал неполный или искажённый ответ на команду $MR.\nДанные этого ответа не приняты.\n"));
  EXPECT_EQ(Ui(*form).Mode_ComboBox->currentIndex(), -1);
  EXPECT_FALSE(Ui(*form).Mode_ComboBox->isEnabled());
}

TEST_F(ConfigWindow, TimeoutAtTheSixthCommandKeepsWhatWasRead) {
  sim.SetMisbehaviour(SilentAfter(5));
  int barAtFailure = -1, barMaximum = -1;
  QPoint barAt;
  TConfig_Form* live = nullptr;
  dialogs.onMessage = [&](const riventar::testing::MessageRecord&) {
    // The progress window stays up while the message is shown.
    auto bars = QApplication::topLevelWidgets();
    for (QWidget* w : bars) {
      if (auto* p = qobject_cast<riventar::ui::TProgress_Bar_Form*>(w)) {
        const auto* bar = p->findChild<QProgressBar*>(QStringLiteral("ProgressBar"));
        barAtFailure = bar->value();
        barMaximum = bar->maximum();
        barAt = p->pos();
      }
      if (auto* f = qobject_cast<TConfig_Form*>(w)) live = f;
    }
  };
  auto form = std::make_unique<TConfig_Form>(link, dialogs, nullptr);
  EXPECT_EQ(live, form.get());
  EXPECT_EQ(barAtFailure, 6);
  EXPECT_EQ(barMaximum, 8);
  // Centred over the window's designed bounds (267, 147, 501 x 415); the halves truncate.
  EXPECT_EQ(barAt, QPoint(267 + 250 - 133, 147 + 207 - 23));
  EXPECT_EQ(sim.Commands(), Commands(ReadSequence.begin(), ReadSequence.begin() + 6));
  EXPECT_EQ(form->ModalResult(), TConfig_Form::ResultLinkFailure);
  EXPECT_EQ(Ui(*form).LED_Bright_Edit->text(), "12");
  EXPECT_EQ(Ui(*form).ShutDown_Delay_Seconds_Edit->text(), "30");
  EXPECT_EQ(Ui(*form).Start_Trip_Delay_Combo_Box->currentIndex(), 3);
  EXPECT_EQ(Ui(*form).Time_Correct_Interval_Edit->text(), "12");
  EXPECT_EQ(Ui(*form).Trip_Counter_Edit->text(), "3");
  EXPECT_TRUE(Ui(*form).Trip_Counter_Reset_Button->isEnabled());
  EXPECT_FALSE(Ui(*form).Mode_ComboBox->isEnabled());
  EXPECT_FALSE(Ui(*form).Watch_Houres_Edit->isEnabled());
  EXPECT_EQ(Ui(*form).Hardware_Ver_Label->text(), "HARDWARE");
  EXPECT_EQ(ProgressWindows(), 0);
}

namespace {

// What a row shows, joined for compact comparisons.
QString Delay(const TConfig_Form& f) {
  return Ui(f).ShutDown_Delay_Houres_Edit->text() + " " + Ui(f).ShutDown_Delay_Minutes_Edit->text() + " " +
         Ui(f).ShutDown_Delay_Seconds_Edit->text();
}
QString Correction(const TConfig_Form& f) {
  return Ui(f).Time_Correct_Interval_ComboBox->currentText() + " " + Ui(f).Time_Correct_Interval_Edit->text() +
         (Ui(f).Time_Correct_Interval_Edit->isEnabled() ? " on" : " off");
}
QString Clock(const TConfig_Form& f) {
  return Ui(f).Calendar_Year_Edit->text() + "-" + Ui(f).Calendar_Month_Edit->text() + "-" +
         Ui(f).Calendar_Date_Edit->text() + " " + Ui(f).Watch_Houres_Edit->text() + ":" +
         Ui(f).Watch_Minutes_Edit->text();
}

void SetDelay(TConfig_Form& f, const char* h, const char* m, const char* s) {
  Ui(f).ShutDown_Delay_Houres_Edit->setText(h);
  Ui(f).ShutDown_Delay_Minutes_Edit->setText(m);
  Ui(f).ShutDown_Delay_Seconds_Edit->setText(s);
}
void SetCorrection(TConfig_Form& f, int position, const char* interval) {
  Ui(f).Time_Correct_Interval_ComboBox->setCurrentIndex(position);
  Ui(f).Time_Correct_Interval_Edit->setText(interval);
}
void SetClock(TConfig_Form& f, const char* y, const char* mo, const char* d, const char* h, const char* mi) {
  Ui(f).Calendar_Year_Edit->setText(y);
  Ui(f).Calendar_Month_Edit->setText(mo);
  Ui(f).Calendar_Date_Edit->setText(d);
  Ui(f).Watch_Houres_Edit->setText(h);
  Ui(f).Watch_Minutes_Edit->setText(mi);
}

using Button = QPushButton* TConfig_Form::TestAccess::*;
constexpr Button Bright = &TConfig_Form::TestAccess::LED_Bright_Set_Button;
constexpr Button DelaySet = &TConfig_Form::TestAccess::ShutDown_Delay_Set_Button;
constexpr Button StartSet = &TConfig_Form::TestAccess::Start_Trip_Delay_Set_Button;
constexpr Button ModeSet = &TConfig_Form::TestAccess::Mode_Set_Button;
constexpr Button CorrectionSet = &TConfig_Form::TestAccess::Time_Correct_Interval_Set_Button;
constexpr Button ClockSet = &TConfig_Form::TestAccess::Watch_Calendar_Set_Button;

}  // namespace

TEST_F(ConfigWindow, EachSettingGoesOutAndIsReadBack) {
  struct Case {
    std::function<void(TConfig_Form&)> enter;
    Button button;
    Commands sent;
    std::function<QString(const TConfig_Form&)> shown;
    QString expected;
  };
  const auto bright = [](const TConfig_Form& f) { return Ui(f).LED_Bright_Edit->text(); };
  const auto start = [](const TConfig_Form& f) { return Ui(f).Start_Trip_Delay_Combo_Box->currentText(); };
  const auto mode = [](const TConfig_Form& f) { return Ui(f).Mode_ComboBox->currentText(); };
  const Case cases[] = {
      {[](auto& f) { Ui(f).LED_Bright_Edit->setText("6"); }, Bright, {"$LBS060e", "$LBR"}, bright, "6"},
      {[](auto& f) { Ui(f).LED_Bright_Edit->setText("1"); }, Bright, {"$LBS0113", "$LBR"}, bright, "1"},
      {[](auto& f) { Ui(f).LED_Bright_Edit->setText("19"); }, Bright, {"$LBS1301", "$LBR"}, bright, "19"},
      {[](auto& f) { SetDelay(f, "0", "1", "30"); }, DelaySet, {"$SDS0384", "$SDR"}, Delay, "0 1 30"},
      {[](auto& f) { SetDelay(f, "1", "49", "13"); }, DelaySet, {"$SDSfffa", "$SDR"}, Delay, "1 49 13"},
      {[](auto& f) { SetDelay(f, "0", "00", "00"); }, DelaySet, {"$SDS0000", "$SDR"}, Delay, "0 0 0"},
      {[](auto& f) { SetDelay(f, "0", "05", "0"); }, DelaySet, {"$SDS0bb8", "$SDR"}, Delay, "0 5 0"},
      {[](auto& f) { SetDelay(f, "0", "5", "0"); }, DelaySet, {"$SDS0bb8", "$SDR"}, Delay, "0 5 0"},
      {[](auto& f) { Ui(f).Start_Trip_Delay_Combo_Box->setCurrentIndex(3); },
       StartSet,
       {"$AS03", "$AR"},
       start,
       "3 часа"},
      {[](auto& f) { Ui(f).Start_Trip_Delay_Combo_Box->setCurrentIndex(0); },
       StartSet,
       {"$AS00", "$AR"},
       start,
       "Отключено"},
      {[](auto& f) { Ui(f).Mode_ComboBox->setCurrentIndex(1); },
       ModeSet,
       {"$MS01", "$MR"},
       mode,
       "Маршрутный компьютер"},
      {[](auto& f) { Ui(f).Mode_ComboBox->setCurrentIndex(4); }, ModeSet, {"$MS04", "$MR"}, mode, "Управление ИМ ЭБУ"},
      {[](auto& f) { SetCorrection(f, 0, "5"); },
       CorrectionSet,
       {"$ICS05", "$ICR"},
       Correction,
       "Прибавлять секунду каждые 5 on"},
      {[](auto& f) { SetCorrection(f, 1, "30"); },
       CorrectionSet,
       {"$ICSe2", "$ICR"},
       Correction,
       "Вычитать секунду каждые 30 on"},
      {[](auto& f) { SetCorrection(f, 1, "127"); },
       CorrectionSet,
       {"$ICS81", "$ICR"},
       Correction,
       "Вычитать секунду каждые 127 on"},
      {[](auto& f) { SetCorrection(f, 2, ""); },
       CorrectionSet,
       {"$ICS00", "$ICR"},
       Correction,
       "Коррекция выключена 0 off"},
      {[](auto& f) { SetCorrection(f, 1, "0"); },
       CorrectionSet,
       {"$ICS00", "$ICR"},
       Correction,
       "Коррекция выключена 0 off"},
      {[](auto& f) { SetClock(f, "05", "10", "10", "14", "05"); },
       ClockSet,
       {"$WCS051001101405", "$WCR"},
       Clock,
       "05-10-10 14:05"},
      {[](auto& f) { SetClock(f, "08", "02", "29", "23", "59"); },
       ClockSet,
       {"$WCS080205292359", "$WCR"},
       Clock,
       "08-02-29 23:59"},
      {[](auto& f) { SetClock(f, "05", "10", "16", "0", "7"); },
       ClockSet,
       {"$WCS051007160007", "$WCR"},
       Clock,
       "05-10-16 00:07"},
  };
  auto form = Open();
  for (const Case& c : cases) {
    sim.ClearCommands();
    c.enter(*form);
    (Ui(*form).*c.button)->click();
    EXPECT_EQ(sim.Commands(), c.sent);
    EXPECT_EQ(c.shown(*form), c.expected) << c.sent[0];
  }
  EXPECT_TRUE(dialogs.messages.empty());
  EXPECT_EQ(form->ModalResult(), 0);
  EXPECT_EQ(sim.Settings().clockCorrection, 0);
  EXPECT_EQ(sim.Clock(), (riventar::sim::DeviceClock{5, 10, 7, 16, 0, 7}));
}

TEST_F(ConfigWindow, InputErrorsStopAtTheFirstFailingField) {
  struct Case {
    std::function<void(TConfig_Form&)> enter;
    Button button;
    QString message;
  };
  const Case cases[] = {
      {[](auto& f) { Ui(f).LED_Bright_Edit->setText("0"); }, Bright,
       "Значение яркости подсветки ЖКИ\nдолжно лежать в диапазоне от 1 до 19."},
      {[](auto& f) { Ui(f).LED_Bright_Edit->setText("20"); }, Bright,
       "Значение яркости подсветки ЖКИ\nдолжно лежать в диапазоне от 1 до 19."},
      {[](auto& f) { SetDelay(f, "2", "60", "60"); }, DelaySet,
       "Значение секунд задержки выключения\nдолжно лежать в диапазоне от 0 до 59."},
      {[](auto& f) { SetDelay(f, "2", "60", "0"); }, DelaySet,
       "Значение минут задержки выключения\nдолжно лежать в диапазоне от 0 до 59."},
      {[](auto& f) { SetDelay(f, "2", "0", "0"); }, DelaySet,
       "Значение часов задержки выключения\nдолжно лежать в диапазоне от 0 до 1."},
      {[](auto& f) { SetDelay(f, "1", "49", "14"); }, DelaySet,
       "Значение задержки выключения\nне должно превышать 1 час 49 минут 13 секунд."},
      {[](auto& f) { SetClock(f, "05", "13", "0", "24", "60"); }, ClockSet,
       "Значение минут текущего времени\nдолжно лежать в диапазоне от 0 до 59."},
      {[](auto& f) { SetClock(f, "05", "13", "0", "24", "0"); }, ClockSet,
       "Значение часов текущего времени\nдолжно лежать в диапазоне от 0 до 23."},
      {[](auto& f) { SetClock(f, "05", "13", "0", "0", "0"); }, ClockSet,
       "Значение текущей даты\nдолжно лежать в диапазоне от 1 до 31."},
      {[](auto& f) { SetClock(f, "05", "13", "1", "0", "0"); }, ClockSet,
       "Значение номера месяца\nдолжно лежать в диапазоне от 1 до 12."},
      {[](auto& f) { SetClock(f, "-1", "1", "1", "0", "0"); }, ClockSet,
       "Значение года текущей даты\nдолжно лежать в диапазоне от 0 до 99."},
      {[](auto& f) { SetCorrection(f, 1, "128"); }, CorrectionSet,
       "Интервал коррекции не может\nпревышать 1270 минут.\n"},
      {[](auto& f) { SetCorrection(f, 0, "-5"); }, CorrectionSet, "Интервал коррекции не может\nбыть отрицательным.\n"},
      {[](auto& f) { Ui(f).Start_Trip_Delay_Combo_Box->setCurrentIndex(-1); }, StartSet,
       "Задержка начала маршрута\nдолжна быть выбрана из списка."},
      {[](auto& f) { Ui(f).Mode_ComboBox->setCurrentIndex(-1); }, ModeSet,
       "Режим работы\nдолжен быть выбран из списка."},
  };
  auto form = OpenShown();
  // The field each message names gets the focus.
  const std::vector<QWidget*> focused = {Ui(*form).LED_Bright_Edit,
                                         Ui(*form).LED_Bright_Edit,
                                         Ui(*form).ShutDown_Delay_Seconds_Edit,
                                         Ui(*form).ShutDown_Delay_Minutes_Edit,
                                         Ui(*form).ShutDown_Delay_Houres_Edit,
                                         Ui(*form).ShutDown_Delay_Houres_Edit,
                                         Ui(*form).Watch_Minutes_Edit,
                                         Ui(*form).Watch_Houres_Edit,
                                         Ui(*form).Calendar_Date_Edit,
                                         Ui(*form).Calendar_Month_Edit,
                                         Ui(*form).Calendar_Year_Edit,
                                         Ui(*form).Time_Correct_Interval_Edit,
                                         Ui(*form).Time_Correct_Interval_Edit,
                                         Ui(*form).Start_Trip_Delay_Combo_Box,
                                         Ui(*form).Mode_ComboBox};
  ASSERT_EQ(focused.size(), std::size(cases));
  for (std::size_t i = 0; i < focused.size(); ++i) {
    const Case& c = cases[i];
    dialogs.messages.clear();
    Ui(*form).Read_Config_Button->setFocus();
    c.enter(*form);
    const QString typed = Ui(*form).ShutDown_Delay_Minutes_Edit->text();
    (Ui(*form).*c.button)->click();
    ASSERT_EQ(dialogs.messages.size(), 1u) << i;
    EXPECT_EQ(dialogs.messages[0].caption, InputCaption);
    EXPECT_EQ(dialogs.messages[0].icon, MsgIcon::Stop);
    EXPECT_EQ(dialogs.messages[0].text, c.message);
    EXPECT_EQ(form->focusWidget(), focused[i]) << i;
    EXPECT_EQ(Ui(*form).ShutDown_Delay_Minutes_Edit->text(), typed);  // typed values stay
  }
  EXPECT_TRUE(sim.Commands().empty());
  EXPECT_EQ(form->ModalResult(), 0);
  EXPECT_TRUE(form->isVisible());
}

TEST_F(ConfigWindow, ConversionErrorsReachTheErrorBoxAndSendNothing) {
  struct Case {
    std::function<void(TConfig_Form&)> enter;
    Button button;
    QString text;
  };
  const Case cases[] = {
      {[](auto& f) { SetDelay(f, "0", "1", ""); }, DelaySet, "'' is not a valid integer value"},
      {[](auto& f) { SetDelay(f, "0", "x", "0"); }, DelaySet, "'x' is not a valid integer value"},  // pasted
      {[](auto& f) { Ui(f).LED_Bright_Edit->setText(""); }, Bright, "'' is not a valid integer value"},
      {[](auto& f) { SetCorrection(f, 0, ""); }, CorrectionSet, "'' is not a valid integer value"},
      {[](auto& f) { SetClock(f, "09", "02", "29", "23", "59"); }, ClockSet, "Invalid argument to date encode"},
      {[](auto& f) { SetClock(f, "05", "04", "31", "0", "0"); }, ClockSet, "Invalid argument to date encode"},
  };
  auto form = Open();
  for (const Case& c : cases) {
    dialogs.messages.clear();
    c.enter(*form);
    (Ui(*form).*c.button)->click();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, c.text);
    EXPECT_EQ(dialogs.messages[0].icon, MsgIcon::Stop);
    EXPECT_NE(dialogs.messages[0].caption, InputCaption);
  }
  EXPECT_TRUE(sim.Commands().empty());
  EXPECT_EQ(form->ModalResult(), 0);
}

TEST_F(ConfigWindow, CounterResetAsksFirst) {
  auto form = Open();
  dialogs.answers = {riventar::testing::MsgAnswer::No};
  Ui(*form).Trip_Counter_Reset_Button->click();
  EXPECT_EQ(dialogs.log, (std::vector<std::string>{"beep", "message:Обнуление счетчика маршрутов"}));
  EXPECT_EQ(dialogs.messages[0].text, "Внимание! Все сохраненные маршруты будут потеряны!\nПродолжить все равно?");
  EXPECT_EQ(dialogs.messages[0].icon, MsgIcon::Question);
  EXPECT_TRUE(sim.Commands().empty());
  EXPECT_EQ(sim.Trips().size(), 3u);

  dialogs.answers = {riventar::testing::MsgAnswer::Yes};
  Ui(*form).Trip_Counter_Reset_Button->click();
  EXPECT_EQ(sim.Commands(), (Commands{"$TC", "$TN"}));
  EXPECT_EQ(Ui(*form).Trip_Counter_Edit->text(), "0");
  EXPECT_FALSE(Ui(*form).Trip_Counter_Reset_Button->isEnabled());
  EXPECT_TRUE(sim.Trips().empty());
}

TEST_F(ConfigWindow, CounterOfZeroLeavesTheResetButtonDisabled) {
  sim.SetTrips({});
  auto form = Open();
  EXPECT_EQ(Ui(*form).Trip_Counter_Edit->text(), "0");
  EXPECT_TRUE(Ui(*form).Trip_Counter_Edit->isEnabled());
  EXPECT_FALSE(Ui(*form).Trip_Counter_Reset_Button->isEnabled());
}

TEST_F(ConfigWindow, LinkFailureOnAShownWindowClosesItWithThree) {
  struct Case {
    std::string silentOn;
    Button button;
    Commands sent;
  };
  const Case cases[] = {
      {"LBS", Bright, {"$LBS0c08"}},
      {"LBR", Bright, {"$LBS0c08", "$LBR"}},  // the device took it; the field keeps the typed value
      {"TN", &TConfig_Form::TestAccess::Trip_Counter_Reset_Button, {"$TC", "$TN"}},
      {"LBR", &TConfig_Form::TestAccess::Read_Config_Button, {"$LBR"}},
  };
  for (const Case& c : cases) {
    dialogs.messages.clear();
    dialogs.answers = {riventar::testing::MsgAnswer::Yes};
    auto form = OpenShown();
    sim.SetMisbehaviour(SilentOn(c.silentOn));
    (Ui(*form).*c.button)->click();
    EXPECT_EQ(sim.Commands(), c.sent);
    ASSERT_EQ(dialogs.messages.size(), c.button == &TConfig_Form::TestAccess::Trip_Counter_Reset_Button ? 2u : 1u);
    EXPECT_EQ(dialogs.messages.back().caption, "Ошибка связи с БК");
    EXPECT_EQ(
        dialogs.messages.back().text,
        "БК не ответил на запрос программы.\nПроверьте подключение БК к RS232C\nи нахождение БК в режиме обмена.\n");
    EXPECT_EQ(form->ModalResult(), TConfig_Form::ResultLinkFailure);
    EXPECT_EQ(form->result(), TConfig_Form::ResultLinkFailure);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(ProgressWindows(), 0);
    sim.SetMisbehaviour({});
  }
}

TEST_F(ConfigWindow, ExitClosesWithOne) {
  auto form = OpenShown();
  Ui(*form).Exit_Config_Button->click();
  EXPECT_EQ(form->ModalResult(), TConfig_Form::ResultExit);
  EXPECT_EQ(form->result(), TConfig_Form::ResultExit);
  EXPECT_FALSE(form->isVisible());
  EXPECT_TRUE(sim.Commands().empty());
}

TEST_F(ConfigWindow, EscapeDoesNotCloseTheWindow) {
  auto form = OpenShown();
  Type(form.get(), QString(QChar(27)), Qt::Key_Escape);
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(form->ModalResult(), 0);
}

TEST_F(ConfigWindow, PcClockFillsTheFieldsAndSendsNothing) {
  auto form = Open();
  SetNow(*form, [] { return QDateTime(QDate(2009, 3, 7), QTime(8, 4, 59)); });
  Ui(*form).Watch_Calendar_Read_Current_Button->click();
  EXPECT_EQ(Clock(*form), "09-03-07 08:04");
  EXPECT_TRUE(sim.Commands().empty());

  // A computer clock outside the device's century fills nothing.
  for (const int year : {1999, 2100}) {
    SetNow(*form, [year] { return QDateTime(QDate(year, 3, 7), QTime(8, 4)); });
    dialogs.messages.clear();
    Ui(*form).Watch_Calendar_Read_Current_Button->click();
    EXPECT_EQ(Clock(*form), "09-03-07 08:04") << year;
    ASSERT_EQ(dialogs.messages.size(), 1u) << year;
    EXPECT_EQ(dialogs.messages[0].text, "Значение года текущей даты\nдолжно лежать в диапазоне от 0 до 99.");
  }
}

TEST_F(ConfigWindow, DeviceValuesTheListsLackLeaveNoEntryAndAreNotSent) {
  riventar::sim::DeviceSettings settings = sim.Settings();
  settings.mode = 7;
  settings.startTripDelay = 10;
  settings.clockCorrection = 0x80;
  settings.hardwareVersion = "";
  sim.SetSettings(settings);
  auto form = Open();
  EXPECT_EQ(Ui(*form).Mode_ComboBox->currentIndex(), -1);
  EXPECT_EQ(Ui(*form).Start_Trip_Delay_Combo_Box->currentIndex(), -1);
  EXPECT_TRUE(Ui(*form).Mode_Set_Button->isEnabled());
  EXPECT_EQ(Correction(*form), "Вычитать секунду каждые 128 on");
  EXPECT_EQ(Ui(*form).Hardware_Ver_Label->text(), "");
  EXPECT_TRUE(dialogs.messages.empty());
  Ui(*form).Mode_Set_Button->click();
  Ui(*form).Start_Trip_Delay_Set_Button->click();
  EXPECT_EQ(dialogs.Captions(), (std::vector<std::string>{InputCaption.toStdString(), InputCaption.toStdString()}));
  EXPECT_TRUE(sim.Commands().empty());
}

TEST_F(ConfigWindow, TypingIntoAListClearsItsChoice) {
  auto form = OpenShown();
  // Correction off, then text typed into the list: the interval counts as adding.
  SetCorrection(*form, 2, "7");
  EXPECT_FALSE(Ui(*form).Time_Correct_Interval_Edit->isEnabled());
  Type(Ui(*form).Time_Correct_Interval_ComboBox->lineEdit(), "x");
  EXPECT_TRUE(Ui(*form).Time_Correct_Interval_Edit->isEnabled());
  Ui(*form).Time_Correct_Interval_Set_Button->click();
  EXPECT_EQ(sim.Commands(), (Commands{"$ICS07", "$ICR"}));

  // A choice from the list disables the interval again.
  Ui(*form).Time_Correct_Interval_ComboBox->setCurrentIndex(2);
  EXPECT_FALSE(Ui(*form).Time_Correct_Interval_Edit->isEnabled());

  sim.ClearCommands();
  Ui(*form).Mode_ComboBox->setCurrentIndex(2);
  Type(Ui(*form).Mode_ComboBox->lineEdit(), "x");
  Ui(*form).Mode_Set_Button->click();
  EXPECT_EQ(dialogs.Captions(), std::vector<std::string>{InputCaption.toStdString()});
  EXPECT_TRUE(sim.Commands().empty());
}

TEST_F(ConfigWindow, NumericFieldsTakeDigitsAndBackspaceOnly) {
  auto form = Open();
  const std::vector<QLineEdit*> edits = {Ui(*form).LED_Bright_Edit,
                                         Ui(*form).ShutDown_Delay_Houres_Edit,
                                         Ui(*form).ShutDown_Delay_Minutes_Edit,
                                         Ui(*form).ShutDown_Delay_Seconds_Edit,
                                         Ui(*form).Trip_Counter_Edit,
                                         Ui(*form).Time_Correct_Interval_Edit,
                                         Ui(*form).Watch_Houres_Edit,
                                         Ui(*form).Watch_Minutes_Edit,
                                         Ui(*form).Calendar_Date_Edit,
                                         Ui(*form).Calendar_Month_Edit,
                                         Ui(*form).Calendar_Year_Edit};
  for (QLineEdit* edit : edits) {
    edit->setEnabled(true);
    edit->setText("");
    const int beeps = dialogs.beeps;
    Type(edit, "a", Qt::Key_A);
    Type(edit, QStringLiteral("ж"));
    Type(edit, "-", Qt::Key_Minus);
    Type(edit, "\r", Qt::Key_Return);
    EXPECT_EQ(dialogs.beeps, beeps + 4) << edit->objectName().toStdString();
    EXPECT_EQ(edit->text(), "") << edit->objectName().toStdString();
    Type(edit, "", Qt::Key_Left);  // no text: passes silently
    Type(edit, "\t", Qt::Key_Tab);
    EXPECT_EQ(dialogs.beeps, beeps + 4) << edit->objectName().toStdString();
    if (edit->isReadOnly()) continue;
    Type(edit, "1", Qt::Key_1);
    EXPECT_EQ(edit->text(), "1");
    Type(edit, "\b", Qt::Key_Backspace);
    EXPECT_EQ(edit->text(), "");
    EXPECT_EQ(dialogs.beeps, beeps + 4);
  }
}
