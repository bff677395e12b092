// The device pulled out in the middle of an operation: the pty's device side
// closes, so the program's port hangs up. The operation must end in bounded
// time with its message, the link must be dropped, what was shown must stay,
// and once the device is back the user connects again by hand and goes on.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "core/link/messages.h"
#include "sim/simulator.h"
#include "tests/faults/sample_trip.h"
#include "tests/support/config_form_access.h"
#include "tests/support/main_form_access.h"
#include "tests/support/on_modal.h"
#include "tests/support/scripted_dialogs.h"
#include "ui/app/Main_form.h"
#include "ui/common/Progressbar_form.h"
#include "ui/config/Cfg_form.h"

namespace {

using namespace std::chrono_literals;
using riventar::sim::Misbehaviour;
using riventar::sim::Simulator;
using riventar::testing::SampleTrip;
using riventar::testing::ScriptedDialogs;
using riventar::ui::MsgAnswer;
using riventar::ui::MsgIcon;
using riventar::ui::TConfig_Form;
using Clock = std::chrono::steady_clock;

const QString NoAnswer = QString::fromUtf8(riventar::link::NoAnswerText);

class Unplugged : public ::testing::Test {
 protected:
  void SetUp() override {
    PlugIn();
    form = std::make_unique<riventar::ui::TMonitor_Form>(dialogs);
    form->show();
    Ui(*form).SetTrips({SampleTrip(1), SampleTrip(2)});
    Ui(*form).ReDraw_StringGrid();
    Ui(*form).SetUnsaved(true);
  }
  void TearDown() override {
    Ui(*form).SetUnsaved(false);
    form.reset();
    ::unsetenv("RIVENTAR_COM1");
  }

  // A device (a fresh one after an unplug) on COM1, answering a little late
  // so that a pull can fall between a command and its reply.
  void PlugIn() {
    sim.reset();
    sim = std::make_unique<Simulator>();
    sim->SetTrips(riventar::sim::RealisticTrips(6));
    ::setenv("RIVENTAR_COM1", sim->SlavePath().c_str(), 1);
  }
  void Connect() {
    if (!Ui(*form).Link().IsUp()) Ui(*form).Connect_SpeedButton->click();
    ASSERT_TRUE(Ui(*form).Link().IsUp());
    sim->ClearCommands();
    sim->SetMisbehaviour(Misbehaviour::Late(50ms));
  }
  // The configuration window, if the read succeeds, is closed as soon as it shows.
  void PressConfiguration() {
    riventar::testing::OnModal<TConfig_Form> onShown(
        [](TConfig_Form& window) { Ui(window).Exit_Config_Button->click(); });
    Ui(*form).Configuration_Button->click();
  }
  void ExpectDroppedLink() {
    EXPECT_FALSE(Ui(*form).Link().IsUp());
    EXPECT_FALSE(Ui(*form).Connect_SpeedButton->isChecked());
    EXPECT_EQ(Ui(*form).Connect_SpeedButton->text(), QStringLiteral("Подключиться"));
    EXPECT_FALSE(Ui(*form).Read_Trip_From_BK_Button->isEnabled());
    EXPECT_FALSE(Ui(*form).Configuration_Button->isEnabled());
    EXPECT_TRUE(Ui(*form).COM1_Select_RadioButton->isEnabled());
    EXPECT_EQ(form->findChild<TConfig_Form*>(), nullptr);
    EXPECT_EQ(form->findChild<riventar::ui::TProgress_Bar_Form*>(), nullptr);
  }

