// What only real windows on a real X server show: the titles the window
// manager gets, Qt's own button texts, the file dialog's suffix handling and
// the chart's hover texts.
#include <gtest/gtest.h>

#include <QApplication>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QLineSeries>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>
#include <QTreeWidget>
#include <cstdlib>
#include <memory>

#include "adapters/desktop/help_viewer.h"
#include "adapters/link/link.h"
#include "adapters/logbook/sqlite_store.h"
#include "tests/core/stats/trip_factory.h"
#include "tests/support/logbook_form_access.h"
#include "tests/support/main_form_access.h"
#include "tests/support/on_modal.h"
#include "tests/support/private_x_server.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/stats_form_access.h"
#include "tests/support/trip_builder.h"
#include "ui/app/Main_form.h"
#include "ui/app/application.h"
#include "ui/common/Progressbar_form.h"
#include "ui/common/Vehicle_choice_form.h"
#include "ui/common/dialogs.h"
#include "ui/config/Cfg_form.h"
#include "ui/logbook/Logbook_form.h"
#include "ui/stats/Chart_form.h"
#include "ui/stats/Statistic_form.h"

// Readable failures: gtest would print a QString as its UTF-16 units.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace {

// 4 March 2024, 8:00, 1 km on 1 l.
riventar::trips::TripRecord MarchTrip() {
  return riventar::testing::TripBuilder().Date(2024, 3, 4).Time(8).Distance(6000);
}

using riventar::testing::OnModal;
using riventar::testing::ScriptedDialogs;

QString NetWmName(const QWidget& window) {
  QCoreApplication::processEvents();
  return QString::fromStdString(riventar::testing::NetWmName(window.winId()));
}

TEST(RealWindows, EveryWindowCarriesExactlyItsCaption) {
  ScriptedDialogs scripted;
  riventar::ui::TMonitor_Form form(scripted);
  form.show();
  EXPECT_EQ(NetWmName(form), "Ривентар");
  EXPECT_EQ(form.frameGeometry().topLeft(), QPoint(218, 155)) << "the designed place, on a screen it fits";

  riventar::ui::TProgress_Bar_Form progress(&form);
  progress.show();
  EXPECT_EQ(NetWmName(progress), "Ривентар - обмен");

  Ui(form).SetTrips({MarchTrip()});
  Ui(form).ReDraw_StringGrid();
  Ui(form).Popup_Menu_Click(5);
  ASSERT_EQ(Ui(form).StatWindows().size(), 1);
  EXPECT_EQ(NetWmName(*Ui(form).StatWindows().constFirst()), "Статистика по маршрутам");
  riventar::ui::TTrip_Stat_Form& stats = *Ui(form).StatWindows().constFirst();
  Ui(stats).Statistic_Chart_Speed_Button_Click();
  ASSERT_NE(stats.ChartWindow(), nullptr);
  EXPECT_EQ(NetWmName(*stats.ChartWindow()), "Статистика по маршрутам - график");

  riventar::link::Link down;  // every reading fails at once: the window still shows its caption
  scripted.answers.assign(8, riventar::ui::MsgAnswer::Ok);
  riventar::ui::TConfig_Form config(down, scripted, &form);
  config.show();
  EXPECT_EQ(NetWmName(config), "Ривентар - Конфигурирование");
  config.hide();

  QPointer<QWidget> help = riventar::desktop::ShowHelp({}, QStringLiteral("содержание"));
  ASSERT_TRUE(help);
  EXPECT_EQ(NetWmName(*help), "Ривентар - справка");
  delete help.data();

  // A real message box, in Russian.
  riventar::ui::QtDialogs real;
  QString boxTitle;
  QStringList buttons;
  OnModal<QMessageBox> answer([&](QMessageBox& box) {
    boxTitle = NetWmName(box);
    EXPECT_EQ(box.textFormat(), Qt::PlainText);
    for (QAbstractButton* b : box.buttons()) buttons << b->text().remove(QLatin1Char('&'));
    box.button(QMessageBox::No)->click();
  });
  EXPECT_FALSE(real.Ask(&form, QStringLiteral("Считывание маршрутов"), QStringLiteral("Обнулить?")));
  ASSERT_TRUE(answer.Ran());
  EXPECT_EQ(boxTitle, "Считывание маршрутов");
  buttons.sort();
  EXPECT_EQ(buttons, (QStringList{QStringLiteral("Да"), QStringLiteral("Нет")}));

  // The real question which car a reading goes to: proposed the fields' car,
  // confirmed with Enter; cancelled, the reading stays unassigned.
  const riventar::trips::VehicleInfo shown{"ВАЗ-2110", "А123ВС 77", ""};
  QString choiceTitle;
  OnModal<riventar::ui::TVehicle_Choice_Form> confirm([&](riventar::ui::TVehicle_Choice_Form& f) {
    choiceTitle = NetWmName(f);
    QTest::keyClick(&f, Qt::Key_Return);
  });
  EXPECT_EQ(real.ChooseVehicle(&form, {QStringLiteral("?"), {}, shown}), shown);
  ASSERT_TRUE(confirm.Ran());
  EXPECT_EQ(choiceTitle, "Автомобиль маршрутов");
  OnModal<riventar::ui::TVehicle_Choice_Form> cancel(
      [](riventar::ui::TVehicle_Choice_Form& f) { QTest::keyClick(&f, Qt::Key_Escape); });
  EXPECT_EQ(real.ChooseVehicle(&form, {QStringLiteral("?"), {}, shown}), std::nullopt);
  ASSERT_TRUE(cancel.Ran());
  Ui(form).SetUnsaved(false);
}

