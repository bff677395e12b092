// Choosing the device behind COM1/COM2 in the real main window (offscreen),
// with made-up device lists, the choice kept in a scratch settings file and
// the simulated device standing in for the adapter.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QFrame>
#include <QMenu>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QToolButton>
#include <memory>

#include "adapters/ports/binding.h"
#include "sim/simulator.h"
#include "tests/adapters/made_up_devices.h"
#include "tests/support/main_form_access.h"
#include "tests/support/scripted_dialogs.h"
#include "ui/app/Main_form.h"

namespace {

using riventar::ports::PortReport;
using riventar::testing::MadeUpDevices;
using riventar::testing::ScriptedDialogs;

class PortChoice : public ::testing::Test {
 protected:
  void SetUp() override {
    qunsetenv("RIVENTAR_COM1");
    qunsetenv("RIVENTAR_COM2");
    form = std::make_unique<riventar::ui::TMonitor_Form>(dialogs);
    // The simulated device poses as the one USB adapter plugged in.
    Use({{QString::fromStdString(sim.SlavePath()),
          {},
          QStringLiteral("FTDI"),
          QStringLiteral("FT232R USB UART"),
          QStringLiteral("A50285BI"),
          true,
          true},
         {QStringLiteral("/dev/ttyS1"), {}, {}, {}, {}, false, true}});
  }
  void TearDown() override { form.reset(); }

  void Use(std::vector<PortReport> devices) {
    Ui(*form).SetPortSources(std::make_unique<MadeUpDevices>(std::move(devices)), Settings());
  }
  std::unique_ptr<QSettings> Settings() {
    return riventar::ports::OpenUserSettings(scratch.filePath(QStringLiteral("riventar.conf")));
  }
  QString Saved(int com) { return Settings()->value(QStringLiteral("ports/COM%1").arg(com)).toString(); }
  QAction* Item(const QString& startingWith) {
    for (QAction* a : Ui(*form).Port_Choice_Menu->actions())
      if (a->text().startsWith(startingWith)) return a;
    ADD_FAILURE() << "no item " << startingWith.toStdString();
    return nullptr;
  }
  QStringList Items(bool onlyTicked = false) {
    QStringList texts;
    for (QAction* a : Ui(*form).Port_Choice_Menu->actions())
      if (!onlyTicked || a->isChecked()) texts << a->text();
    return texts;
  }
  // The hint as the tooltip shows it: Qt decides between markup and text by Qt::mightBeRichText.
  static QString Shown(const QString& tooltip) {
    if (!Qt::mightBeRichText(tooltip)) return tooltip;
    QTextDocument document;
    document.setHtml(tooltip);
    return document.toPlainText();
  }