  std::unique_ptr<Simulator> sim;
  ScriptedDialogs dialogs;
  std::unique_ptr<riventar::ui::TMonitor_Form> form;
};

TEST_F(Unplugged, MidOperationShowsTheMessageDropsTheLinkAndReconnectsOnceBack) {
  struct Case {
    const char* name;
    std::size_t pullAfter;  // commands the device has received when it is pulled; 0: before the press
    bool configuration;     // else "Из БК"
  };
  const Case cases[] = {
      {"idle, then reading", 0, false},
      {"reading, at the second trip", 3, false},  // "$TN", "$TR00", "$TR01"
      {"configuration read, at the fourth setting", 4, true},
      {"configuration read, at the version", 8, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Connect();
    if (c.pullAfter == 0) sim->Unplug();
    std::thread puller([&] {
      if (c.pullAfter > 0 && sim->WaitForCommands(c.pullAfter, 5s)) sim->Unplug();
    });
    dialogs.messages.clear();
    const auto start = Clock::now();
    if (c.configuration) {
      PressConfiguration();
    } else {
      Ui(*form).Read_Trip_From_BK_Button->click();
    }
    const auto took = Clock::now() - start;
    puller.join();
    EXPECT_EQ(sim->Commands().size(), c.pullAfter) << "pulled in the middle, not after the end";

    // Five tries of 200 ms at the most for a trip; the window tries once.
    EXPECT_LT(took, 3s);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].caption, QStringLiteral("Ошибка связи с БК"));
    EXPECT_EQ(dialogs.messages[0].text, NoAnswer);
    EXPECT_EQ(dialogs.messages[0].icon, MsgIcon::Stop);
    ExpectDroppedLink();
    EXPECT_EQ(Ui(*form).Trips(), (riventar::trips::TripList{SampleTrip(1), SampleTrip(2)}));
    EXPECT_TRUE(Ui(*form).Unsaved());

    // Still pulled out: the port is gone, as a USB adapter's is; connecting
    // says so and leaves the link down.
    dialogs.messages.clear();
    dialogs.log.clear();
    Ui(*form).Connect_SpeedButton->click();
    EXPECT_EQ(dialogs.log, (std::vector<std::string>{"beep", "message:Error"}));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith(QStringLiteral("Не возможно открыть последовательный порт")));
    ExpectDroppedLink();

    // Plugged in again: connect by hand and the same operation goes through.
    PlugIn();
    dialogs.messages.clear();
    Connect();
    sim->SetMisbehaviour({});
    if (c.configuration) {
      PressConfiguration();
      EXPECT_TRUE(dialogs.messages.empty());
      EXPECT_EQ(sim->Commands().back(), "$VSR");
    } else {
      dialogs.answers = {MsgAnswer::No};
      Ui(*form).Read_Trip_From_BK_Button->click();
      EXPECT_EQ(dialogs.Captions(), std::vector<std::string>{"Считывание маршрутов"});
      EXPECT_EQ(Ui(*form).Trips().size(), 2u + 6u);
      Ui(*form).SetTrips({Ui(*form).Trips().begin(), Ui(*form).Trips().begin() + 2});
      Ui(*form).ReDraw_StringGrid();
    }
    EXPECT_TRUE(Ui(*form).Link().IsUp());
  }
}

// Pulled out while the link is up and idle: the program notices by itself,
// drops the link, releases the device and says so; after replugging the
// connect button works again.
TEST_F(Unplugged, WhileIdleIsNoticedAtOnceAndConnectingAgainWorks) {
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    Connect();
    dialogs.messages.clear();
    const std::string pulled = sim->SlavePath();
    sim->Unplug();
    const auto start = Clock::now();
    while (Ui(*form).Link().IsUp() && Clock::now() - start < 2s) {
      QApplication::processEvents();
      std::this_thread::sleep_for(1ms);
    }
    EXPECT_LT(Clock::now() - start, 500ms);
    ExpectDroppedLink();
    EXPECT_TRUE(sim->Commands().empty()) << "nothing sent";
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].caption, QStringLiteral("Ошибка связи с БК"));
    EXPECT_TRUE(dialogs.messages[0].text.contains(QString::fromStdString(pulled) + QStringLiteral(" отключено")));
    QApplication::processEvents();  // the hints are refreshed just after the drop
    EXPECT_TRUE(Ui(*form).COM1_Select_RadioButton->toolTip().contains(QStringLiteral("не найдено")));

    PlugIn();
    dialogs.messages.clear();
    Connect();
    EXPECT_TRUE(dialogs.messages.empty());
  }
  // A late notice of an old connection leaves the new one alone.
  QApplication::processEvents();
  EXPECT_TRUE(Ui(*form).Link().IsUp());
}

}  // namespace
