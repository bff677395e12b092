#pragma once
// The main window. It lives for the whole run and shows the services it holds:
// the device session (the link) and the trip document (the shown trips and
// whether they are kept anywhere), and the open statistics windows. Its
// handlers are in ui/app/Main_form_*.cpp; the logbook's in ui/logbook.
// Controls are found by their object names (the names below).
#include <QList>
#include <QPointer>
#include <QSettings>
#include <QWidget>
#include <functional>
#include <future>
#include <memory>
#include <optional>

#include "adapters/ports/binding.h"
#include "core/logbook/logbook.h"
#include "core/services/device_session.h"
#include "core/services/logbook_session.h"
#include "core/services/trip_document.h"
#include "core/services/vehicle.h"
#include "core/trips/trip_record.h"
#include "ui/common/handler_guard.h"
#include "ui/logbook/logbook_host.h"
#include "ui/stats/statistic_host.h"

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPrinter;
class QPushButton;
class QRadioButton;
class QTableView;
class QToolButton;

namespace riventar::ui {

class Dialogs;
class TLogbook_Form;
class TripTableModel;
class TTrip_Stat_Form;

class TMonitor_Form : public QWidget, public StatisticHost, public LogbookHost {
  Q_OBJECT

 public:
  explicit TMonitor_Form(Dialogs& dialogs, QWidget* parent = nullptr);
  // Runs the shutdown sequence (Monitor_Form_Destroy).
  ~TMonitor_Form() override;

  Dialogs& UiDialogs() const override { return dialogs_; }

  // The print dialog on that printer for `from`, then `print`; a failed
  // print is reported with `failure` under "Ошибка печати".
  void PrintOnStatisticPrinter(QWidget* from, const std::function<bool(QPrinter&)>& print,
                               const QString& failure) override;
  trips::VehicleInfo VehicleTexts() const override;
  void StatisticWindowClosed(TTrip_Stat_Form* window) override;

  // Logbook (ui/app/Main_form_logbook.cpp). Every trip read or brought in is
  // kept there, on disk before the device may forget it, through the logbook
  // session the window holds (its threads end with the window).
  // The logbook's store, opened at the first call; nullptr while none could
  // be (a damaged or newer file is said once and left alone).
  logbook::Store* Logbook();
  // Where the logbook lives, a file or a server's URI (the one tried when none
  // is open). A URI may hold a password: show ShownLocation() of it instead.
  QString LogbookPath() const;
  // Tests and benchmarks: this store at `path`, instead of the configured file.
  void UseLogbook(std::unique_ptr<logbook::Store> store, const QString& path);
  void Logbook_Button_Click();
  TLogbook_Form* LogbookWindow() const;
  // The trips of a reading, committed before the counter question under the
  // vehicle the logbook knows the device by, else the one the user chooses
  // (asked once; none: unassigned), never under the one the fields show
  // unless the user confirms it. A sentence for the question saying where
  // they are kept, or nullopt (after a stop box) when they could not be
  // recorded; `filedUnder` gets the vehicle (no registration: unassigned).
  std::optional<QString> RecordReading(const services::Reading& reading, trips::VehicleInfo& filedUnder);
  // After a save to a ".dat" file: the shown trips the logbook lacks are added
  // under the saved vehicle; those it holds stay where they are.
  void RecordSavedTrips(const QString& path);
  // A send to a shared logbook's server is under way.
  bool Sending() const;
  // The vehicle texts shown now.
  trips::VehicleInfo ShownVehicle() const;
  // LogbookHost.
  services::LogbookSession& LogbookService() override;
  bool SwitchLogbook(const QString& location) override;
  void ShowTripsInTable(const trips::VehicleInfo& vehicle, trips::TripList trips) override;
  void SendToServer(std::function<void(const services::SendOutcome&)> then = {}) override;

  // Tests and tools reach the window's state through this
  // (tests/support/main_form_access.h).
  class TestAccess;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Controls, owned by their Qt parents; each has its name as object name.
  QFrame* COM_Select_Panel = nullptr;
  QRadioButton* COM1_Select_RadioButton = nullptr;
  QRadioButton* COM2_Select_RadioButton = nullptr;
  QToolButton* Connect_SpeedButton = nullptr;
  QPushButton* Configuration_Button = nullptr;
  QPushButton* About_Button = nullptr;
  QPushButton* Exit_Button = nullptr;
  QFrame* Vehicle_Info_Panel = nullptr;
  QLabel* Vehicle_Model_Label = nullptr;
  QLineEdit* Vehicle_Model_Edit = nullptr;
  QLabel* Vehicle_Reg_Id_Label = nullptr;
  QLineEdit* Vehicle_Reg_Id_Edit = nullptr;
  QLabel* Vehicle_Owner_Label = nullptr;
  QLineEdit* Vehicle_Owner_Edit = nullptr;
  QFrame* Trip_Params_Panel = nullptr;
  QTableView* Trip_Params_StringGrid = nullptr;
  QPushButton* Read_Trip_From_BK_Button = nullptr;
  QPushButton* Read_Trip_From_File_Button = nullptr;
  QPushButton* Save_Trip_To_File_Button = nullptr;
  QPushButton* Clear_Trip_Table_Button = nullptr;
  QMenu* PopupMenu = nullptr;
  QList<QAction*> PopupItems;  // N1..N6, Tag = index = stats::PeriodKind
  // Choosing the device behind COM1/COM2: a small button in the COM panel
  // (and a right click on either radio button) opens the list.
  QToolButton* Port_Choice_Button = nullptr;
  QMenu* Port_Choice_Menu = nullptr;  // rebuilt each time it opens, so it follows plugging
  // Opens the logbook window; below "Выход", where the column has room.
  QPushButton* Logbook_Button = nullptr;
  // How the last send to a shared logbook's server went (the whole text in
  // its tooltip); empty for a logbook that is a file.
  QLabel* Logbook_Status_Label = nullptr;

