// A fleet's logbook seen from the windows: the main window offscreen, the
// simulated device, this computer's logbook in a scratch folder and a real
// PostgreSQL server, reached, silent or refused.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>

#include "adapters/logbook/fleet_store.h"
#include "adapters/logbook/location.h"
#include "adapters/logbook/pg_store.h"
#include "core/logbook/json_text.h"
#include "sim/simulator.h"
#include "sim/trip_store.h"
#include "tests/support/logbook_form_access.h"
#include "tests/support/logbook_trips.h"
#include "tests/support/main_form_access.h"
#include "tests/support/pg_server.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/temp_dir.h"
#include "ui/app/Main_form.h"
#include "ui/logbook/Logbook_form.h"
#include "ui/logbook/Logbook_server_form.h"

namespace {

namespace fs = std::filesystem;
using namespace riventar;
using namespace std::chrono_literals;
using riventar::testing::PgServer;
using riventar::testing::SilentServer;
using riventar::ui::MsgAnswer;
using riventar::ui::MsgIcon;

const std::string CounterQuestion = "Считывание маршрутов";
const std::string LogbookCaption = "Журнал маршрутов";
const std::string SendCaption = "Отправка на сервер";

// Every text a widget and its children show, tooltips and list rows included.
QString AllTexts(const QWidget& root) {
  QStringList texts{root.windowTitle(), root.toolTip()};
  for (const QWidget* w : root.findChildren<QWidget*>()) {
    texts << w->toolTip();
    if (const auto* label = qobject_cast<const QLabel*>(w)) texts << label->text();
    if (const auto* edit = qobject_cast<const QLineEdit*>(w)) texts << edit->text() << edit->placeholderText();
    if (const auto* button = qobject_cast<const QAbstractButton*>(w)) texts << button->text();
    if (const auto* tree = qobject_cast<const QTreeWidget*>(w))
      for (QTreeWidgetItemIterator it(const_cast<QTreeWidget*>(tree)); *it; ++it)
        for (int c = 0; c < (*it)->columnCount(); ++c) texts << (*it)->text(c) << (*it)->toolTip(c);
  }
  return texts.join(QLatin1Char('\n'));
}

class FleetWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    uri = PgServer::Shared().CreateDatabase(database);
    logbook::OpenServerLogbook(uri);  // the tables made, as the owner would
    ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    ::setenv("RIVENTAR_COM1", sim.SlavePath().c_str(), 1);
    sim.SetTrips(sim::RealisticTrips(4));
  }
  void TearDown() override {
    if (form) Ui(*form).SetUnsaved(false);
    form.reset();
    ::unsetenv("RIVENTAR_LOGBOOK");
    ::unsetenv("RIVENTAR_COM1");
  }

  // The main window on the logbook at `location`, found as the program finds it.
  void Open(const std::string& location) {
    ::setenv("RIVENTAR_LOGBOOK", location.c_str(), 1);
    form = std::make_unique<ui::TMonitor_Form>(dialogs);
  }
  // `host`: the server's socket folder.
  std::string UriAt(const fs::path& host, const std::string& password = {}) const {
    return "postgresql://postgres" + (password.empty() ? "" : ":" + password) + "@/" + database +
           "?host=" + host.string();
  }
  void ConnectAndRead() {
    Ui(*form).Connect_SpeedButton->click();
    ASSERT_TRUE(Ui(*form).Link().IsUp());
    dialogs.answers.push_back(MsgAnswer::No);
    Ui(*form).Read_Trip_From_BK_Button->click();
  }
  // The logbook window, once its first reading is in: a fleet's logbook is
  // read on the session's thread.
  ui::TLogbook_Form& Window() {
    Ui(*form).Logbook_Button->click();
    ui::TLogbook_Form& window = *form->LogbookWindow();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window.Reading(); }, 15000));
    return window;
  }
  // Until `count` boxes were shown and the window has read again.
  bool BoxesShown(std::size_t count) {
    return QTest::qWaitFor(
        [&] { return dialogs.messages.size() >= count && !form->Sending() && !form->LogbookWindow()->Reading(); },
        15000);
  }
  std::string ServerTrips() { return PgServer::Shared().Sql(database, "SELECT COUNT(*) FROM riventar.trips"); }

  const std::string database =
      "window_" + std::to_string(::getpid()) + "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
  std::string uri;
  riventar::testing::TempDir dir{"riventar-fleet-window"};
  sim::Simulator sim;
  riventar::testing::ScriptedDialogs dialogs;
  std::unique_ptr<ui::TMonitor_Form> form;
};

