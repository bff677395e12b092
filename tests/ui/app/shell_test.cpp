// The shell: the main window's layout and states, About, help, the error box,
// centring, and the single-instance guard on a real X server.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <thread>

#include "adapters/desktop/help_viewer.h"
#include "adapters/desktop/window_lookup.h"
#include "tests/core/stats/trip_factory.h"
#include "tests/support/main_form_access.h"
#include "tests/support/private_x_server.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/stats_form_access.h"
#include "ui/app/Main_form.h"
#include "ui/app/program.h"
#include "ui/common/placement.h"
#include "ui/logbook/Logbook_form.h"
#include "ui/stats/Chart_form.h"
#include "ui/stats/Statistic_form.h"
#include "ui/trips/trip_table_model.h"

using namespace riventar;
using riventar::testing::ScriptedDialogs;
using riventar::ui::MsgIcon;

namespace {

TEST(Shell, ControlsAtTheirPlacesWithTheirCaptionsAndHints) {
  ScriptedDialogs dialogs;
  ui::TMonitor_Form form(dialogs);
  struct Case {
    QWidget* control;
    QRect geometry;
    QString caption;
    QString hint;
    bool enabled;
  };
  auto text = [](QWidget* w) -> QString {
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
    return {};
  };
  const Case cases[] = {
      {Ui(form).COM1_Select_RadioButton, {24, 8, 57, 17}, "COM1", "", true},
      {Ui(form).COM2_Select_RadioButton, {24, 24, 57, 17}, "COM2", "", true},
      {Ui(form).Connect_SpeedButton, {8, 48, 89, 25}, "Подключиться", "Установить связь с БК", true},
      {Ui(form).Configuration_Button, {608, 104, 89, 25}, "Конфигурация", "Конфигурирование БК", false},
      {Ui(form).About_Button, {608, 160, 89, 25}, "О программе", "Информация о программе монитора", true},
      {Ui(form).Exit_Button, {608, 200, 89, 25}, "Выход", "Завершить работу с программой", true},
      {Ui(form).Vehicle_Model_Label, {8, 6, 42, 13}, "Модель:", "", true},
      {Ui(form).Vehicle_Reg_Id_Label, {152, 6, 57, 13}, "Рег.номер:", "", true},
      {Ui(form).Vehicle_Owner_Label, {312, 6, 57, 13}, "Владелец:", "", true},
      {Ui(form).Read_Trip_From_BK_Button,
       {16, 232, 81, 25},
       "Из БК",
       "Считать параметры пройденных маршрутов из БК",
       false},
      {Ui(form).Read_Trip_From_File_Button,
       {120, 232, 81, 25},
       "Из файла",
       "Считать параметры маршрутов из файла",
       true},
      {Ui(form).Save_Trip_To_File_Button, {224, 232, 81, 25}, "В файл", "Сохранить параметры маршрутов в файле", false},
      {Ui(form).Clear_Trip_Table_Button, {328, 232, 81, 25}, "Очистить", "Очистить таблицу маршрутов", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.control->geometry(), c.geometry) << c.caption.toStdString();
    EXPECT_EQ(text(c.control), c.caption);
    if (qobject_cast<QRadioButton*>(c.control)) {
      EXPECT_TRUE(c.control->toolTip().startsWith(c.caption + QStringLiteral(": ")));  // names the bound device
    } else {
      EXPECT_EQ(c.control->toolTip(), c.hint) << c.caption.toStdString();
    }
    EXPECT_EQ(c.control->isEnabled(), c.enabled) << c.caption.toStdString();
  }
  EXPECT_TRUE(Ui(form).COM1_Select_RadioButton->isChecked());
  EXPECT_EQ(Ui(form).PopupItems.size(), 6);
}

TEST(Shell, CaptionsFitTheirControls) {
  ScriptedDialogs dialogs;
  ui::TMonitor_Form form(dialogs);
  for (QWidget* w : form.findChildren<QWidget*>()) {
    QString caption;
    if (auto* b = qobject_cast<QPushButton*>(w)) caption = b->text();
    if (auto* l = qobject_cast<QLabel*>(w)) caption = l->text();
    if (caption.isEmpty()) continue;
    EXPECT_LE(w->fontMetrics().horizontalAdvance(caption), w->width()) << caption.toStdString();
  }
}

TEST(Shell, AboutBox) {
  ScriptedDialogs dialogs;
  ui::TMonitor_Form form(dialogs);
  Ui(form).About_Button->click();
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].caption, QStringLiteral("О программе..."));
  EXPECT_EQ(dialogs.messages[0].icon, MsgIcon::Information);
  EXPECT_FALSE(dialogs.messages[0].text.isEmpty());
}

