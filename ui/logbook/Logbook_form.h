#pragma once
// The logbook window "Журнал маршрутов": the vehicles, one vehicle's trips by
// year and month, the imports; it shows a vehicle's trips in the main table,
// brings ".dat" files in and writes a selection out. For a fleet's logbook on
// a server it says what waits on this computer, marks those trips, and sends
// them on request. Top-level and modeless, one at a time; it deletes itself
// when closed.
#include <QPointer>
#include <QWidget>
#include <optional>

#include "core/logbook/logbook.h"
#include "ui/logbook/logbook_host.h"

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

  void BuildControls();
  void ShowLists(std::vector<logbook::VehicleSummary> vehicles, const std::vector<logbook::ImportRow>& imports,
                 const std::string& selected);
  void ShowMonths();
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
  QTreeWidget* Imports_List = nullptr;
  QPushButton* Show_In_Table_Button = nullptr;
  QPushButton* Import_Button = nullptr;
  QPushButton* Export_Button = nullptr;
  QPushButton* Backup_Button = nullptr;  // "Резервная копия...": a file's logbook only
  QPushButton* Close_Button = nullptr;

  std::vector<logbook::VehicleSummary> vehicles_;
  // Each background read's number: an answer to an older one is dropped.
  int refreshes_ = 0;
  int monthReads_ = 0;
};

}  // namespace riventar::ui