TEST_F(FleetWindow, AReadingWithTheServerReachableLandsOnTheServer) {
  Open(uri);
  ConnectAndRead();
  EXPECT_EQ(dialogs.Captions(), std::vector<std::string>{CounterQuestion});
  // Sent on the window's sending thread; the status line tells.
  EXPECT_TRUE(QTest::qWaitFor([&] { return !form->Sending(); }, 15000));
  EXPECT_EQ(Ui(*form).Logbook_Status_Label->text(), QStringLiteral("Отправлено на сервер: 4 маршрута"));
  EXPECT_EQ(ServerTrips(), "4\n");
  EXPECT_EQ(logbook::Sharing(*form->Logbook()).waiting.recordings, 0);
}

TEST_F(FleetWindow, AReadingWithTheServerOutOfReachWaitsHereAndIsSentOnce) {
  // The server's socket folder through a link, first to a silent server, then to the real one.
  const fs::path silent = dir / "silent", link = dir / "server";
  fs::create_directories(silent);
  const SilentServer away(silent, PgServer::Shared().Port());
  fs::create_directory_symlink(silent, link);
  Open(UriAt(link));

  std::int64_t waitingAtQuestion = -1;
  std::chrono::steady_clock::duration untilQuestion{};
  const auto started = std::chrono::steady_clock::now();
  dialogs.onMessage = [&](const riventar::testing::MessageRecord& m) {
    if (m.caption.toStdString() != CounterQuestion) return;
    untilQuestion = std::chrono::steady_clock::now() - started;
    waitingAtQuestion = logbook::Sharing(*form->Logbook()).waiting.trips;
  };
  ConnectAndRead();
  // Committed here and asked at once: the silent server holds up nothing.
  EXPECT_LT(untilQuestion, 2s);
  ASSERT_EQ(dialogs.Captions(), (std::vector<std::string>{CounterQuestion}));
  EXPECT_TRUE(dialogs.messages[0].text.endsWith(
      QStringLiteral("4 маршрута записаны в журнал на этом компьютере: не назначены\nОни отправляются на сервер\n") +
      QString::fromStdString(UriAt(link)) + '.'))
      << dialogs.messages[0].text.toStdString();
  EXPECT_EQ(waitingAtQuestion, 4);
  EXPECT_TRUE(form->Sending());
  EXPECT_EQ(Ui(*form).Logbook_Status_Label->text(), QStringLiteral("Отправка на сервер..."));

  // The connect timeout later, the status line says they wait, and why.
  EXPECT_TRUE(QTest::qWaitFor([&] { return !form->Sending(); }, 15000));
  EXPECT_EQ(Ui(*form).Logbook_Status_Label->text(), QStringLiteral("Ждут отправки на сервер: 4 маршрута"));
  const QString whole = Ui(*form).Logbook_Status_Label->toolTip();
  EXPECT_FALSE(whole.contains(QLatin1Char('\n'))) << whole.toStdString();
  EXPECT_TRUE(whole.contains(QStringLiteral("ждут отправки на сервер"))) << whole.toStdString();
  EXPECT_TRUE(whole.contains(QStringLiteral("сервер недоступен"))) << whole.toStdString();
  EXPECT_EQ(dialogs.messages.size(), 1u) << "no box for what the status line tells";
  EXPECT_EQ(ServerTrips(), "0\n");

  // The logbook window, the server still silent, shows what waits here.
  Ui(*form).SetUnsaved(false);
  ui::TLogbook_Form& window = Window();
  ASSERT_EQ(Ui(window).Vehicles_List->topLevelItemCount(), 1);
  EXPECT_EQ(Ui(window).Vehicles_List->topLevelItem(0)->text(7), QStringLiteral("4"));
  EXPECT_TRUE(Ui(window).Sharing_Label->text().contains(QStringLiteral("Ждут отправки на сервер: 4 маршрута")))
      << Ui(window).Sharing_Label->text().toStdString();

  // The server is back.
  fs::remove(link);
  fs::create_directory_symlink(PgServer::Shared().Folder(), link);
  dialogs.messages.clear();
  Ui(window).Send_Button->click();
  Ui(window).Send_Button->click();
  ASSERT_TRUE(BoxesShown(2));
  ASSERT_EQ(dialogs.Captions(), (std::vector<std::string>{SendCaption, SendCaption}));
  EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("Отправлено на сервер: 4 маршрута."));
  EXPECT_TRUE(dialogs.messages[1].text.contains(QStringLiteral("отправлять нечего")));
  EXPECT_EQ(ServerTrips(), "4\n");
  EXPECT_EQ(PgServer::Shared().Sql(database, "SELECT COUNT(*) FROM riventar.imports"), "1\n");
  EXPECT_TRUE(Ui(window).Sharing_Label->text().startsWith(QStringLiteral("Ничего не ждет отправки")));
  EXPECT_EQ(Ui(window).Vehicles_List->topLevelItem(0)->text(7), QString());

  Ui(window).Show_In_Table_Button->click();
  EXPECT_TRUE(QTest::qWaitFor([&] { return Ui(*form).Trips().size() == 4u; }, 15000));
}