TEST(Shell, HelpOpensAtTheContentsSection) {
  ScriptedDialogs dialogs;
  ui::TMonitor_Form form(dialogs);
  Ui(form).ShowHelp();
  QWidget* help = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == QStringLiteral("HelpWindow") && w->isVisible()) help = w;
  ASSERT_NE(help, nullptr);
  auto* browser = help->findChild<QTextBrowser*>();
  ASSERT_NE(browser, nullptr);
  const QString html = browser->toHtml();
  EXPECT_TRUE(html.contains(QStringLiteral("содержание")));
  EXPECT_TRUE(html.contains(QStringLiteral("dialout")));
  EXPECT_TRUE(html.contains(QStringLiteral("RIVENTAR_COM1")));
}

TEST(Shell, TabLeavesTheGridForTheButtonsBelowItLeftToRight) {
  ScriptedDialogs dialogs;
  ui::TMonitor_Form form(dialogs);
  Ui(form).SetTrips({stats::testing::TripOn(2024, 3, 4), stats::testing::TripOn(2024, 3, 5)});
  Ui(form).ReDraw_StringGrid();
  for (QPushButton* b :
       {Ui(form).Read_Trip_From_BK_Button, Ui(form).Save_Trip_To_File_Button, Ui(form).Clear_Trip_Table_Button})
    b->setEnabled(true);
  form.show();
  form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  Ui(form).Trip_Params_StringGrid->setFocus();
  Ui(form).Trip_Params_StringGrid->setCurrentIndex(Ui(form).TableModel().index(1, 1));
  const QModelIndex current = Ui(form).Trip_Params_StringGrid->currentIndex();
  for (QPushButton* expected : {Ui(form).Read_Trip_From_BK_Button, Ui(form).Read_Trip_From_File_Button,
                                Ui(form).Save_Trip_To_File_Button, Ui(form).Clear_Trip_Table_Button}) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), expected) << expected->text().toStdString();
  }
  EXPECT_EQ(Ui(form).Trip_Params_StringGrid->currentIndex(), current) << "Tab moved between cells";
  // A disabled button is passed over.
  Ui(form).Read_Trip_From_BK_Button->setEnabled(false);
  Ui(form).Trip_Params_StringGrid->setFocus();
  QTest::keyClick(Ui(form).Trip_Params_StringGrid, Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), Ui(form).Read_Trip_From_File_Button);
  Ui(form).SetUnsaved(false);
}

TEST(Shell, EscapeClosesTheStatisticsChartLogbookAndHelpWindows) {
  ScriptedDialogs dialogs;
  ui::TMonitor_Form form(dialogs);
  form.show();
  Ui(form).SetTrips({stats::testing::TripOn(2024, 3, 4), stats::testing::TripOn(2024, 3, 5)});
  Ui(form).ReDraw_StringGrid();
  Ui(form).Trip_Params_StringGrid->selectRow(2);
  const std::pair<const char*, std::function<QWidget*()>> windows[] = {
      {"statistics",
       [&]() -> QWidget* {
         Ui(form).Popup_Menu_Click(5);
         return Ui(form).StatWindows().isEmpty() ? nullptr : Ui(form).StatWindows().constLast();
       }},
      {"chart",
       [&]() -> QWidget* {
         Ui(form).Popup_Menu_Click(5);
         if (Ui(form).StatWindows().isEmpty()) return nullptr;
         ui::TTrip_Stat_Form* stats = Ui(form).StatWindows().constLast();
         Ui(*stats).Statistic_Chart_Speed_Button_Click();
         return stats->ChartWindow();
       }},
      {"help", [] { return desktop::ShowHelp({}, QStringLiteral("содержание")).data(); }},
      {"logbook",
       [&]() -> QWidget* {
         Ui(form).Logbook_Button->click();
         return form.LogbookWindow();
       }},
  };
  for (const auto& [name, open] : windows) {
    SCOPED_TRACE(name);
    QPointer<QWidget> window = open();
    ASSERT_TRUE(window);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QWidget* focus = QApplication::focusWidget() ? QApplication::focusWidget() : window.data();
    QTest::keyClick(focus, Qt::Key_Escape);
    EXPECT_TRUE(!window || !window->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  EXPECT_EQ(Ui(form).StatWindows().size(), 1) << "the chart's Escape leaves its statistics window open";
  EXPECT_TRUE(dialogs.messages.empty());
}

TEST(Shell, EscapingErrorsReachTheErrorBoxAndTheProgramGoesOn) {
  ScriptedDialogs dialogs;
  ui::Guarded(dialogs, [] { throw std::runtime_error("'x' is not a valid integer value"); });
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].icon, MsgIcon::Stop);
  EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("'x' is not a valid integer value"));
}

