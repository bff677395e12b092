#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QBarSet>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QMenu>
#include <QMouseEvent>
#include <QPageSize>
#include <QPalette>
#include <QPointer>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolButton>
#include <map>
#include <memory>

#include "tests/core/stats/trip_factory.h"
#include "tests/support/main_form_access.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/stats_form_access.h"
#include "ui/app/Main_form.h"
#include "ui/stats/Chart_form.h"
#include "ui/stats/Statistic_form.h"
#include "ui/trips/trip_table_model.h"

namespace riventar::ui {
namespace {

using stats::testing::TripOn;
using testing::ScriptedDialogs;

// Counts the close events each window receives.
class CloseCounter final : public QObject {
 public:
  std::map<const QObject*, int> closes;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Close) ++closes[watched];
    return false;
  }
};

void ProcessDeferredDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

class StatsFormTest : public ::testing::Test {
 protected:
  void SetUp() override { form->show(); }
  void TearDown() override {
    form.reset();
    ProcessDeferredDeletes();
  }

  void Fill(trips::TripList trips) {
    Ui(*form).SetTrips(std::move(trips));
    Ui(*form).ReDraw_StringGrid();
  }
  void Select(int row) {
    Ui(*form).Trip_Params_StringGrid->selectionModel()->setCurrentIndex(
        Ui(*form).TableModel().index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  }
  QStringList MenuCaptions() const {
    QStringList out;
    for (QAction* item : Ui(*form).PopupItems) out << item->text();
    return out;
  }
  void FillWorkedExample() {
    Fill({TripOn(2005, 10, 3, 3723, 2710, 151800, 33600), TripOn(2005, 10, 3, 1800, 1500, 90000, 16000),
          TripOn(2005, 10, 5, 600, 320, 18000, 4000)});
    Select(2);
  }
  TTrip_Stat_Form* Open(int tag) {
    const qsizetype before = Ui(*form).StatWindows().size();
    Ui(*form).Popup_Menu_Click(tag);
    EXPECT_EQ(Ui(*form).StatWindows().size(), before + 1);
    return Ui(*form).StatWindows().isEmpty() ? nullptr : Ui(*form).StatWindows().constLast();
  }

  ScriptedDialogs dialogs;
  std::unique_ptr<TMonitor_Form> form = std::make_unique<TMonitor_Form>(dialogs);
};

TEST_F(StatsFormTest, MenuNamesTheSelectedTripAndOpensAtWindowPlusGridPoint) {
  Fill({TripOn(2005, 1, 1), TripOn(2005, 10, 5), TripOn(2005, 12, 31)});
  Select(1);
  Ui(*form).Trip_Params_StringGridMouseDown(Qt::RightButton, QPoint(40, 70));
  EXPECT_EQ(MenuCaptions(), (QStringList{"За СР-05-ОКТ-2005", "За неделю", "За Октябрь 2005 года", "За сезон",
                                         "За 2005 год", "Всего"}));
  EXPECT_TRUE(Ui(*form).PopupMenu->isVisible());
  EXPECT_EQ(Ui(*form).PopupMenu->pos(), form->frameGeometry().topLeft() + QPoint(40, 70));
  Ui(*form).PopupMenu->hide();

  // Rebuilt at each opening.
  Select(0);
  Ui(*form).Trip_Params_StringGridMouseDown(Qt::RightButton, QPoint(40, 70));
  EXPECT_EQ(MenuCaptions().at(0), "За СБ-01-ЯНВ-2005");
  Ui(*form).PopupMenu->hide();
}

// From the keyboard too: the menu key opens it under the current row.
TEST_F(StatsFormTest, TheMenuKeyOpensTheMenuForTheCurrentRow) {
  Fill({TripOn(2005, 1, 1), TripOn(2005, 10, 5)});
  Select(1);
  QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(0, 0), QPoint(0, 0));
  QApplication::sendEvent(Ui(*form).Trip_Params_StringGrid, &key);
  EXPECT_TRUE(Ui(*form).PopupMenu->isVisible());
  EXPECT_EQ(MenuCaptions().at(0), "За СР-05-ОКТ-2005");
  Ui(*form).PopupMenu->hide();
}

TEST_F(StatsFormTest, MenuStaysClosedForOtherButtonsAndAnEmptyTable) {
  Ui(*form).Trip_Params_StringGridMouseDown(Qt::RightButton, QPoint(40, 70));
  EXPECT_FALSE(Ui(*form).PopupMenu->isVisible());
  Fill({TripOn(2005, 10, 5)});
  Ui(*form).Trip_Params_StringGridMouseDown(Qt::LeftButton, QPoint(40, 70));
  EXPECT_FALSE(Ui(*form).PopupMenu->isVisible());
  EXPECT_EQ(MenuCaptions().at(0), "За день");
}

