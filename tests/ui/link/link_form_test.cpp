// Connecting, disconnecting and reading trips through the real main window
// (offscreen) against the simulated device on a real pseudo-terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <cstdlib>
#include <memory>

#include "core/link/messages.h"
#include "sim/simulator.h"
#include "tests/support/main_form_access.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/trip_builder.h"
#include "ui/app/Main_form.h"
#include "ui/common/Progressbar_form.h"
#include "ui/trips/trip_table_model.h"

namespace {

using namespace std::chrono_literals;
using riventar::sim::Misbehaviour;
using riventar::testing::ScriptedDialogs;
using riventar::ui::MsgAnswer;
using riventar::ui::MsgIcon;

const QString NoAnswer = QString::fromUtf8(riventar::link::NoAnswerText);

riventar::trips::TripRecord ShownTrip(std::uint8_t day) {
  return riventar::testing::TripBuilder().Date(2023, 1, day).Fuel(12800);
}

class LinkForm : public ::testing::Test {
 protected:
  explicit LinkForm(riventar::sim::SimulatorOptions options = {}) : sim(options) {}
  void SetUp() override {
    ::setenv("RIVENTAR_COM1", sim.SlavePath().c_str(), 1);
    ::unsetenv("RIVENTAR_COM2");
    sim.SetTrips(riventar::sim::RealisticTrips(3));
    form = std::make_unique<riventar::ui::TMonitor_Form>(dialogs);
  }
  void TearDown() override {
    Ui(*form).SetUnsaved(false);  // closing must not ask about saving
    form.reset();
    ::unsetenv("RIVENTAR_COM1");
  }

  void Connect() {
    Ui(*form).Connect_SpeedButton->click();
    ASSERT_TRUE(Ui(*form).Connect_SpeedButton->isChecked());
    ASSERT_TRUE(Ui(*form).Link().IsUp());
    sim.ClearCommands();
  }
  // Two trips already shown, vehicle fields filled, not yet saved.
  void ShowTripsBefore() {
    Ui(*form).SetTrips({ShownTrip(1), ShownTrip(2)});
    Ui(*form).ReDraw_StringGrid();
    Ui(*form).Vehicle_Model_Edit->setText(QStringLiteral("ВАЗ-2110"));
    Ui(*form).SetUnsaved(true);
  }
  void ExpectLinkDown() {
    EXPECT_FALSE(Ui(*form).Connect_SpeedButton->isChecked());
    EXPECT_FALSE(Ui(*form).Link().IsUp());
    EXPECT_EQ(Ui(*form).Connect_SpeedButton->text(), QStringLiteral("Подключиться"));
    EXPECT_EQ(Ui(*form).Connect_SpeedButton->toolTip(), QStringLiteral("Установить связь с БК"));
    EXPECT_FALSE(Ui(*form).Read_Trip_From_BK_Button->isEnabled());
    EXPECT_FALSE(Ui(*form).Configuration_Button->isEnabled());
    EXPECT_TRUE(Ui(*form).COM1_Select_RadioButton->isEnabled());
    EXPECT_TRUE(Ui(*form).COM2_Select_RadioButton->isEnabled());
  }
  int Rows() const { return Ui(*form).TableModel().rowCount(); }

  riventar::sim::Simulator sim;
  ScriptedDialogs dialogs;
  std::unique_ptr<riventar::ui::TMonitor_Form> form;
};

TEST_F(LinkForm, HandshakeAtTheThirdNopBringsTheLinkUp) {
  sim.SetMisbehaviour(Misbehaviour::IgnoreNext(2));
  Ui(*form).Connect_SpeedButton->click();
  EXPECT_TRUE(dialogs.messages.empty());
  EXPECT_EQ(sim.Commands(), std::vector<std::string>(3, "$NOP"));
  EXPECT_TRUE(Ui(*form).Connect_SpeedButton->isChecked());
  EXPECT_EQ(Ui(*form).Connect_SpeedButton->text(), QStringLiteral("Отключиться"));
  EXPECT_EQ(Ui(*form).Connect_SpeedButton->toolTip(), QStringLiteral("Разорвать связь с БК"));
  EXPECT_TRUE(Ui(*form).Read_Trip_From_BK_Button->isEnabled());
  EXPECT_TRUE(Ui(*form).Configuration_Button->isEnabled());
  EXPECT_FALSE(Ui(*form).COM1_Select_RadioButton->isEnabled());
  EXPECT_FALSE(Ui(*form).COM2_Select_RadioButton->isEnabled());
}

TEST_F(LinkForm, NoAnswerGivesTheButtonBack) {
  sim.SetMisbehaviour(Misbehaviour::SilentAfter(0));
  Ui(*form).Connect_SpeedButton->click();
  EXPECT_EQ(sim.Commands(), std::vector<std::string>(5, "$NOP"));
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].caption, QStringLiteral("Ошибка установления связи с БК"));
  EXPECT_EQ(dialogs.messages[0].text, NoAnswer);
  EXPECT_EQ(dialogs.messages[0].icon, MsgIcon::Stop);
  EXPECT_EQ(dialogs.beeps, 0);
  ExpectLinkDown();
}