  riventar::sim::Simulator sim;
  QTemporaryDir scratch;
  ScriptedDialogs dialogs;
  std::unique_ptr<riventar::ui::TMonitor_Form> form;
};

TEST_F(PortChoice, FirstStartBindsTheOnlyAdapterConnectsAndRemembersIt) {
  const QString pty = QString::fromStdString(sim.SlavePath());
  EXPECT_TRUE(Ui(*form).COM1_Select_RadioButton->toolTip().startsWith(
      QStringLiteral("COM1: FTDI FT232R USB UART (A50285BI)\n") + pty));
  EXPECT_TRUE(Ui(*form).COM2_Select_RadioButton->toolTip().startsWith(QStringLiteral("COM2: ttyS1\n/dev/ttyS1")));
  Ui(*form).Connect_SpeedButton->click();
  ASSERT_TRUE(Ui(*form).Link().IsUp());
  EXPECT_TRUE(dialogs.messages.empty());
  EXPECT_FALSE(Ui(*form).Port_Choice_Button->isEnabled());
  EXPECT_EQ(Saved(1), pty);
  Ui(*form).Connect_SpeedButton->click();
  EXPECT_TRUE(Ui(*form).Port_Choice_Button->isEnabled());
}

TEST_F(PortChoice, ListChoiceTypedPathAndOpenFailureAdvice) {
  // The button sits in the panel's free corner, clear of the window's own controls.
  const QRect button = Ui(*form).Port_Choice_Button->geometry();
  EXPECT_TRUE(Ui(*form).COM_Select_Panel->contentsRect().contains(button));
  for (QWidget* w :
       {static_cast<QWidget*>(Ui(*form).COM1_Select_RadioButton),
        static_cast<QWidget*>(Ui(*form).COM2_Select_RadioButton), static_cast<QWidget*>(Ui(*form).Connect_SpeedButton)})
    EXPECT_FALSE(w->geometry().intersects(button));

  // A right click on COM2 lists the devices for COM2: adapter, UART port, the rest.
  QContextMenuEvent rightClick(QContextMenuEvent::Mouse, QPoint(5, 5),
                               Ui(*form).COM2_Select_RadioButton->mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(Ui(*form).COM2_Select_RadioButton, &rightClick);
  ASSERT_TRUE(Ui(*form).Port_Choice_Menu->isVisible());
  const QString pty = QString::fromStdString(sim.SlavePath());
  EXPECT_EQ(
      Items(),
      (QStringList{QStringLiteral("Устройство для COM2"), QStringLiteral("FTDI FT232R USB UART (A50285BI) - ") + pty,
                   QStringLiteral("ttyS1 - /dev/ttyS1"), QString(), QStringLiteral("Другое устройство...")}));
  EXPECT_TRUE(Item(QStringLiteral("ttyS1"))->isChecked());
  Item(QStringLiteral("FTDI"))->trigger();
  EXPECT_EQ(Saved(2), pty);
  EXPECT_TRUE(Ui(*form).COM2_Select_RadioButton->isChecked());
  EXPECT_TRUE(Ui(*form).COM2_Select_RadioButton->toolTip().startsWith(QStringLiteral("COM2: FTDI")));
  Ui(*form).Port_Choice_Menu->hide();

  // The small button lists for the selected port; a typed path is taken as it is.
  Ui(*form).COM1_Select_RadioButton->setChecked(true);
  Ui(*form).Port_Choice_Button->click();
  ASSERT_TRUE(Ui(*form).Port_Choice_Menu->isVisible());
  EXPECT_EQ(Items().first(), QStringLiteral("Устройство для COM1"));
  EXPECT_TRUE(Items().contains(QStringLiteral("Стандартный порт /dev/ttyS0")));
  dialogs.textAnswers = {QStringLiteral(" /dev/riventar-absent ")};
  Item(QStringLiteral("Другое устройство"))->trigger();
  EXPECT_EQ(dialogs.textRequests, std::vector<QString>{QStringLiteral("Путь к устройству для COM1:")});
  EXPECT_EQ(Saved(1), QStringLiteral("/dev/riventar-absent"));
  EXPECT_TRUE(Ui(*form).COM1_Select_RadioButton->toolTip().startsWith(
      QStringLiteral("COM1: /dev/riventar-absent (сейчас не найдено)")));
  Ui(*form).Port_Choice_Button->click();
  EXPECT_EQ(Items(true), QStringList{QStringLiteral("/dev/riventar-absent (сейчас не найдено)")});
  Ui(*form).Port_Choice_Menu->hide();

  // Opening it fails: the known first line, the reason, and how to pick another.
  Ui(*form).Connect_SpeedButton->click();
  EXPECT_FALSE(Ui(*form).Link().IsUp());
  ASSERT_EQ(dialogs.messages.size(), 1u);
  const QStringList lines = dialogs.messages[0].text.split(QLatin1Char('\n'));
  EXPECT_EQ(lines.first(), QStringLiteral("Не возможно открыть последовательный порт"));
  EXPECT_TRUE(lines.contains(QStringLiteral("Устройство: /dev/riventar-absent")));
  EXPECT_TRUE(lines.last().startsWith(QStringLiteral("Другое устройство для COM1 или COM2 выбирается")));

  // The environment still wins over any choice, and the list says so.
  qputenv("RIVENTAR_COM1", sim.SlavePath().c_str());
  Ui(*form).Port_Choice_Button->click();
  EXPECT_TRUE(Items().contains(QStringLiteral("Задано переменной RIVENTAR_COM1: ") + pty));
  Ui(*form).Connect_SpeedButton->click();
  EXPECT_TRUE(Ui(*form).Link().IsUp());
  qunsetenv("RIVENTAR_COM1");
}

// What COM1 opens is ticked in the list and named in its hint truthfully (a
// typed path that is missing: above), and a USB descriptor's name is text.
TEST_F(PortChoice, TheBindingIsListedTickedAndNamedAsText) {
  const QString typed = scratch.filePath(QStringLiteral("my-link"));
  QFile(typed).open(QIODevice::WriteOnly);
  const QString usb5 = QStringLiteral("/dev/ttyUSB5");
  struct Case {
    const char* name;
    QString saved;
    PortReport device;
    QString ticked, hintFirstLine;
  };
  const Case cases[] = {
      {"a typed path that exists", typed, {}, typed, QStringLiteral("COM1: ") + typed},
      {"markup and an ampersand in the product name",
       usb5,
       {usb5, {}, {}, QStringLiteral("<b>Bold</b> & Co"), {}, true, true},
       QStringLiteral("<b>Bold</b> && Co - ") + usb5,
       QStringLiteral("COM1: <b>Bold</b> & Co")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    riventar::ports::SaveBinding(1, c.saved, *Settings());
    Use(c.device.path.isEmpty() ? std::vector<PortReport>{} : std::vector<PortReport>{c.device});
    EXPECT_EQ(Shown(Ui(*form).COM1_Select_RadioButton->toolTip()).split(QLatin1Char('\n')).first(), c.hintFirstLine);
    Ui(*form).COM1_Select_RadioButton->setChecked(true);
    Ui(*form).Port_Choice_Button->click();
    EXPECT_EQ(Items(true), QStringList{c.ticked});
    Ui(*form).Port_Choice_Menu->hide();
  }
}

}  // namespace