TEST_F(StatsFormTest, RightClickOnAnotherRowKeepsTheSelectedAnchor) {
  trips::TripList list;
  for (unsigned d = 1; d <= 8; ++d) list.push_back(TripOn(2005, 10, d));
  Fill(list);
  Select(2);
  QCoreApplication::processEvents();
  // On a row below the selected one, and on the heading row.
  QWidget* viewport = Ui(*form).Trip_Params_StringGrid->viewport();
  QWidget* heading = Ui(*form).Trip_Params_StringGrid->horizontalHeader()->viewport();
  const QPoint onRow7 = Ui(*form).Trip_Params_StringGrid->visualRect(Ui(*form).TableModel().index(6, 1)).center();
  for (const auto& [area, point] : {std::pair{viewport, onRow7}, std::pair{heading, QPoint(50, 9)}}) {
    QMouseEvent press(QEvent::MouseButtonPress, point, area->mapToGlobal(point), Qt::RightButton, Qt::RightButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(area, &press);
    EXPECT_EQ(Ui(*form).Trip_Params_StringGrid->currentIndex().row(), 2);
    EXPECT_TRUE(Ui(*form).PopupMenu->isVisible());
    EXPECT_EQ(MenuCaptions().at(0), "За ПН-03-ОКТ-2005");
    EXPECT_EQ(Ui(*form).PopupMenu->pos(),
              form->frameGeometry().topLeft() + area->mapTo(Ui(*form).Trip_Params_StringGrid, point));
    Ui(*form).PopupMenu->hide();
  }
}

TEST_F(StatsFormTest, WorkedWeekWindow) {
  FillWorkedExample();
  TTrip_Stat_Form* w = Open(1);
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(w->isVisible());
  EXPECT_TRUE(w->isWindow());
  EXPECT_EQ(w->windowTitle(), "Статистика по маршрутам");
  EXPECT_EQ(w->pos(), QPoint(283, 190));
  EXPECT_EQ(w->size(), QSize(401, 308));
  const std::pair<QLabel*, QString> expected[] = {
      {Ui(*w).Statistic_Period_Label, "Неделя с 3-ОКТ-2005 по 9-ОКТ-2005"},
      {Ui(*w).Statistic_Days_Label, "3"},
      {Ui(*w).Statistic_Trip_Days_Label, "2"},
      {Ui(*w).Statistic_Trips_Count_Label, "3"},
      {Ui(*w).Statistic_Total_Time_Label, "1:42:3"},
      {Ui(*w).Statistic_Time_In_Go_Label, "1:15:30"},
      {Ui(*w).Statistic_Total_Way_Label, "43.3 км"},
      {Ui(*w).Statistic_Aver_Speed_Label, "34.2 км/час"},
      {Ui(*w).Statistic_Total_Fuel_Label, "3.3 л"},
      {Ui(*w).Statistic_Aver_Fuel_Label, "7.7 л/100км"},
  };
  for (const auto& [label, text] : expected) EXPECT_EQ(label->text(), text);
  EXPECT_EQ(Ui(*w).Statistic_Trip_Days_Label->geometry(), QRect(304, 4, 41, 13));
  EXPECT_EQ(Ui(*w).Statistic_Time_In_Go_Label->geometry(), QRect(288, 4, 65, 13));
  EXPECT_EQ(Ui(*w).Statistic_Aver_Fuel_Panel->geometry(), QRect(8, 232, 385, 25));

  // A snapshot: clearing the trips leaves the window as it was.
  Ui(*form).SetTrips({});
  Ui(*form).ReDraw_StringGrid();
  EXPECT_EQ(Ui(*w).Statistic_Days_Label->text(), "3");
}

TEST_F(StatsFormTest, InvalidDateAnywhereShowsAnErrorAndNoWindow) {
  FillWorkedExample();
  riventar::trips::TripList trips = Ui(*form).Trips();
  trips[1].Month = 12;  // no thirteenth month
  Ui(*form).SetTrips(std::move(trips));
  Ui(*form).Popup_Menu_Click(0);
  EXPECT_TRUE(Ui(*form).StatWindows().isEmpty());
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].icon, MsgIcon::Stop);
  EXPECT_TRUE(dialogs.messages[0].text.contains("N 2")) << dialogs.messages[0].text.toStdString();
}