TEST_F(LinkForm, APortThatCannotBeOpenedBeepsAndSaysWhy) {
  struct Case {
    const char* name;
    std::string path;
    const char* reason;
  };
  const int holder = ::open(sim.SlavePath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
  const Case cases[] = {
      {"missing", "/dev/riventar-missing", "No such file or directory"},
      {"in use", sim.SlavePath(), "занят"},
  };
  for (const Case& c : cases) {
    dialogs.messages.clear();
    dialogs.log.clear();
    ::setenv("RIVENTAR_COM2", c.path.c_str(), 1);
    Ui(*form).COM2_Select_RadioButton->setChecked(true);
    Ui(*form).Connect_SpeedButton->click();
    EXPECT_EQ(dialogs.log, (std::vector<std::string>{"beep", "message:Error"})) << c.name;
    ASSERT_EQ(dialogs.messages.size(), 1u);
    const QStringList lines = dialogs.messages[0].text.split('\n');
    EXPECT_EQ(lines[0], QStringLiteral("Не возможно открыть последовательный порт")) << c.name;
    EXPECT_TRUE(dialogs.messages[0].text.contains(QString::fromStdString(c.path))) << c.name;
    EXPECT_TRUE(dialogs.messages[0].text.contains(QString::fromUtf8(c.reason))) << c.name;
    ExpectLinkDown();
  }
  ::close(holder);
  EXPECT_TRUE(sim.Commands().empty());  // no handshake was tried
}

TEST_F(LinkForm, DisconnectSendsNothingAndCanConnectAgain) {
  Connect();
  Ui(*form).Connect_SpeedButton->click();
  ExpectLinkDown();
  EXPECT_TRUE(sim.Commands().empty());
  Ui(*form).Connect_SpeedButton->click();
  EXPECT_TRUE(Ui(*form).Link().IsUp());
  EXPECT_EQ(sim.Commands(), std::vector<std::string>{"$NOP"});
}

TEST_F(LinkForm, ReadingThreeTripsAppendsThemAndAsksAboutTheCounter) {
  ShowTripsBefore();
  Connect();
  dialogs.answers = {MsgAnswer::No};
  Ui(*form).Read_Trip_From_BK_Button->click();
  EXPECT_EQ(sim.Commands(), (std::vector<std::string>{"$TN", "$TR00", "$TR01", "$TR02"}));
  ASSERT_EQ(Ui(*form).Trips().size(), 5u);
  EXPECT_EQ(Ui(*form).Trips()[0], ShownTrip(1));
  EXPECT_EQ(Ui(*form).Trips()[2].Day, sim.Trips()[0].day);
  EXPECT_EQ(Ui(*form).Trips()[4].Distance, sim.Trips()[2].distance);
  EXPECT_EQ(Rows(), 5);
  EXPECT_EQ(dialogs.Captions(), std::vector<std::string>{"Считывание маршрутов"});
  // Then where the trips are kept (the logbook's tests look at that).
  EXPECT_TRUE(dialogs.messages[0].text.startsWith(
      QStringLiteral("Параметры маршрутов считаны.\nОбнулить счетчик маршрутов?\n\n")));
  EXPECT_TRUE(Ui(*form).Unsaved());
  EXPECT_TRUE(Ui(*form).Save_Trip_To_File_Button->isEnabled());
  EXPECT_TRUE(Ui(*form).Clear_Trip_Table_Button->isEnabled());
  EXPECT_EQ(form->findChild<riventar::ui::TProgress_Bar_Form*>(), nullptr);
  EXPECT_EQ(sim.Trips().size(), 3u);  // No: no "$TC"

  // Read again: the same trips a second time.
  dialogs.answers = {MsgAnswer::Yes};
  Ui(*form).Read_Trip_From_BK_Button->click();
  EXPECT_EQ(Ui(*form).Trips().size(), 8u);
  EXPECT_EQ(sim.Commands().back(), "$TC");
  EXPECT_TRUE(sim.Trips().empty());
  EXPECT_TRUE(Ui(*form).Link().IsUp());
  EXPECT_EQ(dialogs.messages.size(), 2u);  // nothing said about the reset
}

// At 9600 baud, so that replies take their wire time.
class LinkFormPaced : public LinkForm {
 protected:
  LinkFormPaced() : LinkForm(riventar::sim::SimulatorOptions::Paced()) {}
};

TEST_F(LinkFormPaced, ATripAnsweredLateIsStoredOnceInItsPlace) {
  // Trip 1's late answer and the answer to its repeat reach the program one
  // after the other, the second while "$TR02" waits.
  sim.SetTrips(riventar::sim::RealisticTrips(5));
  Connect();
  sim.SetMisbehaviour(Misbehaviour::LateOn(250ms, {"TR01"}));
  dialogs.answers = {MsgAnswer::No};
  Ui(*form).Read_Trip_From_BK_Button->click();
  ASSERT_EQ(Ui(*form).Trips().size(), 5u);
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(Ui(*form).Trips()[i].Day, sim.Trips()[i].day) << i;
    EXPECT_EQ(Ui(*form).Trips()[i].Distance, sim.Trips()[i].distance) << i;
  }
  EXPECT_EQ(dialogs.Captions(), std::vector<std::string>{"Считывание маршрутов"});
}