TEST_F(FleetWindow, AReadingTheServerRefusesIsSetAsideAndSaidBelowTheVehicles) {
  // The owner's rule: no readings of a device, only files.
  PgServer::Shared().Sql(database, "ALTER TABLE riventar.imports ADD CONSTRAINT files_only CHECK (origin <> 0)");
  Open(uri);
  ConnectAndRead();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !form->Sending(); }, 15000));
  EXPECT_EQ(ServerTrips(), "0\n");
  Ui(*form).SetUnsaved(false);
  ui::TLogbook_Form& window = Window();
  const QString line = Ui(window).Sharing_Label->text();
  EXPECT_TRUE(line.startsWith(QStringLiteral("Ничего не ждет отправки"))) << line.toStdString();
  EXPECT_TRUE(line.contains(QStringLiteral("Сервер не принял записей: 1"))) << line.toStdString();
  EXPECT_TRUE(line.contains(QStringLiteral("files_only"))) << line.toStdString();

  dialogs.messages.clear();
  Ui(window).Send_Button->click();
  ASSERT_TRUE(BoxesShown(1));
  ASSERT_EQ(dialogs.Captions(), std::vector<std::string>{SendCaption});
  EXPECT_TRUE(dialogs.messages[0].text.contains(QStringLiteral("сервер не принял записей: 1")))
      << dialogs.messages[0].text.toStdString();
  PgServer::Shared().Sql(database, "ALTER TABLE riventar.imports DROP CONSTRAINT files_only");
  Ui(window).Send_Button->click();
  ASSERT_TRUE(BoxesShown(2));
  EXPECT_EQ(dialogs.messages.back().text, QStringLiteral("Отправлено на сервер: 4 маршрута."));
  EXPECT_EQ(ServerTrips(), "4\n");
  EXPECT_FALSE(Ui(window).Sharing_Label->text().contains(QStringLiteral("не принял")));
}