TEST_F(StatsFormTest, WindowsCloseInAnyOrderAndShutdownClosesTheRestOnce) {
  FillWorkedExample();
  CloseCounter counter;
  QList<QPointer<TTrip_Stat_Form>> windows;
  for (int tag : {0, 1, 2, 5, 5}) {
    TTrip_Stat_Form* w = Open(tag);
    ASSERT_NE(w, nullptr);
    w->installEventFilter(&counter);
    windows.append(w);
  }
  EXPECT_EQ(windows[3]->pos(), windows[4]->pos());  // one on top of the other

  Ui(*windows[1]).Statistic_Close_Speed_Button->click();
  windows[3]->close();
  ProcessDeferredDeletes();
  EXPECT_TRUE(windows[1].isNull());
  EXPECT_TRUE(windows[3].isNull());
  EXPECT_EQ(Ui(*form).StatWindows(), (QList<TTrip_Stat_Form*>{windows[0], windows[2], windows[4]}));

  // Closed just before the program ends: its deferred deletion outlives the main window.
  windows[0]->close();
  const QList<TTrip_Stat_Form*> open = Ui(*form).StatWindows();
  EXPECT_EQ(open.size(), 2);
  form.reset();  // shutdown with two windows open
  ProcessDeferredDeletes();
  for (const auto& w : windows) EXPECT_TRUE(w.isNull());
  EXPECT_EQ(counter.closes.size(), static_cast<std::size_t>(windows.size()));
  for (const auto& [window, closes] : counter.closes) EXPECT_EQ(closes, 1);
  EXPECT_TRUE(dialogs.messages.empty());
}

class StatsPrintTest : public StatsFormTest {
 protected:
  // The PDF's text, laid out by line; empty when the file is missing.
  static QString PdfText(const QString& path) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    if (!p.waitForFinished(10000) || p.exitCode() != 0) return {};
    return QString::fromUtf8(p.readAllStandardOutput());
  }
  void PrintTo(TTrip_Stat_Form& w, const QString& path) {
    dialogs.printAnswers.push_back(true);
    dialogs.setUpPrinter = [path](QPrinter& printer) {
      printer.setOutputFormat(QPrinter::PdfFormat);
      printer.setOutputFileName(path);
    };
    Ui(w).Statistic_Print_Speed_Button->click();
  }

  QTemporaryDir dir;
};

TEST_F(StatsPrintTest, PrintsTheWindowsFiguresAndTheVehicleAsItStandsNow) {
  if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()) GTEST_SKIP() << "pdftotext missing";
  FillWorkedExample();
  Ui(*form).Vehicle_Model_Edit->setText("Старая");
  TTrip_Stat_Form* w = Open(1);
  ASSERT_NE(w, nullptr);
  Ui(*form).Vehicle_Model_Edit->setText("ВАЗ-2107");
  Ui(*form).Vehicle_Reg_Id_Edit->setText("А123ВС");
  Ui(*form).Vehicle_Owner_Edit->setText("Иванов Иван Иванович");

  const QString path = dir.filePath("report.pdf");
  PrintTo(*w, path);
  EXPECT_TRUE(dialogs.messages.empty());
  const QString text = PdfText(path);
  ASSERT_FALSE(text.isEmpty());
  EXPECT_TRUE(text.contains("Статистическая информация по маршрутам"));
  const std::pair<const char*, const char*> lines[] = {
      {"Отчетный период:", "Неделя с 3-ОКТ-2005 по 9-ОКТ-2005"},
      {"Марка автомашины:", "ВАЗ-2107"},
      {"Рег. номер:", "А123ВС"},
      {"Владелец:", "Иванов Иван Иванович"},
      {"Дней всего:", "3"},
      {"Дней с маршрутами:", "2"},
      {"Маршрутов всего:", "3"},
      {"Время на маршрутах:", "1:42:3"},
      {"Время в движении:", "1:15:30"},
      {"Пройденный путь:", "43.3 км"},
      {"Средняя скорость движения:", "34.2 км/час"},
      {"Израсходованное топливо:", "3.3 л"},
      {"Средний расход топлива:", "7.7 л/100км"},
  };
  for (const auto& [label, value] : lines) {
    const QRegularExpression line(QRegularExpression::escape(QString::fromUtf8(label)) + R"(\s+)" +
                                  QRegularExpression::escape(QString::fromUtf8(value)) + R"(\s*\n)");
    EXPECT_TRUE(text.contains(line)) << label << " " << value << "\n" << text.toStdString();
  }
  EXPECT_FALSE(text.contains("Старая"));
  EXPECT_EQ(text.count("\f"), 1) << "one page";
}