TEST_F(LinkFormPaced, AWindowCloseDuringAReadingWaitsForItsEnd) {
  sim.SetTrips(riventar::sim::RealisticTrips(8));
  form->show();
  Connect();
  bool closedMidway = false;
  QTimer::singleShot(100ms, form.get(), [&] {
    form->close();  // as the window manager's close button, while the progress window paints
    closedMidway = !form->isVisible();
  });
  dialogs.answers = {MsgAnswer::Yes};
  Ui(*form).Read_Trip_From_BK_Button->click();
  EXPECT_FALSE(closedMidway);
  EXPECT_EQ(Ui(*form).Trips().size(), 8u);
  EXPECT_EQ(dialogs.Captions(), std::vector<std::string>{"Считывание маршрутов"});
  EXPECT_TRUE(sim.Trips().empty()) << "the counter question was answered, not cut short";
  QCoreApplication::processEvents();
  EXPECT_FALSE(form->isVisible()) << "the close takes effect once the reading has ended";
}

TEST_F(LinkForm, RejectedTripsAreSkippedSilently) {
  for (const bool all : {false, true}) {
    auto trips = riventar::sim::WithInvalidTrips(riventar::sim::RealisticTrips(6));  // 1 and 4 rejected
    if (all)
      for (auto& t : trips) t.distance = 5;
    sim.SetTrips(trips);
    Ui(*form).SetUnsaved(false);
    Ui(*form).Clear_Trip_Table_Button_Click();
    if (!Ui(*form).Link().IsUp()) Connect();
    dialogs.messages.clear();
    dialogs.answers = {MsgAnswer::No};
    Ui(*form).Read_Trip_From_BK_Button->click();
    EXPECT_EQ(Ui(*form).Trips().size(), all ? 0u : 4u);
    EXPECT_EQ(dialogs.Captions(), std::vector<std::string>{"Считывание маршрутов"}) << all;
    EXPECT_TRUE(Ui(*form).Unsaved()) << all;
    EXPECT_TRUE(Ui(*form).Save_Trip_To_File_Button->isEnabled()) << all;
    EXPECT_TRUE(Ui(*form).Clear_Trip_Table_Button->isEnabled()) << all;
  }
}

TEST_F(LinkForm, NoStoredTripsIsANoticeOnly) {
  sim.SetTrips({});
  Connect();
  Ui(*form).Read_Trip_From_BK_Button->click();
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].icon, MsgIcon::Information);
  EXPECT_EQ(dialogs.messages[0].caption, QStringLiteral("Чтение маршрутов из БК"));
  EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("В памяти БК нет сохраненных маршрутов."));
  EXPECT_TRUE(Ui(*form).Link().IsUp());
  EXPECT_FALSE(Ui(*form).Save_Trip_To_File_Button->isEnabled());
}

TEST_F(LinkForm, NoAnswerToTheCountDropsTheLinkAndLeavesTheTable) {
  ShowTripsBefore();
  Connect();
  sim.SetMisbehaviour(Misbehaviour::SilentOn({"TN"}));
  Ui(*form).Read_Trip_From_BK_Button->click();
  EXPECT_EQ(sim.Commands(), std::vector<std::string>{"$TN"});
  EXPECT_EQ(dialogs.Captions(), std::vector<std::string>{"Ошибка связи с БК"});
  EXPECT_EQ(dialogs.messages[0].text, NoAnswer);
  ExpectLinkDown();
  EXPECT_EQ(Ui(*form).Trips().size(), 2u);
  EXPECT_TRUE(Ui(*form).Unsaved());
}

