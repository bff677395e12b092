#pragma once
// The logbook window "Журнал маршрутов": the vehicles, one vehicle's trips by
// year and month and one by one with their tags, the logbook's history
// (readings, imports and corrections, newest first); it shows a vehicle's
// trips in the main table, brings ".dat" files in, writes a selection out,
// makes the corrections (move, rename, merge, delete, undo, tags) each after
// a question that names it, and prints or writes a year's report. For a fleet's logbook on
// a server it says what waits on this computer, marks those trips, and sends
// them on request. Top-level and modeless, one at a time; it deletes itself
// when closed.
#include <QPointer>
#include <QString>
#include <QWidget>
#include <optional>

#include "core/logbook/logbook.h"
#include "core/stats/year_report.h"
#include "ui/logbook/logbook_host.h"

class QAction;
class QLabel;
class QPushButton;
class QTreeWidget;

namespace riventar::ui {

struct FileChoice;

class TLogbook_Form : public QWidget {
  Q_OBJECT

 public:
  explicit TLogbook_Form(LogbookHost& host);

  // Reads everything again from the host's logbook, keeping the selected
  // vehicle: a file's at once, a fleet's on the session's thread (the lists
  // fill when it answers; Reading() until then).
  void Refresh();
  bool Reading() const;

 private:
  struct Selection {
    logbook::VehicleSummary vehicle;
    logbook::TripQuery query;
  };
  // Selects the vehicle of `plateKey`; false when the logbook has none such.
  bool SelectVehicle(const std::string& plateKey);

  void Show_In_Table_Button_Click();
  void Import_Button_Click();
  void Export_Button_Click();
  void Backup_Button_Click();
  void Choose_File_Button_Click();
  void Server_Button_Click();
  void Send_Button_Click();
  void Year_Report_Button_Click();
  // The corrections, from the lists' context menus.
  void Move_Trips_Action_Triggered();
  void Tag_Trips_Action_Triggered();
  void Edit_Vehicle_Action_Triggered();
  void Merge_Vehicle_Action_Triggered();
  void Delete_Vehicle_Action_Triggered();
  void Move_Import_Action_Triggered();
  void Undo_Import_Action_Triggered();

  void BuildControls();
  void ShowLists(std::vector<logbook::VehicleSummary> vehicles, std::vector<logbook::HistoryRow> history,
                 const std::string& selected);
  void ShowMonths();
  // The selected vehicle's trips of the selected period, with their tags.
  void ShowTrips();
  void FillTrips(std::vector<logbook::LoggedTrip> trips);
  void EnableCorrections();
  // After the user said yes to `question`: `change` on the store, then the
  // lists again, `select` chosen among the vehicles when it is still there.
  void Correct(const QString& caption, const QString& question, const std::function<void(logbook::Store&)>& change,
               const std::string& select);
  // The selected trips (those of the trips list) as a correction takes them.
  std::optional<logbook::TripSelection> SelectedTrips() const;
  // The history row selected in the readings list, a reading or import not yet undone.
  const logbook::HistoryRow* SelectedRecording() const;
  // Where trips go: a known vehicle or a typed one; nothing when cancelled.
  std::optional<trips::VehicleInfo> ChooseTarget(const QString& caption, const QString& label);
  QString VehicleName(const std::string& plateKey) const;
  const logbook::VehicleSummary* SelectedVehicle() const;
  QString DialogFolder() const;
  // The year report, once its trips are read: printed, or written to a PDF or CSV file.
  void PutYearReport(const stats::YearReport& report, const std::optional<trips::VehicleInfo>& vehicle, int output);
  void FillMonths(const std::vector<logbook::MonthSummary>& months, const trips::TripList& unsent);
  void ShowSharing(const services::SharingStatus& status);
  // The trips of `query`, then `use` with them: a fleet's read on the session's thread.
  void ReadTrips(const logbook::TripQuery& query, std::function<void(trips::TripList)> use);
  void WriteExport(const FileChoice& choice, const trips::VehicleInfo& vehicle, const trips::TripList& trips);
  // After a send asked here: the lists again, and a box with how it went.
  void Sent(const services::SendOutcome& outcome);
  // A failing read said under the window's caption; `message`: the window's reason.
  void SayReadFailed(const std::string& message);
  // The selected vehicle with the selected year or month; nothing without a vehicle.
  std::optional<Selection> Selected() const;
  // Runs `action`, a failing store said under the window's caption; false then.
  bool Guard(const std::function<void(logbook::Store&)>& action);

  services::LogbookSession& Session() const { return host_.LogbookService(); }

  LogbookHost& host_;
  // Each control's object name is its member name: tests and tools find it so.
  QLabel* Location_Label = nullptr;
  QPushButton* Choose_File_Button = nullptr;
  QPushButton* Server_Button = nullptr;  // "Сервер журнала..."
  // A server's logbook only: what waits here to be sent, the last server problem.
  QLabel* Sharing_Label = nullptr;
  QPushButton* Send_Button = nullptr;  // "Отправить на сервер"
  QTreeWidget* Vehicles_List = nullptr;
  QTreeWidget* Months_Tree = nullptr;
  QTreeWidget* Imports_List = nullptr;  // the history: readings, imports and corrections
  QTreeWidget* Trips_List = nullptr;    // the selected vehicle's and period's trips, with their tags
  QPushButton* Show_In_Table_Button = nullptr;
  QPushButton* Import_Button = nullptr;
  QPushButton* Export_Button = nullptr;
  QPushButton* Backup_Button = nullptr;       // "Резервная копия...": a file's logbook only
  QPushButton* Year_Report_Button = nullptr;  // "Отчёт за год..."
  QPushButton* Close_Button = nullptr;
  // The lists' context menus.
  QAction* Move_Trips_Action = nullptr;  // trips list: "Перенести в автомобиль..."
  QAction* Tag_Trips_Action = nullptr;   // trips list: "Метки..."
  QAction* Edit_Vehicle_Action = nullptr;
  QAction* Merge_Vehicle_Action = nullptr;
  QAction* Delete_Vehicle_Action = nullptr;
  QAction* Move_Import_Action = nullptr;  // readings list
  QAction* Undo_Import_Action = nullptr;

  std::vector<logbook::VehicleSummary> vehicles_;
  std::vector<logbook::HistoryRow> history_;  // as the readings list shows it, newest first
  std::vector<logbook::LoggedTrip> trips_;    // as the trips list shows it
  // Each background read's number: an answer to an older one is dropped.
  int refreshes_ = 0;
  int monthReads_ = 0;
  int tripReads_ = 0;
  // Where this window's file dialogs open: the last folder used, else the home folder.
  QString folder_;
  int exportFilter_ = 0;  // the type last chosen for an export
};

}  // namespace riventar::ui