TEST_F(StatsPrintTest, BlackInkOnADarkThemeWholeOnAnA5PageAndThePrinterChoiceIsKept) {
  for (const char* tool : {"pdftotext", "pdftoppm"})
    if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) GTEST_SKIP() << tool << " missing";
  const QPalette light = QApplication::palette();
  QPalette dark = light;
  dark.setColor(QPalette::WindowText, Qt::white);
  dark.setColor(QPalette::Window, Qt::black);
  QApplication::setPalette(dark);
  FillWorkedExample();
  Ui(*form).Vehicle_Owner_Edit->setText(QString(50, QLatin1Char('W')));
  TTrip_Stat_Form* w = Open(5);
  ASSERT_NE(w, nullptr);
  const QString path = dir.filePath("a5.pdf");
  dialogs.printAnswers.push_back(true);
  dialogs.setUpPrinter = [path](QPrinter& printer) {  // the user's choices in the dialog
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setPageSize(QPageSize(QPageSize::A5));
  };
  Ui(*w).Statistic_Print_Speed_Button->click();
  QApplication::setPalette(light);
  EXPECT_TRUE(dialogs.messages.empty());

  QProcess words;
  words.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), path, QStringLiteral("-")});
  ASSERT_TRUE(words.waitForFinished(10000));
  const QString boxes = QString::fromUtf8(words.readAllStandardOutput());
  const auto page = QRegularExpression(R"re(<page width="([\d.]+)" height="([\d.]+)")re").match(boxes);
  ASSERT_TRUE(page.hasMatch()) << boxes.toStdString();
  int count = 0;
  for (const auto& word : QRegularExpression(R"re(xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)<)re").globalMatch(boxes)) {
    ++count;
    EXPECT_LE(word.captured(1).toDouble(), page.captured(1).toDouble()) << word.captured(3).toStdString();
    EXPECT_LE(word.captured(2).toDouble(), page.captured(2).toDouble()) << word.captured(3).toStdString();
  }
  EXPECT_GT(count, 30);
  EXPECT_TRUE(boxes.contains(QString(50, QLatin1Char('W'))));

  QProcess render;  // the darkest pixel is ink, not the theme's near-white text colour
  render.start(QStringLiteral("pdftoppm"),
               {QStringLiteral("-gray"), QStringLiteral("-r"), QStringLiteral("150"), path});
  ASSERT_TRUE(render.waitForFinished(10000));
  const QImage image = QImage::fromData(render.readAllStandardOutput());
  ASSERT_FALSE(image.isNull());
  int darkest = 255;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) darkest = std::min(darkest, qGray(image.pixel(x, y)));
  EXPECT_LT(darkest, 80);

  // The next print opens on the same printer and page.
  QPageSize::PageSizeId offered = QPageSize::Custom;
  dialogs.printAnswers.push_back(true);
  dialogs.setUpPrinter = [&](QPrinter& printer) {
    offered = printer.pageLayout().pageSize().id();
    printer.setOutputFileName(dir.filePath("again.pdf"));
  };
  Ui(*w).Statistic_Print_Speed_Button->click();
  EXPECT_EQ(offered, QPageSize::A5);
}

TEST_F(StatsPrintTest, CancelPrintsNothing) {
  FillWorkedExample();
  TTrip_Stat_Form* w = Open(5);
  ASSERT_NE(w, nullptr);
  dialogs.printAnswers.push_back(false);
  Ui(*w).Statistic_Print_Speed_Button->click();
  EXPECT_EQ(dialogs.log, std::vector<std::string>{"print"});
  EXPECT_TRUE(QDir(dir.path()).isEmpty());
}

TEST_F(StatsPrintTest, FailedJobIsReportedAndTheNextPrintWorks) {
  FillWorkedExample();
  TTrip_Stat_Form* w = Open(5);
  ASSERT_NE(w, nullptr);
  PrintTo(*w, dir.filePath("missing/folder/report.pdf"));
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].icon, MsgIcon::Stop);
  EXPECT_TRUE(w->isVisible());

  const QString path = dir.filePath("report.pdf");
  PrintTo(*w, path);
  EXPECT_EQ(dialogs.messages.size(), 1u);
  EXPECT_TRUE(QFile::exists(path));
}

