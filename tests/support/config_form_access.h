#pragma once
// What tests and tools reach of the configuration window: its controls,
// found by their object names, and the clock behind "Текущие".
#include <QComboBox>
#include <QDateTime>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <functional>
#include <utility>

#include "ui/config/Cfg_form.h"

namespace riventar::ui {

class TConfig_Form::TestAccess {
  const TConfig_Form& form_;  // first: the controls below are found in it

  template <class T>
  T* Control(const char* name) const {
    return form_.findChild<T*>(QLatin1String(name));
  }

 public:
  explicit TestAccess(const TConfig_Form& form) : form_(form) {}

  // The PC's clock as the window reads it for "Текущие".
  static void SetNow(TConfig_Form& form, std::function<QDateTime()> now) { form.now_ = std::move(now); }
  QFrame* LED_Bright_Panel = Control<QFrame>("LED_Bright_Panel");
  QLabel* LED_Bright_Label = Control<QLabel>("LED_Bright_Label");
  QLabel* LED_Bright_Range_Label = Control<QLabel>("LED_Bright_Range_Label");
  QLineEdit* LED_Bright_Edit = Control<QLineEdit>("LED_Bright_Edit");
  QPushButton* LED_Bright_Set_Button = Control<QPushButton>("LED_Bright_Set_Button");
  QFrame* ShutDown_Delay_Panel = Control<QFrame>("ShutDown_Delay_Panel");
  QLabel* ShutDown_Delay_Label = Control<QLabel>("ShutDown_Delay_Label");
  QLabel* ShutDown_Delay_hr_Label = Control<QLabel>("ShutDown_Delay_hr_Label");
  QLabel* ShutDown_Delay_min_Label = Control<QLabel>("ShutDown_Delay_min_Label");
  QLabel* ShutDown_Delay_sec_Label = Control<QLabel>("ShutDown_Delay_sec_Label");
  QLineEdit* ShutDown_Delay_Houres_Edit = Control<QLineEdit>("ShutDown_Delay_Houres_Edit");
  QLineEdit* ShutDown_Delay_Minutes_Edit = Control<QLineEdit>("ShutDown_Delay_Minutes_Edit");
  QLineEdit* ShutDown_Delay_Seconds_Edit = Control<QLineEdit>("ShutDown_Delay_Seconds_Edit");
  QPushButton* ShutDown_Delay_Set_Button = Control<QPushButton>("ShutDown_Delay_Set_Button");
  QFrame* Panel2 = Control<QFrame>("Panel2");
  QLabel* Start_Trip_Delay_Label = Control<QLabel>("Start_Trip_Delay_Label");
  QComboBox* Start_Trip_Delay_Combo_Box = Control<QComboBox>("Start_Trip_Delay_Combo_Box");
  QPushButton* Start_Trip_Delay_Set_Button = Control<QPushButton>("Start_Trip_Delay_Set_Button");
  QFrame* Trip_Counter_Panel = Control<QFrame>("Trip_Counter_Panel");
  QLabel* Trip_Counter_Label = Control<QLabel>("Trip_Counter_Label");
  QLineEdit* Trip_Counter_Edit = Control<QLineEdit>("Trip_Counter_Edit");
  QPushButton* Trip_Counter_Reset_Button = Control<QPushButton>("Trip_Counter_Reset_Button");
  QFrame* Mode_Panel = Control<QFrame>("Mode_Panel");
  QLabel* Mode_Label = Control<QLabel>("Mode_Label");
  QComboBox* Mode_ComboBox = Control<QComboBox>("Mode_ComboBox");
  QPushButton* Mode_Set_Button = Control<QPushButton>("Mode_Set_Button");
  QFrame* Panel3 = Control<QFrame>("Panel3");
  QLabel* Time_Correct_Interval_Label = Control<QLabel>("Time_Correct_Interval_Label");
  QLabel* Time_Correct_Interval_Label_1 = Control<QLabel>("Time_Correct_Interval_Label_1");
  QComboBox* Time_Correct_Interval_ComboBox = Control<QComboBox>("Time_Correct_Interval_ComboBox");
  QLineEdit* Time_Correct_Interval_Edit = Control<QLineEdit>("Time_Correct_Interval_Edit");
  QPushButton* Time_Correct_Interval_Set_Button = Control<QPushButton>("Time_Correct_Interval_Set_Button");
  QFrame* Watch_Panel = Control<QFrame>("Watch_Panel");
  QLabel* Watch_Label = Control<QLabel>("Watch_Label");
  QLabel* Calendar_Label = Control<QLabel>("Calendar_Label");
  QLabel* Watch_Break_Label = Control<QLabel>("Watch_Break_Label");
  QLabel* Calendar_Date_Break_Label = Control<QLabel>("Calendar_Date_Break_Label");
  QLabel* Calendar_Month_Break_Label = Control<QLabel>("Calendar_Month_Break_Label");
  QLabel* Calendar_Year_Prefix_Label = Control<QLabel>("Calendar_Year_Prefix_Label");
  QLineEdit* Watch_Houres_Edit = Control<QLineEdit>("Watch_Houres_Edit");
  QLineEdit* Watch_Minutes_Edit = Control<QLineEdit>("Watch_Minutes_Edit");
  QLineEdit* Calendar_Date_Edit = Control<QLineEdit>("Calendar_Date_Edit");
  QLineEdit* Calendar_Month_Edit = Control<QLineEdit>("Calendar_Month_Edit");
  QLineEdit* Calendar_Year_Edit = Control<QLineEdit>("Calendar_Year_Edit");
  QPushButton* Watch_Calendar_Set_Button = Control<QPushButton>("Watch_Calendar_Set_Button");
  QPushButton* Watch_Calendar_Read_Current_Button = Control<QPushButton>("Watch_Calendar_Read_Current_Button");
  QFrame* Panel1 = Control<QFrame>("Panel1");
  QLabel* Hardware_Version_Label = Control<QLabel>("Hardware_Version_Label");
  QLabel* Software_Version_Label = Control<QLabel>("Software_Version_Label");
  QLabel* Hardware_Ver_Label = Control<QLabel>("Hardware_Ver_Label");
  QLabel* Software_Ver_Label = Control<QLabel>("Software_Ver_Label");
  QPushButton* Read_Config_Button = Control<QPushButton>("Read_Config_Button");
  QPushButton* Exit_Config_Button = Control<QPushButton>("Exit_Config_Button");
};

inline TConfig_Form::TestAccess Ui(const TConfig_Form& form) { return TConfig_Form::TestAccess(form); }
inline void SetNow(TConfig_Form& form, std::function<QDateTime()> now) {
  TConfig_Form::TestAccess::SetNow(form, std::move(now));
}

}  // namespace riventar::ui