// Closing the window while a send waits for a silent server: the send ends
// first (the connect timeout at most), and its outcome goes nowhere.
TEST_F(FleetWindow, ClosingDuringASendWaitsForItAndNothingArrivesLate) {
  const fs::path silent = dir / "silent";
  fs::create_directories(silent);
  const SilentServer away(silent, PgServer::Shared().Port());
  Open(UriAt(silent));
  ConnectAndRead();
  ASSERT_TRUE(form->Sending());
  const auto started = std::chrono::steady_clock::now();
  Ui(*form).SetUnsaved(false);
  form.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - started, 9s);
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
  EXPECT_EQ(dialogs.Captions(), std::vector<std::string>{CounterQuestion});
  EXPECT_EQ(logbook::Sharing(*logbook::OpenLogbookAt(UriAt(silent))).waiting.trips, 4) << "still waiting here";
}

// What an earlier run left waiting goes at the start (the program asks right
// after opening the window), on the window's sending thread.
TEST_F(FleetWindow, WhatWaitsFromAnEarlierRunIsSentAtTheStart) {
  using riventar::testing::Reading;
  using riventar::testing::Trip;
  logbook::OpenQueuingLogbook(logbook::DefaultLogbookLocation())->Record(Reading({Trip(1, 8), Trip(2, 9)}));
  Open(uri);
  form->SendToServer();
  EXPECT_TRUE(form->Sending());
  EXPECT_TRUE(QTest::qWaitFor([&] { return !form->Sending(); }, 15000));
  EXPECT_EQ(Ui(*form).Logbook_Status_Label->text(), QStringLiteral("Отправлено на сервер: 2 маршрута"));
  EXPECT_EQ(ServerTrips(), "2\n");

  // Nothing waits any more: nothing to tell.
  form->SendToServer();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !form->Sending(); }, 15000));
  EXPECT_EQ(Ui(*form).Logbook_Status_Label->text(), QString());
  EXPECT_TRUE(dialogs.messages.empty());
}

// The server holds its tables locked: refreshing, sending and showing trips
// go on behind, and the window keeps answering.
TEST_F(FleetWindow, AServerHeldUpNeverHoldsUpTheWindow) {
  using riventar::testing::Reading;
  using riventar::testing::Trip;
  Open(uri);
  Ui(*form).SetUnsaved(false);
  ui::TLogbook_Form& window = Window();
  ASSERT_TRUE(form->LogbookService().Record(Reading({Trip(1, 8), Trip(2, 9)})));  // here only, for now
  {
    const riventar::testing::TableLock lock(PgServer::Shared(), database, "trips");
    const auto started = std::chrono::steady_clock::now();
    window.Refresh();
    Ui(window).Send_Button->click();
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
    tick.start(10);
    QTest::qWait(500);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1500ms) << "the window waited for the server";
    EXPECT_GT(ticks, 20) << "the event loop ran meanwhile";
    EXPECT_TRUE(form->Sending());
    EXPECT_TRUE(dialogs.messages.empty());
  }
  ASSERT_TRUE(BoxesShown(1));
  // The reading sends what waits first, so either may have sent them.
  EXPECT_EQ(dialogs.Captions(), std::vector<std::string>{SendCaption});
  EXPECT_EQ(ServerTrips(), "2\n");
  ASSERT_EQ(Ui(window).Vehicles_List->topLevelItemCount(), 1);
  Ui(window).Show_In_Table_Button->click();
  EXPECT_TRUE(QTest::qWaitFor([&] { return Ui(*form).Trips().size() == 2u; }, 15000));
}

