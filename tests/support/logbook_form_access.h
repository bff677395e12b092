#pragma once
// What tests, benchmarks and tools reach of the logbook window and its server
// dialog: their controls, found by their object names.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include "ui/logbook/Logbook_form.h"
#include "ui/logbook/Logbook_server_form.h"

namespace riventar::ui {

class LogbookFormControls {
  QObject& form_;  // first: the controls below are found in it

  template <class T>
  T* Control(const char* name) const {
    return form_.findChild<T*>(QLatin1String(name));
  }

 public:
  explicit LogbookFormControls(TLogbook_Form& form) : form_(form) {}

  QLabel* Location_Label = Control<QLabel>("Location_Label");
  QPushButton* Choose_File_Button = Control<QPushButton>("Choose_File_Button");
  QPushButton* Server_Button = Control<QPushButton>("Server_Button");
  QLabel* Sharing_Label = Control<QLabel>("Sharing_Label");
  QPushButton* Send_Button = Control<QPushButton>("Send_Button");
  QTreeWidget* Vehicles_List = Control<QTreeWidget>("Vehicles_List");
  QTreeWidget* Months_Tree = Control<QTreeWidget>("Months_Tree");
  QTreeWidget* Imports_List = Control<QTreeWidget>("Imports_List");
  QTreeWidget* Trips_List = Control<QTreeWidget>("Trips_List");
  QPushButton* Show_In_Table_Button = Control<QPushButton>("Show_In_Table_Button");
  QPushButton* Import_Button = Control<QPushButton>("Import_Button");
  QPushButton* Export_Button = Control<QPushButton>("Export_Button");
  QPushButton* Backup_Button = Control<QPushButton>("Backup_Button");
  QPushButton* Year_Report_Button = Control<QPushButton>("Year_Report_Button");
  QPushButton* Close_Button = Control<QPushButton>("Close_Button");
};

class LogbookServerFormControls {
  QObject& form_;  // first: the controls below are found in it

  template <class T>
  T* Control(const char* name) const {
    return form_.findChild<T*>(QLatin1String(name));
  }

 public:
  explicit LogbookServerFormControls(TLogbook_Server_Form& form) : form_(form) {}

  QLineEdit* Location_Edit = Control<QLineEdit>("Location_Edit");
  QLabel* Advice_Label = Control<QLabel>("Advice_Label");
  QLabel* Result_Label = Control<QLabel>("Result_Label");
  QPushButton* Test_Button = Control<QPushButton>("Test_Button");
  QPushButton* Use_Button = Control<QPushButton>("Use_Button");
  QPushButton* Cancel_Button = Control<QPushButton>("Cancel_Button");
};

inline LogbookFormControls Ui(TLogbook_Form& form) { return LogbookFormControls(form); }
inline LogbookServerFormControls Ui(TLogbook_Server_Form& form) { return LogbookServerFormControls(form); }

}  // namespace riventar::ui