TEST(Shell, CentringTruncatesTheHalves) {
  struct Case {
    QRect parent;
    QSize window;
    QPoint expected;
  };
  const Case cases[] = {
      {{218, 155, 720, 343}, {274, 73}, {218 + 360 - 137, 155 + 171 - 36}},
      {{0, 0, 101, 51}, {11, 5}, {50 - 5, 25 - 2}},
      {{10, 10, 100, 100}, {300, 300}, {10 + 50 - 150, 10 + 50 - 150}},
  };
  for (const Case& c : cases) EXPECT_EQ(ui::CentredOver(c.parent, c.window), c.expected);
}

TEST(Shell, MainWindowIsMovedOnlyAsFarAsTheScreenNeeds) {
  const QRect wanted(218, 155, 720, 343);  // the window's outer frame at its designed place
  struct Case {
    const char* what;
    QRect available;
    QPoint expected;
  };
  const Case cases[] = {
      {"fits", {0, 0, 1280, 1024}, {218, 155}},
      {"fits exactly", {218, 155, 720, 343}, {218, 155}},
      {"fits below a top panel", {0, 32, 1024, 736}, {218, 155}},
      {"overflows right", {0, 0, 800, 600}, {80, 155}},
      {"overflows bottom", {0, 0, 1280, 480}, {218, 137}},
      {"overflows both", {0, 0, 853, 480}, {133, 137}},
      {"larger than the screen", {0, 0, 640, 320}, {0, 0}},
      {"screen to the right of the origin", {1280, 0, 1024, 768}, {1280, 155}},
      {"screen below a panel, origin offset", {0, 200, 1280, 800}, {218, 200}},
      {"screen left of the origin", {-1024, 0, 1024, 768}, {-720, 155}},
  };
  for (const Case& c : cases) EXPECT_EQ(ui::PlacedInside(wanted, c.available), c.expected) << c.what;
}

TEST(Shell, ClosingTheWindowEndsTheProgramLikeExit) {
  ScriptedDialogs dialogs;
  bool quit = false;
  QMetaObject::Connection watch = QObject::connect(qApp, &QCoreApplication::aboutToQuit, [&quit] { quit = true; });
  QTimer::singleShot(0, [&dialogs] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* form = qobject_cast<ui::TMonitor_Form*>(w)) form->close();
  });
  EXPECT_EQ(ui::RunProgram(dialogs), 0);
  QObject::disconnect(watch);
  EXPECT_TRUE(quit);
  EXPECT_TRUE(dialogs.messages.empty());
}

// A first copy of the real program on the X server makes a second start show
// its message and end with 0, creating no window.
TEST(Shell, SecondCopyIsRefused) {
  riventar::testing::PrivateXServer x;
  if (x.Missing()) GTEST_SKIP() << "Xvfb is not installed";
  ASSERT_FALSE(x.Display().empty()) << x.Failure();
  const QByteArray savedDisplay = qgetenv("DISPLAY");
  qputenv("DISPLAY", QByteArray::fromStdString(x.Display()));

  QProcess first;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
  env.insert(QStringLiteral("DISPLAY"), QString::fromStdString(x.Display()));
  QTemporaryDir runtime;  // its own lock folder: the title alone refuses
  env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
  first.setProcessEnvironment(env);
  first.setProcessChannelMode(QProcess::ForwardedChannels);
  first.start(QStringLiteral(RIVENTAR_BINARY), {});
  ASSERT_TRUE(first.waitForStarted());
  // Generous: a sanitizer build on a loaded machine starts slowly.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
  while (!desktop::TopLevelWindowWithTitleExists("Ривентар") && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_TRUE(desktop::TopLevelWindowWithTitleExists("Ривентар"))
      << "the first copy never showed its window (still running: " << (first.state() == QProcess::Running)
      << ")\nXvfb said:\n"
      << x.Log();

  ScriptedDialogs dialogs;
  const auto before = QApplication::topLevelWidgets().size();
  EXPECT_EQ(ui::RunProgram(dialogs), 0);
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].caption, QStringLiteral("Ривентар"));
  EXPECT_EQ(dialogs.messages[0].text,
            QStringLiteral("Данное приложение уже запущено.\nВернитесь к уже работающей копии."));
  EXPECT_EQ(dialogs.messages[0].icon, MsgIcon::Stop);
  EXPECT_EQ(QApplication::topLevelWidgets().size(), before);

  first.terminate();
  EXPECT_TRUE(first.waitForFinished(5000));
  EXPECT_FALSE(desktop::TopLevelWindowWithTitleExists("Ривентар"));
  qputenv("DISPLAY", savedDisplay);
}

}  // namespace
