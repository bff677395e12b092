#pragma once
// What tests, benchmarks and tools reach of the main window: its controls,
// found by their object names, and its state and handlers, called as a click
// or the window itself would call them.
#include <QAction>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QToolButton>
#include <memory>
#include <utility>

#include "ui/app/Main_form.h"

namespace riventar::ui {

class TMonitor_Form::TestAccess {
  TMonitor_Form& form_;  // first: the controls below are found in it

 public:
  explicit TestAccess(TMonitor_Form& form) : form_(form) {}

  template <class T>
  T* Control(const char* name) const {
    return form_.findChild<T*>(QLatin1String(name));
  }

  QFrame* COM_Select_Panel = Control<QFrame>("COM_Select_Panel");
  QRadioButton* COM1_Select_RadioButton = Control<QRadioButton>("COM1_Select_RadioButton");
  QRadioButton* COM2_Select_RadioButton = Control<QRadioButton>("COM2_Select_RadioButton");
  QToolButton* Connect_SpeedButton = Control<QToolButton>("Connect_SpeedButton");
  QPushButton* Configuration_Button = Control<QPushButton>("Configuration_Button");
  QPushButton* About_Button = Control<QPushButton>("About_Button");
  QPushButton* Exit_Button = Control<QPushButton>("Exit_Button");
  QFrame* Vehicle_Info_Panel = Control<QFrame>("Vehicle_Info_Panel");
  QLabel* Vehicle_Model_Label = Control<QLabel>("Vehicle_Model_Label");
  QLineEdit* Vehicle_Model_Edit = Control<QLineEdit>("Vehicle_Model_Edit");
  QLabel* Vehicle_Reg_Id_Label = Control<QLabel>("Vehicle_Reg_Id_Label");
  QLineEdit* Vehicle_Reg_Id_Edit = Control<QLineEdit>("Vehicle_Reg_Id_Edit");
  QLabel* Vehicle_Owner_Label = Control<QLabel>("Vehicle_Owner_Label");
  QLineEdit* Vehicle_Owner_Edit = Control<QLineEdit>("Vehicle_Owner_Edit");
  QFrame* Trip_Params_Panel = Control<QFrame>("Trip_Params_Panel");
  QTableView* Trip_Params_StringGrid = Control<QTableView>("Trip_Params_StringGrid");
  QPushButton* Read_Trip_From_BK_Button = Control<QPushButton>("Read_Trip_From_BK_Button");
  QPushButton* Read_Trip_From_File_Button = Control<QPushButton>("Read_Trip_From_File_Button");
  QPushButton* Save_Trip_To_File_Button = Control<QPushButton>("Save_Trip_To_File_Button");
  QPushButton* Clear_Trip_Table_Button = Control<QPushButton>("Clear_Trip_Table_Button");
  QMenu* PopupMenu = Control<QMenu>("PopupMenu");
  QList<QAction*> PopupItems = PopupMenu->actions();  // N1..N6
  QToolButton* Port_Choice_Button = Control<QToolButton>("Port_Choice_Button");
  QMenu* Port_Choice_Menu = Control<QMenu>("Port_Choice_Menu");
  QPushButton* Logbook_Button = Control<QPushButton>("Logbook_Button");
  QLabel* Logbook_Status_Label = Control<QLabel>("Logbook_Status_Label");

  // The trips shown and whether they are unsaved; set as a test's start.
  const trips::TripList& Trips() const { return form_.document_.Trips(); }
  void SetTrips(trips::TripList trips) {
    services::TripDocument& document = form_.document_;
    const bool unsaved = document.Unsaved();
    document.Show(document.Vehicle(), std::move(trips));
    if (unsaved) document.MarkUnsaved();
  }
  bool Unsaved() const { return form_.document_.Unsaved(); }
  void SetUnsaved(bool unsaved) {
    services::TripDocument& document = form_.document_;
    if (unsaved) {
      document.MarkUnsaved();
    } else {
      document.Show(document.Vehicle(), document.Trips());
    }
  }
  const QList<TTrip_Stat_Form*>& StatWindows() const { return form_.statWindows_; }
  link::PortLink& Link() { return form_.device_.Link(); }
  TripTableModel& TableModel() const { return *form_.model_; }
  QPrinter& StatisticPrinter() { return form_.StatisticPrinter(); }

  void ReDraw_StringGrid() { form_.ReDraw_StringGrid(); }
  void Read_Trip_From_BK_Button_Click() { form_.Read_Trip_From_BK_Button_Click(); }
  void Read_Trip_From_File_Button_Click() { form_.Read_Trip_From_File_Button_Click(); }
  void Save_Trip_To_File_Button_Click() { form_.Save_Trip_To_File_Button_Click(); }
  void Clear_Trip_Table_Button_Click() { form_.Clear_Trip_Table_Button_Click(); }
  void Trip_Params_StringGridMouseDown(Qt::MouseButton button, QPoint at) {
    form_.Trip_Params_StringGridMouseDown(button, at);
  }
  void Popup_Menu_Click(int tag) { form_.Popup_Menu_Click(tag); }
  void CloseStatisticWindows() { form_.CloseStatisticWindows(); }
  void Monitor_Form_Destroy() { form_.Monitor_Form_Destroy(); }
  void ShowHelp() { form_.ShowHelp(); }
  void SetPortSources(std::unique_ptr<ports::DeviceSource> devices, std::unique_ptr<QSettings> settings) {
    form_.SetPortSources(std::move(devices), std::move(settings));
  }
};

inline TMonitor_Form::TestAccess Ui(TMonitor_Form& form) { return TMonitor_Form::TestAccess(form); }

}  // namespace riventar::ui