TEST(RealWindows, TheLogbookWindowListsItsVehicles) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("logbook.sqlite"));
  auto store = riventar::logbook::OpenLogbook(path.toStdString());
  const riventar::trips::TripRecord trip = MarchTrip();
  store->Record(
      {riventar::logbook::Origin::File, "a.dat", "2024-03-04 09:00:00", {"ВАЗ-2110", "А123ВС", "Иванов"}, {trip}});
  ScriptedDialogs scripted;
  riventar::ui::TMonitor_Form form(scripted);
  form.UseLogbook(std::move(store), path);
  form.show();
  Ui(form).Logbook_Button->click();
  riventar::ui::TLogbook_Form* window = form.LogbookWindow();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
  EXPECT_EQ(NetWmName(*window), "Журнал маршрутов");
  ASSERT_EQ(Ui(*window).Vehicles_List->topLevelItemCount(), 1);
  QTreeWidgetItem* vehicle = Ui(*window).Vehicles_List->topLevelItem(0);
  EXPECT_EQ(vehicle->text(0), QStringLiteral("А123ВС"));
  EXPECT_FALSE(Ui(*window).Vehicles_List->visualItemRect(vehicle).isEmpty()) << "the row is on screen";
  EXPECT_TRUE(scripted.messages.empty());
}

TEST(RealWindows, SaveDialogOpenedOnTheSpreadsheetTypeGivesCsv) {
  QTemporaryDir dir;
  riventar::ui::QtDialogs real;
  const QStringList filters = {QStringLiteral("Файлы данных (*.dat)"), QStringLiteral("Файлы Excel (*.csv)"),
                               QStringLiteral("Все файлы (*)")};
  for (const int type : {1, 0}) {
    QString dialogTitle;
    OnModal<QFileDialog> typeName([&](QFileDialog& dialog) {
      dialogTitle = dialog.windowTitle();
      dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("trips"));
      static_cast<QDialog&>(dialog).accept();  // QFileDialog::accept(), as the Save button
    });
    const auto choice = real.SaveFile(nullptr, {dir.path(), filters, type, QStringLiteral("dat")});
    ASSERT_TRUE(typeName.Ran());
    ASSERT_TRUE(choice.has_value());
    EXPECT_EQ(choice->path, dir.filePath(type == 1 ? "trips.csv" : "trips.dat"));
    EXPECT_EQ(choice->filterIndex, type);
    EXPECT_EQ(dialogTitle, "Сохранить как") << "Qt's own texts in Russian";
  }
}