TEST_F(FleetWindow, NoTextOfTheWindowOrTheServerDialogShowsAPassword) {
  const QString secrets[] = {QStringLiteral("Geheim-42"), QStringLiteral("Tajne-77")};
  // Written into the location, and the server cannot be reached: its problem is shown too.
  Open(UriAt(dir / "nowhere", "Geheim-42"));
  ui::TLogbook_Form& window = Window();
  EXPECT_TRUE(Ui(window).Sharing_Label->text().contains(QStringLiteral("сервер недоступен")));

  const QString clean = QString::fromStdString(UriAt(PgServer::Shared().Folder()));
  QStringList seen{AllTexts(window)};
  dialogs.dialogRuns.push_back([&](QDialog& shown) {
    auto& dialog = dynamic_cast<ui::TLogbook_Server_Form&>(shown);
    seen << AllTexts(dialog);
    EXPECT_TRUE(Ui(dialog).Location_Edit->text().contains(QStringLiteral(":***@")));
    for (const QString& typed : {QStringLiteral("postgresql://postgres:Tajne-77@/db?host=/nowhere"),
                                 QStringLiteral("postgresql:///db?host=/nowhere&password=Tajne-77")}) {
      Ui(dialog).Location_Edit->setText(typed);
      Ui(dialog).Test_Button->click();
      seen << AllTexts(dialog);
      Ui(dialog).Location_Edit->setText(typed);
      Ui(dialog).Use_Button->click();
      seen << AllTexts(dialog);
      EXPECT_NE(dialog.result(), QDialog::Accepted);
    }
    Ui(dialog).Location_Edit->setText(clean);
    Ui(dialog).Test_Button->click();
    EXPECT_TRUE(Ui(dialog).Result_Label->text().startsWith(QStringLiteral("Соединение установлено")))
        << Ui(dialog).Result_Label->text().toStdString();
    Ui(dialog).Use_Button->click();
    return dialog.result();
  });
  Ui(window).Server_Button->click();
  EXPECT_TRUE(dialogs.dialogRuns.empty());
  EXPECT_EQ(form->LogbookPath(), clean);
  seen << AllTexts(window);
  for (const auto& m : dialogs.messages) seen << m.text;
  const QString all = seen.join(QLatin1Char('\n'));
  EXPECT_TRUE(all.contains(QStringLiteral("Пароль в адресе не принимается")));
  for (const QString& secret : secrets) EXPECT_FALSE(all.contains(secret)) << all.toStdString();
}

}  // namespace

namespace {

// A correction of a fleet's logbook runs on the session's thread: the window
// goes on, and its lists then agree with what the logbook holds, whether the
// logbook made the change or said why not.
TEST_F(FleetWindow, ACorrectionRunsBesideTheWindowAndItsOutcomeIsShown) {
  Open(uri);
  ConnectAndRead();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !form->Sending(); }, 15000));
  ui::TLogbook_Form& window = Window();
  QTreeWidget* trips = Ui(window).Trips_List;
  ASSERT_TRUE(QTest::qWaitFor([&] { return trips->topLevelItemCount() == 4; }, 15000));
  trips->selectAll();
  dialogs.messages.clear();
  dialogs.itemAnswers.push_back(QStringLiteral("А123ВС 77"));
  dialogs.answers.push_back(MsgAnswer::Yes);
  window.findChild<QAction*>(QStringLiteral("Move_Trips_Action"))->trigger();
  EXPECT_EQ(dialogs.messages.size(), 1u) << "only the question until the logbook answers";
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window.Reading(); }, 15000));

  std::map<std::string, std::int64_t> held, shown;
  for (const logbook::VehicleSummary& v : form->Logbook()->Vehicles())
    if (v.trips > 0) held[v.plateKey] = v.trips;
  QTreeWidget* list = Ui(window).Vehicles_List;
  for (int i = 0; i < list->topLevelItemCount(); ++i) {
    const std::string name = list->topLevelItem(i)->text(0).toStdString();
    if (list->topLevelItem(i)->text(3).toInt() > 0)
      shown[logbook::NamesUnassigned(name) ? "" : logbook::PlateKey(name)] = list->topLevelItem(i)->text(3).toInt();
  }
  EXPECT_EQ(shown, held);
  const bool moved = held.count(logbook::PlateKey("А123ВС77")) > 0;
  // Refused: one box says so.
  EXPECT_EQ(dialogs.messages.size(), moved ? 1u : 2u);
  if (!moved) {
    EXPECT_EQ(dialogs.messages.back().icon, MsgIcon::Stop);
  }
}

}  // namespace