TEST_F(StatsPrintTest, ChartShowsTheWindowsPeriodAndClosesWithIt) {
  FillWorkedExample();
  TTrip_Stat_Form* w = Open(2);  // October 2005 by days, fitted to the 3rd to the 5th
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(Ui(*w).Statistic_Chart_Speed_Button->text(), "График");
  EXPECT_FALSE(
      Ui(*w).Statistic_Chart_Speed_Button->geometry().intersects(Ui(*w).Statistic_Print_Speed_Button->geometry()));
  EXPECT_TRUE(w->rect().contains(Ui(*w).Statistic_Chart_Speed_Button->geometry()));
  Ui(*form).SetTrips({});  // the chart, like the figures, is the window's snapshot
  Ui(*w).Statistic_Chart_Speed_Button->click();
  QPointer<TTrip_Chart_Form> chart = w->ChartWindow();
  ASSERT_FALSE(chart.isNull());
  EXPECT_TRUE(chart->isVisible());
  EXPECT_EQ(chart->windowTitle(), "Статистика по маршрутам - график");
  EXPECT_LE((chart->frameGeometry().center() - w->frameGeometry().center()).manhattanLength(), 1);

  // Bars sum to the window's figures; the line has a gap on the 4th, which had no trips.
  ASSERT_EQ(Ui(*chart).DistanceSet->count(), 3);
  double km = 0;
  double litres = 0;
  for (int i = 0; i < 3; ++i) {
    km += Ui(*chart).DistanceSet->at(i);
    litres += Ui(*chart).FuelSet->at(i);
  }
  EXPECT_NEAR(km, 259800 / 6000.0, 1e-9);
  EXPECT_EQ(QString::number(km, 'f', 1) + " км", Ui(*w).Statistic_Total_Way_Label->text());
  EXPECT_NEAR(litres, 53600 / 16000.0, 1e-9);
  ASSERT_EQ(Ui(*chart).ConsumptionLines.size(), 2);
  EXPECT_EQ(Ui(*chart).ConsumptionLines[0]->points(), (QList<QPointF>{{0, 49600 / 16000.0 / (241800 / 6000.0) * 100}}));
  EXPECT_EQ(Ui(*chart).ConsumptionLines[1]->points(), (QList<QPointF>{{2, 4000 / 16000.0 / (18000 / 6000.0) * 100}}));

  // A second click raises the same window.
  Ui(*w).Statistic_Chart_Speed_Button->click();
  EXPECT_EQ(w->ChartWindow(), chart.data());
  Ui(*w).Statistic_Close_Speed_Button->click();
  EXPECT_FALSE(chart && chart->isVisible());
  ProcessDeferredDeletes();
  EXPECT_TRUE(chart.isNull());

  // Shutdown takes the charts of the windows still open with them.
  FillWorkedExample();
  TTrip_Stat_Form* last = Open(5);
  ASSERT_NE(last, nullptr);
  Ui(*last).Statistic_Chart_Speed_Button->click();
  chart = last->ChartWindow();
  form.reset();
  ProcessDeferredDeletes();
  EXPECT_TRUE(chart.isNull());
  EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(StatsPrintTest, ChartSavesAsTheTypePickedAndPrintsOnOnePage) {
  FillWorkedExample();
  TTrip_Stat_Form* w = Open(3);
  ASSERT_NE(w, nullptr);
  Ui(*w).Statistic_Chart_Speed_Button->click();
  TTrip_Chart_Form* chart = w->ChartWindow();
  ASSERT_NE(chart, nullptr);
  const struct {
    int filter;
    QByteArray start;
  } types[] = {{0, "\x89PNG"}, {1, "<?xml"}};
  for (const auto& type : types) {
    const QString path = dir.filePath(QStringLiteral("chart%1.img").arg(type.filter));
    dialogs.saveAnswers.push_back(FileChoice{path, type.filter});
    Ui(*chart).Chart_Save_Button->click();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << type.filter;
    EXPECT_TRUE(file.readAll().startsWith(type.start)) << type.filter;
  }
  EXPECT_EQ(dialogs.saveRequests.at(0).filters, (QStringList{"Рисунок PNG (*.png)", "Рисунок SVG (*.svg)"}));

  if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()) GTEST_SKIP() << "pdftotext missing";
  const QString pdf = dir.filePath("chart.pdf");
  dialogs.printAnswers.push_back(true);
  QPrinter* used = nullptr;
  dialogs.setUpPrinter = [pdf, &used](QPrinter& printer) {
    used = &printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
  };
  Ui(*chart).Chart_Print_Button->click();
  EXPECT_EQ(used, &Ui(*form).StatisticPrinter()) << "the statistics windows' printer, its choices kept";
  const QString text = PdfText(pdf);
  EXPECT_TRUE(text.contains("Осень (СЕН-ОКТ-НОЯ) 2005 года")) << text.toStdString();
  EXPECT_TRUE(text.contains("Расход, л/100 км")) << text.toStdString();
  EXPECT_EQ(text.count("\f"), 1) << "one page";
  EXPECT_TRUE(dialogs.messages.empty());
}

}  // namespace
}  // namespace riventar::ui