// The figures of a bar or point appear under the pointer and stay while it
// rests there, past the moment Qt asks the chart for a tooltip of its own.
TEST(RealWindows, ChartShowsTheBucketsFiguresUnderThePointer) {
  using riventar::stats::testing::TripOn;
  ScriptedDialogs scripted;
  riventar::ui::TMonitor_Form form(scripted);
  form.show();
  Ui(form).SetTrips({TripOn(2005, 10, 3, 3723, 2710, 151800, 33600), TripOn(2005, 10, 3, 1800, 1500, 90000, 16000),
                     TripOn(2005, 10, 5, 600, 320, 18000, 4000)});
  Ui(form).ReDraw_StringGrid();
  Ui(form).Trip_Params_StringGrid->selectRow(2);
  Ui(form).Popup_Menu_Click(2);  // October 2005 by days: the 3rd, 4th (no trips) and 5th
  ASSERT_EQ(Ui(form).StatWindows().size(), 1);
  riventar::ui::TTrip_Stat_Form& stats = *Ui(form).StatWindows().constFirst();
  Ui(stats).Statistic_Chart_Speed_Button_Click();
  riventar::ui::TTrip_Chart_Form* chart = stats.ChartWindow();
  ASSERT_NE(chart, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(chart));
  QWidget* viewport = Ui(*chart).Chart_View->viewport();
  QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(5, 5));
  ASSERT_TRUE(QTest::qWaitForWindowActive(chart));

  QChart* qchart = Ui(*chart).Chart_View->chart();
  const auto onView = [&](QPointF value, QAbstractSeries* series) {
    return Ui(*chart).Chart_View->mapFromScene(qchart->mapToScene(qchart->mapToPosition(value, series)));
  };
  struct Case {
    const char* what;
    QPointF value;  // the bar's middle or the point itself
    QAbstractSeries* series;
    QString text;
  };
  const QString third = QStringLiteral("3-ОКТ-2005\nМаршрутов: 2\nПуть: 40.3 км\nТопливо: 3.1 л\nРасход: 7.6 л/100км");
  const QString fifth = QStringLiteral("5-ОКТ-2005\nМаршрутов: 1\nПуть: 3.0 км\nТопливо: 0.2 л\nРасход: 8.3 л/100км");
  const Case cases[] = {
      {"distance bar", {-0.2, Ui(*chart).DistanceSet->at(0) / 2}, qchart->series().at(0), third},
      {"fuel bar", {2.2, Ui(*chart).FuelSet->at(2) / 2}, qchart->series().at(1), fifth},
      {"consumption point", Ui(*chart).ConsumptionLines[1]->at(0), Ui(*chart).ConsumptionLines[1], fifth},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    QTest::mouseMove(viewport, QPoint(3, 3));
    QTest::qWait(50);
    QTest::mouseMove(viewport, onView(c.value, c.series));
    EXPECT_TRUE(QTest::qWaitFor([&] { return QToolTip::isVisible() && QToolTip::text() == c.text; }, 2000));
    EXPECT_EQ(QToolTip::text(), c.text);
    QTest::qWait(1500);  // past the tooltip delay and a lingering hide
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text(), c.text);
  }
  QTest::mouseMove(viewport, QPoint(3, 3));
  EXPECT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 2000));
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  riventar::testing::PrivateXServer x;
  if (x.Missing()) {
    std::puts("Xvfb is not installed: nothing to run");
    return 0;
  }
  if (x.Display().empty()) {
    std::fprintf(stderr, "%s\n", x.Failure().c_str());
    return 1;
  }
  ::setenv("DISPLAY", x.Display().c_str(), 1);
  ::setenv("QT_QPA_PLATFORM", "xcb", 1);
  riventar::ui::QtDialogs dialogs;
  riventar::ui::Application app(argc, argv, dialogs);  // as the program sets itself up
  return RUN_ALL_TESTS();
}