TEST_F(LinkForm, SilenceAtTheSecondOfFiveTripsKeepsWhatWasShown) {
  sim.SetTrips(riventar::sim::RealisticTrips(5));
  ShowTripsBefore();
  Connect();
  sim.SetMisbehaviour(Misbehaviour::SilentOn({"TR01"}));
  bool progressGoneAtMessage = false;
  dialogs.onMessage = [&](const riventar::testing::MessageRecord&) {
    progressGoneAtMessage = form->findChild<riventar::ui::TProgress_Bar_Form*>() == nullptr;
  };
  Ui(*form).Read_Trip_From_BK_Button->click();
  EXPECT_EQ(sim.Commands(), (std::vector<std::string>{"$TN", "$TR00", "$TR01", "$TR01", "$TR01", "$TR01", "$TR01"}));
  EXPECT_EQ(dialogs.Captions(), std::vector<std::string>{"Ошибка связи с БК"});  // no question about saving
  EXPECT_EQ(dialogs.messages[0].text, NoAnswer);
  EXPECT_TRUE(progressGoneAtMessage);
  ExpectLinkDown();
  // The trip read before the silence is dropped; what was shown stays.
  EXPECT_EQ(Ui(*form).Trips(), (riventar::trips::TripList{ShownTrip(1), ShownTrip(2)}));
  EXPECT_EQ(Rows(), 2);
  EXPECT_EQ(Ui(*form).Vehicle_Model_Edit->text(), QStringLiteral("ВАЗ-2110"));
  EXPECT_TRUE(Ui(*form).Unsaved());
  EXPECT_EQ(sim.Trips().size(), 5u);
}

TEST_F(LinkForm, ATripCutShortIsNamedAndNothingOfTheReadingIsKept) {
  sim.SetTrips(riventar::sim::RealisticTrips(5));
  ShowTripsBefore();
  Connect();
  sim.SetMisbehaviour(Misbehaviour::CutOn("TR02", 15));  // "!TR02" and ten digits of fields
  Ui(*form).Read_Trip_From_BK_Button->click();
  EXPECT_EQ(sim.Commands(),
            (std::vector<std::string>{"$TN", "$TR00", "$TR01", "$TR02", "$TR02", "$TR02", "$TR02", "$TR02"}));
  EXPECT_EQ(dialogs.Captions(), std::vector<std::string>{"Ошибка связи с БК"});  // no question about the counter
  EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("БК прислал неполный или искажённый ответ на запрос маршрута 3 "
                                                     "($TR02).\nДанные этого ответа не приняты.\n"));
  ExpectLinkDown();
  EXPECT_EQ(Ui(*form).Trips(), (riventar::trips::TripList{ShownTrip(1), ShownTrip(2)}));
  EXPECT_EQ(sim.Trips().size(), 5u);
}

TEST_F(LinkForm, AnUnansweredCounterResetIsReported) {
  Connect();
  sim.SetMisbehaviour(Misbehaviour::SilentOn({"TC"}));
  dialogs.answers = {MsgAnswer::Yes};
  Ui(*form).Read_Trip_From_BK_Button->click();
  EXPECT_EQ(sim.Commands().back(), "$TC");
  EXPECT_EQ(dialogs.Captions(), (std::vector<std::string>{"Считывание маршрутов", "Ошибка связи с БК"}));
  EXPECT_EQ(dialogs.messages[1].text, NoAnswer);
  ExpectLinkDown();
  EXPECT_EQ(Ui(*form).Trips().size(), 3u);  // the reading itself stands
  EXPECT_EQ(sim.Trips().size(), 3u);
}

}  // namespace

namespace {

// Shutdown stops the receiver and closes the port before the table is
// cleared (and its question asked); the device receives nothing.
TEST_F(LinkForm, ClosingWithTheLinkUpStopsItBeforeClearing) {
  Connect();
  ShowTripsBefore();
  bool linkUpDuringQuestion = true;
  dialogs.onMessage = [this, &linkUpDuringQuestion](const riventar::testing::MessageRecord&) {
    linkUpDuringQuestion = Ui(*form).Link().IsUp();
  };
  dialogs.answers = {MsgAnswer::No};
  auto* window = form.get();
  Ui(*window).Monitor_Form_Destroy();
  EXPECT_FALSE(linkUpDuringQuestion);
  EXPECT_EQ(dialogs.Captions(), std::vector<std::string>{"Удаление маршрутов"});
  EXPECT_TRUE(sim.Commands().empty());
  EXPECT_TRUE(Ui(*window).Trips().empty());
}

}  // namespace
