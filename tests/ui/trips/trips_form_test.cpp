// The main window's trip table, data files, export and clearing, driven
// through a real window on the offscreen platform and real files.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPalette>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "base/text/cp1251.h"
#include "core/trips/dat_file.h"
#include "tests/support/main_form_access.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/trip_builder.h"
#include "ui/app/Main_form.h"
#include "ui/trips/trip_table_model.h"

using namespace riventar;
using riventar::testing::ScriptedDialogs;
using riventar::ui::FileChoice;
using riventar::ui::MsgAnswer;
using riventar::ui::MsgIcon;

namespace {

trips::TripRecord Trip(std::uint8_t day, std::uint32_t distance = 151800) {
  return riventar::testing::TripBuilder()
      .Date(2005, 10, day)
      .Weekday(2)
      .Time(8, 15)
      .Lasting(3723, 2710)
      .Distance(distance)
      .Fuel(33600);
}

std::string Contents(const QString& path) {
  std::ifstream in(path.toStdString(), std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void Write(const QString& path, const std::string& bytes) {
  std::ofstream(path.toStdString(), std::ios::binary) << bytes;
}

class TripsForm : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    form = std::make_unique<ui::TMonitor_Form>(dialogs);
  }
  void TearDown() override {
    // Shutdown must not ask anything the test did not expect.
    Ui(*form).SetUnsaved(false);
    form.reset();
  }

  QString Path(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }

  QString SampleFile(const char* name, const trips::TripList& trips) {
    const QString path = Path(name);
    Write(path, trips::SerializeDatFile({"ВАЗ-2110", "А123ВС", "Иванов"}, trips));
    return path;
  }

  void Load(const QString& path) {
    dialogs.openAnswers.push_back(FileChoice{path, 0});
    Ui(*form).Read_Trip_From_File_Button_Click();
  }

  std::string Cell(int row, int column) const { return Ui(*form).TableModel().CellText(row, column).toStdString(); }

  void Type(QLineEdit* edit, int key, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(edit, &press);
  }

  QTemporaryDir dir;
  ScriptedDialogs dialogs;
  std::unique_ptr<ui::TMonitor_Form> form;
};

TEST_F(TripsForm, StartState) {
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Ривентар"));
  EXPECT_EQ(form->size(), QSize(712, 316));
  EXPECT_FALSE(Ui(*form).Save_Trip_To_File_Button->isEnabled());
  EXPECT_FALSE(Ui(*form).Clear_Trip_Table_Button->isEnabled());
  EXPECT_TRUE(Ui(*form).Read_Trip_From_File_Button->isEnabled());
  EXPECT_FALSE(Ui(*form).Configuration_Button->isEnabled());
  EXPECT_FALSE(Ui(*form).Read_Trip_From_BK_Button->isEnabled());
  EXPECT_EQ(Ui(*form).TableModel().rowCount(), 1);
  EXPECT_EQ(Cell(0, 0), "");
  EXPECT_EQ(Ui(*form).TableModel().headerData(3, Qt::Horizontal, Qt::DisplayRole).toString(),
            QStringLiteral("На маршруте"));
  EXPECT_FALSE(Ui(*form).Unsaved());
}

TEST_F(TripsForm, LoadShowsEveryColumnAndTheVehicle) {
  Load(SampleFile("a.dat", {Trip(5), Trip(6)}));
  EXPECT_TRUE(dialogs.messages.empty());
  ASSERT_EQ(Ui(*form).TableModel().rowCount(), 2);
  const char* row[] = {"1", "СР-05-ОКТ-2005", "08:15", "01:02:03", "00:45:10", "25.3", "033.6", "2.1", "8.3"};
  for (int c = 0; c < 9; ++c) EXPECT_EQ(Cell(0, c), row[c]);
  EXPECT_EQ(Cell(1, 0), "2");
  EXPECT_EQ(Ui(*form).Vehicle_Model_Edit->text(), QStringLiteral("ВАЗ-2110"));
  EXPECT_EQ(Ui(*form).Vehicle_Owner_Edit->text(), QStringLiteral("Иванов"));
  EXPECT_TRUE(Ui(*form).Save_Trip_To_File_Button->isEnabled());
  EXPECT_TRUE(Ui(*form).Clear_Trip_Table_Button->isEnabled());
  EXPECT_FALSE(Ui(*form).Unsaved());
  EXPECT_EQ(dialogs.openRequests.at(0).filters.at(0), QStringLiteral("Маршрутные параметры (*.dat)"));
}

TEST_F(TripsForm, LoadReplacesAndRejectedLinesLeaveNoGap) {
  Load(SampleFile("a.dat", {Trip(1), Trip(2), Trip(3)}));
  Load(SampleFile("b.dat", {Trip(7), Trip(8, 5), Trip(9)}));
  ASSERT_EQ(Ui(*form).Trips().size(), 2u);
  EXPECT_EQ(Cell(1, 0), "2");
  EXPECT_EQ(Cell(1, 1), "СР-09-ОКТ-2005");
}

TEST_F(TripsForm, LoadWhereEveryTripIsRejectedLeavesAHeadingOnlyTable) {
  Load(SampleFile("a.dat", {Trip(1)}));
  Load(SampleFile("b.dat", {Trip(7, 5)}));
  EXPECT_EQ(Ui(*form).TableModel().rowCount(), 0);
  EXPECT_TRUE(Ui(*form).Save_Trip_To_File_Button->isEnabled());
  EXPECT_EQ(Ui(*form).Vehicle_Model_Edit->text(), QStringLiteral("ВАЗ-2110"));
}

TEST_F(TripsForm, RedrawKeepsTheCurrentRowClampedToTheRows) {
  QTableView& grid = *Ui(*form).Trip_Params_StringGrid;
  const auto current = [&grid] { return grid.currentIndex().row(); };
  const auto redraw = [this](trips::TripList trips) {
    Ui(*form).SetTrips(std::move(trips));
    Ui(*form).ReDraw_StringGrid();
  };
  redraw({Trip(1), Trip(2), Trip(3), Trip(4), Trip(5)});
  EXPECT_EQ(current(), 0);  // the first row until the user picks another
  EXPECT_TRUE(grid.selectionModel()->isRowSelected(0));
  grid.selectRow(3);
  redraw({Trip(1), Trip(2), Trip(3), Trip(4), Trip(5), Trip(6)});  // "Из БК" appends
  EXPECT_EQ(current(), 3);
  EXPECT_TRUE(grid.selectionModel()->isRowSelected(3));
  redraw({Trip(21), Trip(22)});  // fewer rows: the last one
  EXPECT_EQ(current(), 1);
  EXPECT_TRUE(grid.selectionModel()->isRowSelected(1));
  Ui(*form).Trip_Params_StringGridMouseDown(Qt::RightButton, QPoint(40, 70));
  EXPECT_EQ(Ui(*form).PopupItems.at(0)->text(), QStringLiteral("За СР-22-ОКТ-2005"));  // the anchor
  Ui(*form).PopupMenu->hide();
  Ui(*form).Clear_Trip_Table_Button_Click();
  EXPECT_EQ(current(), 0);                  // the single empty row
  Load(SampleFile("d.dat", {Trip(7, 5)}));  // every trip rejected: no row left
  EXPECT_EQ(current(), -1);
}

TEST_F(TripsForm, FixedColumnTakesTheButtonColoursOfThePalette) {
  form->show();
  Load(SampleFile("a.dat", {Trip(1), Trip(1)}));
  QTableView& grid = *Ui(*form).Trip_Params_StringGrid;
  const QRect n = grid.visualRect(Ui(*form).TableModel().index(1, 0));  // the unselected row "2"
  const QRect date = grid.visualRect(Ui(*form).TableModel().index(1, 1));
  const auto background = [&](const QRect& cell) {
    return grid.viewport()->grab().toImage().pixelColor(cell.right() - 2, cell.center().y());
  };
  const QPalette light = form->palette();
  EXPECT_EQ(background(n), light.color(QPalette::Button));

  QPalette dark = light;
  for (auto [role, colour] : {std::pair{QPalette::Base, QColor(20, 20, 20)},
                              {QPalette::Text, QColor(Qt::white)},
                              {QPalette::Button, QColor(50, 50, 60)},
                              {QPalette::ButtonText, QColor(255, 255, 0)}})
    dark.setColor(role, colour);
  // The window's own palette: the application's reaches widgets only in a running event loop.
  form->setPalette(dark);
  const QImage image = grid.viewport()->grab().toImage();
  EXPECT_EQ(image.pixelColor(n.right() - 2, n.center().y()), dark.color(QPalette::Button));
  EXPECT_EQ(image.pixelColor(date.right() - 2, date.center().y()), dark.color(QPalette::Base));
  int digitPixels = 0;  // the "2" in the button text's yellow
  for (int y = n.top(); y <= n.bottom(); ++y)
    for (int x = n.left(); x <= n.right(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (c.red() > 200 && c.green() > 200 && c.blue() < 100) ++digitPixels;
    }
  EXPECT_GT(digitPixels, 3);
}

TEST_F(TripsForm, BadFilesChangeNothing) {
  Load(SampleFile("good.dat", {Trip(5)}));
  Ui(*form).SetUnsaved(true);
  struct Case {
    const char* name;
    std::string bytes;
    const char* text;
    std::uintmax_t grownTo = 0;  // sparse: far too large to be a trip file, and never read
  };
  const Case cases[] = {
      {"short.dat", "a\r\nb\r\nc\r\n" + std::string(45, '0'), "Выбранный файл имеет неверный формат."},
      {"empty.dat", "a\r\nb\r\n", "Выбранный файл не содержит параметров маршрутов."},
      {"huge.dat", "a\r\nb\r\nc\r\n", "Выбранный файл имеет неверный формат.", std::uintmax_t{1} << 40},
  };
  for (const Case& c : cases) {
    dialogs.messages.clear();
    Write(Path(c.name), c.bytes);
    if (c.grownTo) std::filesystem::resize_file(Path(c.name).toStdString(), c.grownTo);
    Load(Path(c.name));
    ASSERT_EQ(dialogs.messages.size(), 1u) << c.name;
    EXPECT_EQ(dialogs.messages[0].caption, QStringLiteral("Error"));
    EXPECT_EQ(dialogs.messages[0].text.toStdString(), c.text);
    EXPECT_EQ(Ui(*form).Trips().size(), 1u);
    EXPECT_TRUE(Ui(*form).Unsaved());
    EXPECT_EQ(Ui(*form).Vehicle_Model_Edit->text(), QStringLiteral("ВАЗ-2110"));
  }
}

TEST_F(TripsForm, VanishedOrUnreadableFileBeepsAndSaysSo) {
  Load(Path("gone.dat"));
  Load(dir.path());  // a folder cannot be read as a file
  ASSERT_EQ(dialogs.messages.size(), 2u);
  for (const auto& m : dialogs.messages) {
    EXPECT_EQ(m.caption, QStringLiteral("Ошибка открытия файла"));
    EXPECT_EQ(m.text, QStringLiteral("Не возможно открыть выбранный файл"));
  }
  EXPECT_EQ(dialogs.log.at(1), "beep");
  EXPECT_EQ(Ui(*form).TableModel().rowCount(), 1);
}

TEST_F(TripsForm, SaveAndLoadBackThroughTheWindow) {
  Ui(*form).SetTrips({Trip(5), Trip(6)});
  Ui(*form).ReDraw_StringGrid();
  Ui(*form).Vehicle_Model_Edit->setText(QStringLiteral("Нива"));
  Ui(*form).SetUnsaved(true);
  dialogs.saveAnswers.push_back(FileChoice{Path("out.dat"), 0});
  Ui(*form).Save_Trip_To_File_Button_Click();
  EXPECT_FALSE(Ui(*form).Unsaved());
  const trips::TripList saved = Ui(*form).Trips();
  Ui(*form).Clear_Trip_Table_Button_Click();
  Load(Path("out.dat"));
  EXPECT_EQ(Ui(*form).Trips(), saved);
  EXPECT_EQ(Ui(*form).Vehicle_Model_Edit->text(), QStringLiteral("Нива"));
  EXPECT_EQ(dialogs.saveRequests.at(0).filters.at(1), QStringLiteral("Текстовые файлы Exel (*.csv)"));
}

TEST_F(TripsForm, TheTypePickedDecidesTheFormatAndIsRemembered) {
  Ui(*form).SetTrips({Trip(5)});
  Ui(*form).ReDraw_StringGrid();
  Ui(*form).SetUnsaved(true);
  dialogs.saveAnswers.push_back(FileChoice{Path("table.dat"), 1});
  Ui(*form).Save_Trip_To_File_Button_Click();
  EXPECT_FALSE(Ui(*form).Unsaved());  // an export counts as a save
  EXPECT_EQ(text::FromCp1251(Contents(Path("table.dat"))).substr(0, 6), "N;Да");
  dialogs.saveAnswers.push_back(FileChoice{Path("data.csv"), 0});
  Ui(*form).Save_Trip_To_File_Button_Click();
  EXPECT_EQ(dialogs.saveRequests.at(1).filterIndex, 1);
  EXPECT_EQ(Contents(Path("data.csv")).substr(0, 6), "\r\n\r\n\r\n");
}

TEST_F(TripsForm, ClearingAsksOnlyWhenUnsaved) {
  Load(SampleFile("a.dat", {Trip(5)}));
  Ui(*form).Clear_Trip_Table_Button_Click();
  EXPECT_TRUE(dialogs.messages.empty());

  struct Case {
    const char* name;
    std::vector<MsgAnswer> answers;
    std::optional<FileChoice> save;
    bool written;
  };
  const Case cases[] = {
      {"no", {MsgAnswer::No}, std::nullopt, false},
      {"yes, cancel", {MsgAnswer::Yes}, std::nullopt, false},
      {"yes, save", {MsgAnswer::Yes}, FileChoice{Path("kept.dat"), 0}, true},
  };
  for (const Case& c : cases) {
    Ui(*form).SetTrips({Trip(5)});
    Ui(*form).ReDraw_StringGrid();
    Ui(*form).Vehicle_Model_Edit->setText(QStringLiteral("x"));
    Ui(*form).Save_Trip_To_File_Button->setEnabled(true);
    Ui(*form).SetUnsaved(true);
    dialogs.messages.clear();
    dialogs.answers.assign(c.answers.begin(), c.answers.end());
    if (c.answers.front() == MsgAnswer::Yes) dialogs.saveAnswers.push_back(c.save);
    Ui(*form).Clear_Trip_Table_Button_Click();
    ASSERT_EQ(dialogs.messages.size(), 1u) << c.name;
    EXPECT_EQ(dialogs.messages[0].caption, QStringLiteral("Удаление маршрутов")) << c.name;
    EXPECT_EQ(dialogs.messages[0].icon, MsgIcon::Question);
    EXPECT_TRUE(Ui(*form).Trips().empty()) << c.name;
    EXPECT_EQ(Ui(*form).TableModel().rowCount(), 1);
    EXPECT_TRUE(Ui(*form).Vehicle_Model_Edit->text().isEmpty());
    EXPECT_FALSE(Ui(*form).Save_Trip_To_File_Button->isEnabled());
    EXPECT_FALSE(Ui(*form).Clear_Trip_Table_Button->isEnabled());
    EXPECT_FALSE(Ui(*form).Unsaved());
    EXPECT_EQ(QFile::exists(Path("kept.dat")), c.written) << c.name;
  }
}

TEST_F(TripsForm, TypingMarksUnsavedButProgramTextDoesNot) {
  Ui(*form).Vehicle_Owner_Edit->setText(QStringLiteral("set by the program"));
  EXPECT_FALSE(Ui(*form).Unsaved());
  Type(Ui(*form).Vehicle_Model_Edit, Qt::Key_Left, {});
  EXPECT_FALSE(Ui(*form).Unsaved());
  Type(Ui(*form).Vehicle_Model_Edit, Qt::Key_Backspace, QStringLiteral("\b"));  // changes nothing, still counts
  EXPECT_TRUE(Ui(*form).Unsaved());

  // Then loading asks first; Yes saves the three header lines only.
  dialogs.answers.push_back(MsgAnswer::Yes);
  dialogs.saveAnswers.push_back(FileChoice{Path("headers.dat"), 0});
  Load(SampleFile("a.dat", {Trip(5)}));
  EXPECT_EQ(Contents(Path("headers.dat")),
            "\r\n\r\n"
            "set by the program\r\n");
  EXPECT_EQ(Ui(*form).Trips().size(), 1u);
}

TEST_F(TripsForm, VehicleFieldsKeepLongHeadersTakeOnlyWhatFilesHoldAndCountEveryEdit) {
  const std::string model(30, 'M'), regId(25, 'R'), owner(70, 'O');
  const QString path = Path("long.dat");
  Write(path, trips::SerializeDatFile({model, regId, owner}, {Trip(5)}));
  Load(path);
  struct Case {
    QLineEdit* edit;
    std::string loaded;
    int limit;
  };
  const Case cases[] = {{Ui(*form).Vehicle_Model_Edit, model, 20},
                        {Ui(*form).Vehicle_Reg_Id_Edit, regId, 20},
                        {Ui(*form).Vehicle_Owner_Edit, owner, 50}};
  for (const Case& c : cases) EXPECT_EQ(c.edit->text().toStdString(), c.loaded);
  dialogs.saveAnswers.push_back(FileChoice{Path("again.dat"), 0});
  Ui(*form).Save_Trip_To_File_Button_Click();
  EXPECT_EQ(Contents(Path("again.dat")), Contents(path)) << "saved back whole";

  for (const Case& c : cases) {
    SCOPED_TRACE(c.limit);
    c.edit->clear();
    Ui(*form).SetUnsaved(false);
    c.edit->insert(QStringLiteral("Š😀"));  // a paste no ".dat" can hold
    EXPECT_EQ(c.edit->text(), "");
    EXPECT_EQ(dialogs.beeps, 1);
    dialogs.beeps = 0;
    c.edit->insert(QString(c.limit + 1, QLatin1Char('x')));  // typing stops at the limit
    EXPECT_EQ(c.edit->text(), "");
    c.edit->insert(QString(c.limit, QLatin1Char('x')));
    EXPECT_EQ(c.edit->text().size(), c.limit);
    EXPECT_TRUE(Ui(*form).Unsaved());
    Ui(*form).SetUnsaved(false);
    c.edit->undo();
    EXPECT_TRUE(Ui(*form).Unsaved());
  }
}

TEST_F(TripsForm, SavingOntoTheFileBeingLoadedLoadsWhatWasChosen) {
  const QString path = SampleFile("same.dat", {Trip(1), Trip(2), Trip(3)});
  Ui(*form).SetTrips({Trip(20)});
  Ui(*form).ReDraw_StringGrid();
  Ui(*form).SetUnsaved(true);
  dialogs.answers.push_back(MsgAnswer::Yes);
  dialogs.saveAnswers.push_back(FileChoice{path, 0});
  Load(path);
  EXPECT_TRUE(dialogs.Captions() == std::vector<std::string>{"Удаление маршрутов"});
  ASSERT_EQ(Ui(*form).Trips().size(), 3u);
  EXPECT_EQ(Ui(*form).Trips()[2].Day, 3);
  // The file now holds what was shown before; nothing was corrupted.
  EXPECT_EQ(std::get<trips::DatContents>(trips::ParseDatFile(Contents(path))).Trips.at(0).Day, 20);
  EXPECT_TRUE(Ui(*form).Unsaved()) << "the loaded trips are in no file any more";

  // Saved elsewhere, the chosen file still holds what the table shows.
  const QString other = SampleFile("other.dat", {Trip(4)});
  Ui(*form).SetTrips({Trip(21)});
  Ui(*form).SetUnsaved(true);
  dialogs.answers.push_back(MsgAnswer::Yes);
  dialogs.saveAnswers.push_back(FileChoice{other, 0});
  Load(path);
  EXPECT_EQ(Ui(*form).Trips().at(0).Day, 20);
  EXPECT_FALSE(Ui(*form).Unsaved());
}

TEST_F(TripsForm, FullDiskLosesNothing) {
  const QString path = SampleFile("old.dat", {Trip(1)});
  const std::string before = Contents(path);
  Ui(*form).SetTrips(trips::TripList(5000, Trip(7)));
  Ui(*form).ReDraw_StringGrid();
  Ui(*form).SetUnsaved(true);

  rlimit saved{};
  ::getrlimit(RLIMIT_FSIZE, &saved);
  auto* previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 8192;
  ::setrlimit(RLIMIT_FSIZE, &small);

  dialogs.saveAnswers.push_back(FileChoice{path, 0});
  Ui(*form).Save_Trip_To_File_Button_Click();
  // Clearing: the failed save asks again; No then clears.
  dialogs.answers = {MsgAnswer::Yes, MsgAnswer::No};
  dialogs.saveAnswers.push_back(FileChoice{path, 0});
  const bool unsavedAfterFailure = Ui(*form).Unsaved();
  Ui(*form).Clear_Trip_Table_Button_Click();

  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);

  EXPECT_TRUE(unsavedAfterFailure);
  EXPECT_EQ(Contents(path), before);
  EXPECT_EQ(dialogs.Captions(), (std::vector<std::string>{"Ошибка записи файла", "Удаление маршрутов",
                                                          "Ошибка записи файла", "Удаление маршрутов"}));
  EXPECT_EQ(dialogs.messages[0].icon, MsgIcon::Stop);
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1) << "no temporary file is left";
}

TEST_F(TripsForm, SaveIntoAFolderThatCannotBeWritten) {
  Ui(*form).SetUnsaved(true);
  dialogs.saveAnswers.push_back(FileChoice{Path("missing/out.dat"), 0});
  Ui(*form).Save_Trip_To_File_Button_Click();
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].caption, QStringLiteral("Ошибка открытия файла"));
  EXPECT_TRUE(Ui(*form).Unsaved());
}

TEST_F(TripsForm, ShutdownOffersToSaveOnce) {
  Ui(*form).SetTrips({Trip(5)});
  Ui(*form).SetUnsaved(true);
  dialogs.answers.push_back(MsgAnswer::No);
  form.reset();
  EXPECT_EQ(dialogs.Captions(), std::vector<std::string>{"Удаление маршрутов"});
  form = std::make_unique<ui::TMonitor_Form>(dialogs);
}

}  // namespace
