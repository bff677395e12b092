#pragma once
// The modal configuration window. Creating it reads the device's settings;
// its modal result tells the opener what happened: 0 after creation (read
// succeeded, show it), 1 closed with "Выйти", 3 an exchange failed.
//
// Every exchange here is a single attempt on the UI thread; the window keeps
// no values of its own: a setting lives in its control between reading and
// writing.
#include <QDateTime>
#include <QDialog>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/config/device_settings.h"
#include "core/config/setting_input.h"
#include "core/link/port_link.h"

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace riventar::ui {

class Dialogs;

class TConfig_Form : public QDialog {
  Q_OBJECT

 public:
  static constexpr int ResultNone = 0;
  static constexpr int ResultExit = 1;
  static constexpr int ResultLinkFailure = 3;

  TConfig_Form(link::PortLink& link, Dialogs& dialogs, QWidget* owner);

  int ModalResult() const { return modalResult_; }

  // Tests and tools reach the window's controls and clock through this
  // (tests/support/config_form_access.h).
  class TestAccess;

 public slots:
  // The window has no close box and closes only through "Выйти" or a link
  // failure: Escape and the window manager's close do nothing.
  void reject() override {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Reading and closing.
  void Config_Form_Create();
  void Read_Config_Button_Click();
  void Exit_Config_Button_Click();
  // The key filter of the eleven numeric edits; true when `typed` is dropped
  // (after the warning beep).
  bool Digit_Edit_Key_Press(const QString& typed);

  // Writing the settings back.
  void LED_Bright_Set_Button_Click();
  void ShutDown_Delay_Set_Button_Click();
  void Start_Trip_Delay_Set_Button_Click();
  void Trip_Counter_Reset_Button_Click();
  void Mode_Set_ButtonClick();

  // Clock, calendar and correction.
  void Watch_Calendar_Read_Current_ButtonClick();
  void Watch_Calendar_Set_ButtonClick();
  void Time_Correct_Interval_Set_ButtonClick();
  void Time_Correct_Interval_ComboBoxChange();

  void BuildControls();
  void Connect(QPushButton* button, void (TConfig_Form::*handler)());
  void SetModalResult(int result);

  // Runs `exchanges`; an unanswered command shows the no-answer message and
  // closes the window with ResultLinkFailure. Other errors pass through.
  template <typename Body>
  void WithLink(Body&& exchanges);
  void LinkFailed();

  // The value to send, or nothing after the first refusal was shown: a rule's
  // message with the focus in its field; a conversion failure is thrown to
  // the general error box.
  template <typename Value>
  std::optional<Value> Accepted(config::Parsed<Value> parsed);
  void InputError(QWidget& field, std::string_view message);
  QWidget& FieldOf(config::InputField field) const;

  // A reading's row filled in and enabled.
  void ShowSetting(config::SettingRead which, const config::DeviceSettings& settings);
  void ShowBrightness(std::uint8_t level);
  void ShowShutdownDelay(std::uint16_t tenths);
  void ShowCorrection(std::uint8_t correctionByte);
  void ShowTripCount(std::uint8_t count);
  void ShowClock(const config::ClockText& clock);
  static void Select(QComboBox& list, int position);
  // The entry shown in the list's text field, or -1 once text was typed in.
  static int SelectedPosition(const QComboBox& list);

  link::PortLink& link_;
  Dialogs& dialogs_;
  int modalResult_ = ResultNone;
  // The PC's clock for "Текущие"; tests put a fixed time here.
  std::function<QDateTime()> now_ = [] { return QDateTime::currentDateTime(); };

  // Controls, owned by their Qt parents; each one's object name is its member name.
  QFrame* LED_Bright_Panel = nullptr;
  QLabel* LED_Bright_Label = nullptr;
  QLabel* LED_Bright_Range_Label = nullptr;
  QLineEdit* LED_Bright_Edit = nullptr;
  QPushButton* LED_Bright_Set_Button = nullptr;

  QFrame* ShutDown_Delay_Panel = nullptr;
  QLabel* ShutDown_Delay_Label = nullptr;
  QLabel* ShutDown_Delay_hr_Label = nullptr;
  QLabel* ShutDown_Delay_min_Label = nullptr;
  QLabel* ShutDown_Delay_sec_Label = nullptr;
  QLineEdit* ShutDown_Delay_Houres_Edit = nullptr;
  QLineEdit* ShutDown_Delay_Minutes_Edit = nullptr;
  QLineEdit* ShutDown_Delay_Seconds_Edit = nullptr;
  QPushButton* ShutDown_Delay_Set_Button = nullptr;

  QFrame* Panel2 = nullptr;
  QLabel* Start_Trip_Delay_Label = nullptr;
  QComboBox* Start_Trip_Delay_Combo_Box = nullptr;
  QPushButton* Start_Trip_Delay_Set_Button = nullptr;

  QFrame* Trip_Counter_Panel = nullptr;
  QLabel* Trip_Counter_Label = nullptr;
  QLineEdit* Trip_Counter_Edit = nullptr;
  QPushButton* Trip_Counter_Reset_Button = nullptr;

  QFrame* Mode_Panel = nullptr;
  QLabel* Mode_Label = nullptr;
  QComboBox* Mode_ComboBox = nullptr;
  QPushButton* Mode_Set_Button = nullptr;

  QFrame* Panel3 = nullptr;
  QLabel* Time_Correct_Interval_Label = nullptr;
  QLabel* Time_Correct_Interval_Label_1 = nullptr;
  QComboBox* Time_Correct_Interval_ComboBox = nullptr;
  QLineEdit* Time_Correct_Interval_Edit = nullptr;
  QPushButton* Time_Correct_Interval_Set_Button = nullptr;

  QFrame* Watch_Panel = nullptr;
  QLabel* Watch_Label = nullptr;
  QLabel* Calendar_Label = nullptr;
  QLabel* Watch_Break_Label = nullptr;
  QLabel* Calendar_Date_Break_Label = nullptr;
  QLabel* Calendar_Month_Break_Label = nullptr;
  QLabel* Calendar_Year_Prefix_Label = nullptr;
  QLineEdit* Watch_Houres_Edit = nullptr;
  QLineEdit* Watch_Minutes_Edit = nullptr;
  QLineEdit* Calendar_Date_Edit = nullptr;
  QLineEdit* Calendar_Month_Edit = nullptr;
  QLineEdit* Calendar_Year_Edit = nullptr;
  QPushButton* Watch_Calendar_Set_Button = nullptr;
  QPushButton* Watch_Calendar_Read_Current_Button = nullptr;

  QFrame* Panel1 = nullptr;
  QLabel* Hardware_Version_Label = nullptr;
  QLabel* Software_Version_Label = nullptr;
  QLabel* Hardware_Ver_Label = nullptr;
  QLabel* Software_Ver_Label = nullptr;

  QPushButton* Read_Config_Button = nullptr;
  QPushButton* Exit_Config_Button = nullptr;
};

}  // namespace riventar::ui