  services::DeviceSession device_;  // the link: port, reply event, receiver thread
  services::TripDocument document_;
  QList<TTrip_Stat_Form*> statWindows_;
  int saveDialogFilterIndex_ = 0;  // the save dialog reopens with the last type picked

  // The printer behind Statistic_Print_Dialog, shared by every statistics
  // window: what the user chose in the print dialog holds for the whole run.
  QPrinter& StatisticPrinter();
  // Shell.
  void Monitor_Form_Create();
  void Monitor_Form_Destroy();
  void About_Button_Click();
  void Exit_Button_Click();
  void Configuration_Button_Click();
  void ShowHelp();

  // Link.
  void Connect_SpeedButton_Click();
  void DropConnection();
  // The device-dependent buttons work only while the link is up, the port
  // choice only while it is down.
  void ShowLinkState(bool up);

  // Port choice.
  void BuildPortChoice();
  QRadioButton* RadioFor(int com) const;
  // COM`com` as the port panel shows it: 1 or 2 from the radio buttons.
  int SelectedCom() const;
  ports::Binding PortBinding(int com) const;
  void Port_Choice_Button_Click();
  // Opens the device list for COM`com` at a screen point.
  void ShowPortChoice(int com, QPoint globalPosition);
  void ChoosePort(int com, const QString& path);  // saves it and selects COM`com`
  void UpdatePortHints();
  // The receiver saw the port hang up (posted to this thread).
  void Port_Hang_Up();
  // Tests list made-up devices and keep their choices in a scratch file.
  void SetPortSources(std::unique_ptr<ports::DeviceSource> devices, std::unique_ptr<QSettings> settings);

  // Trips.
  void ReDraw_StringGrid();
  void Read_Trip_From_BK_Button_Click();
  void Read_Trip_From_File_Button_Click();
  void Save_Trip_To_File_Button_Click();
  void Clear_Trip_Table_Button_Click();
  void Vehicle_Info_Edits_Key_Press();
  enum class SaveOutcome { Saved, Cancelled, Failed };
  SaveOutcome SaveTrips();  // the save action, telling how it ended

  // Statistics.
  void Trip_Params_StringGridMouseDown(Qt::MouseButton button, QPoint gridPosition);
  void Popup_Menu_Click(int tag);
  void CloseStatisticWindows();  // shutdown: close and destroy each listed window once

  // The document's trips into the table, its buttons enabled.
  void ShowDocument();
  // The document's vehicle into the fields.
  void ShowDocumentVehicle();
  // Reading the device: the recorder the session is given, and the question
  // whether it may forget them.
  services::Status RecordInLogbook(const services::Reading& reading, std::optional<QString>& kept,
                                   trips::VehicleInfo& filedUnder);
  void AskToForget(const std::optional<QString>& kept);
  void ShowExchangeFailure();

  void BuildControls();
  // Starts checking the configured logbook file's pages on a thread of its
  // own: on a big file that takes a while, and Logbook() would wait for it.
  void StartLogbookCheck();
  // Which car a reading goes to: the one the logbook knows the device by,
  // else the user's answer (asked here); no registration: unassigned.
  services::Filing ReadingFiling(const services::Reading& reading);
  // For the counter question: where the trips of `read` are kept now, filed
  // as `filing` says or left where the logbook had them.
  QString WhereKept(const logbook::Recorded& recorded, const trips::TripList& read, const services::Filing& filing);
  // Why the logbook failed, in the window's words, without a password.
  QString LogbookFailureText() const;
  void ShowSendOutcome(const services::SendOutcome& outcome);
  // Moves the window into the free area of the screen it is on (or the primary screen) where it sticks out.
  void KeepOnScreen();
  // A slot that runs `handler` with escaping errors shown in the error box.
  auto Handler(void (TMonitor_Form::*handler)()) {
    return [this, handler] { Guarded(dialogs_, [this, handler] { (this->*handler)(); }); };
  }

  // While an exchange with the device runs, the progress window lets events
  // through; a close from the window manager then waits for its end.
  class ExchangeScope {
   public:
    explicit ExchangeScope(TMonitor_Form& form);
    ~ExchangeScope();
    ExchangeScope(const ExchangeScope&) = delete;
    ExchangeScope& operator=(const ExchangeScope&) = delete;

   private:
    TMonitor_Form& form_;
  };
  int exchangesRunning_ = 0;
  bool closeWanted_ = false;

  Dialogs& dialogs_;
  TripTableModel* model_ = nullptr;
  QPointer<QWidget> helpWindow_;
  std::unique_ptr<QPrinter> statisticPrinter_;
  QString fileFolder_;  // where the file dialogs open: the last folder used
  bool destroyed_ = false;
  bool placedWithFrame_ = false;  // placed again once the window manager's frame was known
  QString connectedPath_;         // the device the link was made to
  // The logbook's stores and the session over them (the window's thread; the
  // session's own threads send and read for it).
  std::unique_ptr<services::LogbookStores> logbookStores_;
  std::unique_ptr<services::LogbookSession> logbook_;
  QPointer<TLogbook_Form> logbookWindow_;
  QString logbookCheckPath_;        // the file StartLogbookCheck checks
  std::future<bool> logbookCheck_;  // its answer; a refusal is thrown by get()
  std::unique_ptr<ports::DeviceSource> deviceSource_;
  std::unique_ptr<QSettings> portSettings_;
};

}  // namespace riventar::ui
