// The main window's configuration button: the window's modal result decides
// whether the link stays up. Real main window, simulated device on a pty.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <cstdlib>
#include <functional>
#include <memory>

#include "core/link/messages.h"
#include "sim/simulator.h"
#include "tests/support/config_form_access.h"
#include "tests/support/main_form_access.h"
#include "tests/support/on_modal.h"
#include "tests/support/scripted_dialogs.h"
#include "ui/app/Main_form.h"
#include "ui/common/placement.h"
#include "ui/config/Cfg_form.h"

namespace {

using riventar::testing::ScriptedDialogs;
using riventar::ui::TConfig_Form;
using Commands = std::vector<std::string>;

class ConfigOpener : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("RIVENTAR_COM1", sim.SlavePath().c_str(), 1);
    sim.SetTrips(std::vector<riventar::sim::DeviceTrip>(3));
    main = std::make_unique<riventar::ui::TMonitor_Form>(dialogs);
    main->show();
    Ui(*main).Connect_SpeedButton->click();
    ASSERT_TRUE(Ui(*main).Link().IsUp());
    Ui(*main).Link().SetReplyTimeout(std::chrono::milliseconds(500));  // room for sanitizer builds
    sim.ClearCommands();
  }
  void TearDown() override {
    main.reset();
    ::unsetenv("RIVENTAR_COM1");
  }

  // Presses "Конфигурация"; `whileShown` runs on the window once it is shown modally.
  void Configure(std::function<void(TConfig_Form&)> whileShown) {
    riventar::testing::OnModal<TConfig_Form> onShown([whileShown](TConfig_Form& form) {
      whileShown(form);
      // Whatever the step did, the modal loop must end.
      if (form.isVisible()) Ui(form).Exit_Config_Button->click();
    });
    Ui(*main).Configuration_Button->click();
    shown = onShown.Ran();
  }

  bool LinkDropped() const {
    return !Ui(*main).Link().IsUp() && !Ui(*main).Connect_SpeedButton->isChecked() &&
           !Ui(*main).Configuration_Button->isEnabled() && Ui(*main).Connect_SpeedButton->text() == "Подключиться";
  }

  riventar::sim::Simulator sim;
  ScriptedDialogs dialogs;
  std::unique_ptr<riventar::ui::TMonitor_Form> main;
  bool shown = false;
};

}  // namespace

TEST_F(ConfigOpener, ReadFailureDuringCreationNeverShowsTheWindowAndDropsTheLink) {
  riventar::sim::Misbehaviour m;
  m.silentAfter = 5;
  sim.SetMisbehaviour(m);
  QString countWhileFailing;
  dialogs.onMessage = [&](const riventar::testing::MessageRecord&) {
    if (auto* form = main->findChild<TConfig_Form*>()) countWhileFailing = Ui(*form).Trip_Counter_Edit->text();
  };
  Configure([](TConfig_Form&) {});
  EXPECT_FALSE(shown);
  EXPECT_EQ(sim.Commands(), (Commands{"$LBR", "$SDR", "$AR", "$ICR", "$TN", "$MR"}));
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].caption, "Ошибка связи с БК");
  EXPECT_EQ(countWhileFailing, "3");  // the fifth row was filled before the sixth failed
  EXPECT_TRUE(LinkDropped());
  EXPECT_EQ(main->findChild<TConfig_Form*>(), nullptr);  // destroyed
}

TEST_F(ConfigOpener, ExitKeepsTheLinkAndTheWindowIsCentred) {
  QPoint at, expected;
  Configure([&](TConfig_Form& form) {
    at = form.frameGeometry().topLeft();
    expected = riventar::ui::CentredOver(main->frameGeometry(), form.frameGeometry().size());
    Ui(form).Exit_Config_Button->click();
  });
  EXPECT_TRUE(shown);
  EXPECT_EQ(at, expected);
  EXPECT_TRUE(dialogs.messages.empty());
  EXPECT_TRUE(Ui(*main).Link().IsUp());
  EXPECT_TRUE(Ui(*main).Configuration_Button->isEnabled());
  EXPECT_EQ(main->findChild<TConfig_Form*>(), nullptr);
}

TEST_F(ConfigOpener, FailureInAShownWindowClosesItAndDropsTheLink) {
  Configure([&](TConfig_Form& form) {
    riventar::sim::Misbehaviour m;
    m.silentOn = {"LBS"};
    sim.SetMisbehaviour(m);
    Ui(form).LED_Bright_Edit->setText("7");
    Ui(form).LED_Bright_Set_Button->click();
    EXPECT_FALSE(form.isVisible());
  });
  EXPECT_TRUE(shown);
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].caption, "Ошибка связи с БК");
  EXPECT_EQ(sim.Commands().back(), "$LBS070d");
  EXPECT_TRUE(LinkDropped());
}
