// The logbook seen from the windows: what a reading, a save and the logbook
// window put into it and take out of it, with the main window offscreen, the
// simulated device on a pseudo-terminal and a logbook file in a scratch folder.
#include "ui/logbook/Logbook_form.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <fstream>
#include <memory>
#include <sstream>

#include "adapters/logbook/location.h"
#include "core/trips/dat_file.h"
#include "sim/simulator.h"
#include "sim/trip_store.h"
#include "tests/support/logbook_form_access.h"
#include "tests/support/main_form_access.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/trip_builder.h"
#include "tests/ui/logbook/open_store.h"
#include "ui/app/Main_form.h"
#include "ui/logbook/logbook_texts.h"

namespace {

using namespace riventar;
using riventar::testing::OpenStore;
using riventar::testing::ScriptedDialogs;
using riventar::ui::FileChoice;
using riventar::ui::MsgAnswer;
using riventar::ui::MsgIcon;

const QString CounterQuestion = QStringLiteral("Считывание маршрутов");
const QString LogbookCaption = QStringLiteral("Журнал маршрутов");
const QString CounterText = QStringLiteral("Параметры маршрутов считаны.\nОбнулить счетчик маршрутов?");

trips::TripRecord Trip(std::uint8_t year, std::uint8_t month, std::uint8_t day) {
  return riventar::testing::TripBuilder().Date(2000 + year, month + 1, day).Time(9);
}

std::string Bytes(const QString& path) {
  std::ifstream in(path.toStdString(), std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Every write fails as a full disk does.
class FullStore final : public logbook::Store {
 public:
  [[noreturn]] static void Fail() { throw logbook::StoreError(logbook::StoreError::Kind::Full, "x", "disk full"); }
  logbook::Recorded Record(const logbook::Recording&) override { Fail(); }
  logbook::Recorded RecordSaved(const logbook::Recording&) override { Fail(); }
  std::vector<logbook::VehicleSummary> Vehicles() override { return {}; }
  std::vector<logbook::MonthSummary> Months(const std::string&) override { return {}; }
  trips::TripList Trips(const logbook::TripQuery&) override { return {}; }
  std::vector<logbook::ImportRow> Imports() override { return {}; }
  trips::TripList DeviceMemory(const std::string&) override { return {}; }
};

class LogbookForm : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    ::setenv("RIVENTAR_COM1", sim.SlavePath().c_str(), 1);
    sim.SetTrips(sim::RealisticTrips(4));
    form = std::make_unique<ui::TMonitor_Form>(dialogs);
    form->UseLogbook(OpenStore(LogbookPath()), LogbookPath());
  }
  void TearDown() override {
    Ui(*form).SetUnsaved(false);
    form.reset();
    ::unsetenv("RIVENTAR_COM1");
  }

  QString LogbookPath() const { return dir.filePath(QStringLiteral("logbook.sqlite")); }
  logbook::Store& Store() { return *form->Logbook(); }

  void ConnectAndRead(MsgAnswer counter = MsgAnswer::No) {
    Ui(*form).Connect_SpeedButton->click();
    ASSERT_TRUE(Ui(*form).Link().IsUp());
    dialogs.answers.push_back(counter);
    Ui(*form).Read_Trip_From_BK_Button->click();
  }

  QTemporaryDir dir;
  sim::Simulator sim;
  ScriptedDialogs dialogs;
  std::unique_ptr<ui::TMonitor_Form> form;
};

TEST_F(LogbookForm, AReadingIsOnDiskBeforeTheCounterQuestion) {
  Ui(*form).Vehicle_Reg_Id_Edit->setText(QStringLiteral("А123ВС 77"));
  std::size_t heldAtQuestion = 0;
  std::vector<logbook::ImportRow> importsAtQuestion;
  dialogs.onMessage = [&](const riventar::testing::MessageRecord& m) {
    if (m.caption != CounterQuestion) return;
    // Another connection to the file sees only what is committed.
    const auto other = OpenStore(LogbookPath());
    heldAtQuestion = other->Trips({}).size();
    importsAtQuestion = other->Imports();
  };
  ConnectAndRead(MsgAnswer::Yes);
  EXPECT_EQ(dialogs.Captions(), std::vector<std::string>{CounterQuestion.toStdString()});
  EXPECT_EQ(heldAtQuestion, 4u);
  ASSERT_EQ(importsAtQuestion.size(), 1u);
  EXPECT_EQ(importsAtQuestion[0].origin, logbook::Origin::Device);
  EXPECT_EQ(importsAtQuestion[0].source, sim.SlavePath());
  EXPECT_EQ(importsAtQuestion[0].read, 4);
  EXPECT_EQ(Store().DeviceMemory(sim.SlavePath()), Ui(*form).Trips());
  const auto vehicles = Store().Vehicles();
  ASSERT_EQ(vehicles.size(), 1u);
  EXPECT_EQ(vehicles[0].plateKey, logbook::PlateKey("А123ВС77"));
}

TEST_F(LogbookForm, AnUnwritableLogbookIsSaidBeforeTheQuestion) {
  struct Case {
    const char* name;
    std::unique_ptr<logbook::Store> store;
    const char* why;
  };
  Case cases[] = {{"no logbook open", nullptr, "журнал не открыт"},
                  {"disk full", std::make_unique<FullStore>(), "диск заполнен"}};
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    dialogs.messages.clear();
    form->UseLogbook(std::move(c.store), LogbookPath());
    ConnectAndRead();
    ASSERT_EQ(dialogs.Captions(),
              (std::vector<std::string>{LogbookCaption.toStdString(), CounterQuestion.toStdString()}));
    EXPECT_EQ(dialogs.messages[0].icon, MsgIcon::Stop);
    EXPECT_TRUE(dialogs.messages[0].text.contains(QStringLiteral("не записаны в журнал")));
    EXPECT_TRUE(dialogs.messages[0].text.contains(QString::fromUtf8(c.why)));
    EXPECT_TRUE(dialogs.messages[0].text.contains(QStringLiteral("хранятся в памяти БК")));
    EXPECT_EQ(Ui(*form).Trips().size() % 4, 0u) << "the reading completed";
    EXPECT_TRUE(Ui(*form).Unsaved());
    // The device may hold their only copy: Enter keeps it, and the question says why.
    EXPECT_EQ(dialogs.messages[1].defaultAnswer, MsgAnswer::No);
    EXPECT_EQ(dialogs.messages[1].text, CounterText + QStringLiteral("\n\nМаршруты не записаны в журнал: после "
                                                                     "обнуления счетчика они останутся только в "
                                                                     "этой таблице."));
    Ui(*form).Connect_SpeedButton->click();  // down again for the next case
  }
  // In no file and no logbook: closing asks first.
  dialogs.messages.clear();
  dialogs.answers.push_back(MsgAnswer::No);
  Ui(*form).Clear_Trip_Table_Button_Click();
  EXPECT_EQ(dialogs.Captions(), std::vector<std::string>{"Удаление маршрутов"});
}

TEST_F(LogbookForm, TheCounterQuestionSaysWhereTheTripsAreKeptAndClosingThenAsksNothing) {
  const QString where = LogbookPath();
  Ui(*form).Vehicle_Reg_Id_Edit->setText(QStringLiteral("А123ВС 77"));
  ConnectAndRead();
  ASSERT_EQ(dialogs.Captions(), std::vector<std::string>{CounterQuestion.toStdString()});
  EXPECT_EQ(dialogs.messages[0].defaultAnswer, MsgAnswer::Yes);
  EXPECT_EQ(dialogs.messages[0].text, CounterText + QStringLiteral("\n\nМаршруты записаны в журнал маршрутов\n") +
                                          where + QStringLiteral("\nавтомобиль «А123ВС 77»."));
  // Read again: nothing new, each trip keeps the vehicle it had.
  dialogs.answers.push_back(MsgAnswer::No);
  Ui(*form).Read_Trip_From_BK_Button->click();
  ASSERT_EQ(dialogs.messages.size(), 2u);
  EXPECT_EQ(dialogs.messages[1].text,
            CounterText + QStringLiteral("\n\nЭти маршруты уже есть в журнале маршрутов\n") + where + '.');

  // Every shown trip is in the logbook: the exit's clearing asks nothing.
  ASSERT_TRUE(Ui(*form).Unsaved());
  Ui(*form).Monitor_Form_Destroy();
  EXPECT_EQ(dialogs.messages.size(), 2u);
  EXPECT_TRUE(Ui(*form).Trips().empty());
}

TEST_F(LogbookForm, VehicleTextsTypedAfterARecordedReadingAreAskedAbout) {
  ConnectAndRead();
  ASSERT_EQ(dialogs.messages.at(0).text.count(QStringLiteral("«не назначены»")), 1);
  QTest::keyClicks(Ui(*form).Vehicle_Owner_Edit, QStringLiteral("Ivanov"));
  dialogs.answers.push_back(MsgAnswer::No);
  Ui(*form).Clear_Trip_Table_Button_Click();
  EXPECT_EQ(dialogs.Captions(), (std::vector<std::string>{CounterQuestion.toStdString(), "Удаление маршрутов"}));
}

TEST_F(LogbookForm, SavingGivesTheReadTripsTheirVehicle) {
  ConnectAndRead();
  ASSERT_EQ(Store().Vehicles().at(0).plateKey, "");
  Ui(*form).Vehicle_Reg_Id_Edit->setText(QStringLiteral("В456ОР"));
  Ui(*form).Vehicle_Model_Edit->setText(QStringLiteral("ВАЗ-2107"));
  const QString file = dir.filePath(QStringLiteral("a.dat"));
  dialogs.saveAnswers.push_back(FileChoice{file, 0});
  Ui(*form).Save_Trip_To_File_Button->click();
  EXPECT_TRUE(dialogs.messages.size() == 1u) << "only the counter question";
  // Saving never moves a trip the logbook holds: the read ones stay unassigned until moved.
  for (const logbook::VehicleSummary& v : Store().Vehicles()) {
    SCOPED_TRACE(v.texts.RegId);
    EXPECT_EQ(v.trips, v.plateKey.empty() ? 4 : 0);
  }

  // A logbook failure after a save is said; the save stands.
  form->UseLogbook(std::make_unique<FullStore>(), LogbookPath());
  dialogs.saveAnswers.push_back(FileChoice{dir.filePath(QStringLiteral("b.dat")), 0});
  Ui(*form).SetUnsaved(true);
  Ui(*form).Save_Trip_To_File_Button->click();
  ASSERT_EQ(dialogs.messages.size(), 2u);
  EXPECT_TRUE(dialogs.messages[1].text.contains(QStringLiteral("сохранены в файле")));
  EXPECT_FALSE(Ui(*form).Unsaved());
  EXPECT_EQ(Bytes(dir.filePath(QStringLiteral("b.dat"))), Bytes(file));
}

TEST_F(LogbookForm, ImportThenShowInTableLoadsAsAFileDoes) {
  const QString a = dir.filePath(QStringLiteral("a.dat")), b = dir.filePath(QStringLiteral("b.dat")),
                bad = dir.filePath(QStringLiteral("bad.dat"));
  std::ofstream(a.toStdString(), std::ios::binary)
      << trips::SerializeDatFile({"ВАЗ-2110", "А123ВС", "Иванов"}, {Trip(24, 2, 3), Trip(23, 5, 1)});
  std::ofstream(b.toStdString(), std::ios::binary)
      << trips::SerializeDatFile({"ВАЗ-2110", "а123вс", "Иванов"}, {Trip(23, 5, 1), Trip(24, 0, 9)});
  std::ofstream(bad.toStdString(), std::ios::binary) << "x\r\ny\r\nz\r\n123";

  Ui(*form).Logbook_Button->click();
  ui::TLogbook_Form* window = form->LogbookWindow();
  ASSERT_TRUE(window);
  Ui(*form).Logbook_Button->click();
  EXPECT_EQ(form->LogbookWindow(), window) << "one window at a time";
  EXPECT_EQ(window->windowTitle(), LogbookCaption);
  EXPECT_TRUE(Ui(*window).Location_Label->text().contains(LogbookPath()));

  for (int round = 0; round < 2; ++round) {
    dialogs.openManyAnswers.push_back({a, b, bad});
    Ui(*window).Import_Button->click();
  }
  ASSERT_EQ(dialogs.messages.size(), 2u);
  EXPECT_EQ(
      dialogs.messages[0].text,
      QStringLiteral("a.dat: считано 2, новых 2\nb.dat: считано 2, новых 1\nbad.dat: не принят, неверный формат"));
  EXPECT_EQ(
      dialogs.messages[1].text,
      QStringLiteral("a.dat: считано 2, новых 0\nb.dat: считано 2, новых 0\nbad.dat: не принят, неверный формат"));
  ASSERT_EQ(Ui(*window).Vehicles_List->topLevelItemCount(), 1);
  EXPECT_EQ(Ui(*window).Vehicles_List->topLevelItem(0)->text(3), QStringLiteral("3"));
  ASSERT_EQ(Ui(*window).Months_Tree->topLevelItemCount(), 2);  // 2023 and 2024
  EXPECT_EQ(Ui(*window).Months_Tree->topLevelItem(1)->text(1), QStringLiteral("2"));

  // Unsaved trips shown: the clearing step asks first, as loading does.
  Ui(*form).SetTrips({Trip(20, 1, 1)});
  Ui(*form).ReDraw_StringGrid();
  Ui(*form).SetUnsaved(true);
  dialogs.messages.clear();
  dialogs.answers.push_back(MsgAnswer::No);
  Ui(*window).Show_In_Table_Button->click();
  EXPECT_EQ(dialogs.Captions(), std::vector<std::string>{"Удаление маршрутов"});
  ASSERT_EQ(Ui(*form).Trips().size(), 3u);
  EXPECT_EQ(Ui(*form).Trips()[0], Trip(23, 5, 1)) << "date order";
  EXPECT_EQ(Ui(*form).Trips()[2], Trip(24, 2, 3));
  EXPECT_EQ(Ui(*form).Vehicle_Model_Edit->text(), QStringLiteral("ВАЗ-2110"));
  EXPECT_FALSE(Ui(*form).Unsaved());
  EXPECT_TRUE(Ui(*form).Save_Trip_To_File_Button->isEnabled());
  EXPECT_TRUE(Ui(*form).Clear_Trip_Table_Button->isEnabled());

  // One year only, then written out as a data file.
  Ui(*window).Months_Tree->setCurrentItem(Ui(*window).Months_Tree->topLevelItem(1));
  Ui(*window).Show_In_Table_Button->click();
  EXPECT_EQ(Ui(*form).Trips().size(), 2u);
  const QString out = dir.filePath(QStringLiteral("out.dat"));
  dialogs.saveAnswers.push_back(FileChoice{out, 0});
  Ui(*window).Export_Button->click();
  EXPECT_EQ(Bytes(out), trips::SerializeDatFile({"ВАЗ-2110", "А123ВС", "Иванов"}, {Trip(24, 0, 9), Trip(24, 2, 3)}));
}

TEST_F(LogbookForm, ADamagedFileIsSaidOnceAndLeftAlone) {
  const QString damaged = dir.filePath(QStringLiteral("damaged.sqlite"));
  std::ofstream(damaged.toStdString(), std::ios::binary) << std::string(4096, 'x');
  ::setenv("RIVENTAR_LOGBOOK", damaged.toUtf8().constData(), 1);
  ScriptedDialogs fresh;
  ui::TMonitor_Form other(fresh);
  EXPECT_EQ(other.Logbook(), nullptr);
  EXPECT_EQ(other.Logbook(), nullptr);
  ::unsetenv("RIVENTAR_LOGBOOK");
  ASSERT_EQ(fresh.messages.size(), 1u);
  EXPECT_TRUE(fresh.messages[0].text.contains(damaged));
  EXPECT_TRUE(fresh.messages[0].text.contains(QStringLiteral("Переместите его")));
  EXPECT_EQ(Bytes(damaged), std::string(4096, 'x'));

  // Choosing it from the logbook window keeps the logbook in use; a new file is taken and remembered.
  Ui(*form).Logbook_Button->click();
  ui::TLogbook_Form* window = form->LogbookWindow();
  const QString fresh2 = dir.filePath(QStringLiteral("other.sqlite"));
  dialogs.saveAnswers = {FileChoice{damaged, 0}, FileChoice{fresh2, 0}};
  Ui(*window).Choose_File_Button->click();
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(form->LogbookPath(), LogbookPath());
  Ui(*window).Choose_File_Button->click();
  EXPECT_EQ(form->LogbookPath(), fresh2);
  EXPECT_TRUE(Ui(*window).Location_Label->text().contains(fresh2));
  EXPECT_EQ(QString::fromStdString(logbook::LogbookLocation(std::nullopt)), fresh2);
  EXPECT_EQ(Bytes(damaged), std::string(4096, 'x'));
}

TEST_F(LogbookForm, ABackupIsAWholeCopyOfTheOpenLogbook) {
  ConnectAndRead();
  Ui(*form).Logbook_Button->click();
  ui::TLogbook_Form* window = form->LogbookWindow();
  ASSERT_TRUE(Ui(*window).Backup_Button->isEnabled());
  const QString copy = dir.filePath(QStringLiteral("copy.sqlite"));
  dialogs.messages.clear();
  dialogs.saveAnswers = {FileChoice{copy, 0}, FileChoice{dir.filePath(QStringLiteral("none/copy.sqlite")), 0}};
  Ui(*window).Backup_Button->click();
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].icon, MsgIcon::Information);
  EXPECT_EQ(OpenStore(copy)->Trips({}), Store().Trips({}));
  EXPECT_EQ(Store().Trips({}).size(), 4u);
  Ui(*window).Backup_Button->click();  // into a folder that is not there
  ASSERT_EQ(dialogs.messages.size(), 2u);
  EXPECT_EQ(dialogs.messages[1].icon, MsgIcon::Stop);
  EXPECT_TRUE(dialogs.messages[1].text.contains(QStringLiteral("нет такой папки")))
      << dialogs.messages[1].text.toStdString();
}

// The pages are checked on a thread of their own from the start; the refusal is the same.
TEST_F(LogbookForm, ALogbookWithADamagedPageIsRefusedAsItIs) {
  const QString damaged = dir.filePath(QStringLiteral("pages.sqlite"));
  {
    auto store = OpenStore(damaged);
    trips::TripList many;
    for (int i = 0; i < 3000; ++i)
      many.push_back(Trip(24, static_cast<std::uint8_t>(i % 12), static_cast<std::uint8_t>(1 + i % 28)));
    for (std::size_t i = 0; i < many.size(); ++i) many[i].Distance = 6000 + static_cast<std::uint32_t>(i);
    store->Record({logbook::Origin::File, "/x.dat", "2024-03-01 10:00:00", {}, many});
  }
  std::string bytes = Bytes(damaged);
  ASSERT_GT(bytes.size(), 12 * 4096u);
  for (std::size_t i = 0; i < 4096; ++i) bytes[8 * 4096 + i] = static_cast<char>(i * 37 + 11);
  std::ofstream(damaged.toStdString(), std::ios::binary) << bytes;
  ::setenv("RIVENTAR_LOGBOOK", damaged.toUtf8().constData(), 1);
  ScriptedDialogs fresh;
  ui::TMonitor_Form other(fresh);
  EXPECT_EQ(other.Logbook(), nullptr);
  ::unsetenv("RIVENTAR_LOGBOOK");
  ASSERT_EQ(fresh.messages.size(), 1u);
  EXPECT_TRUE(fresh.messages[0].text.contains(QStringLiteral("журнал поврежден")))
      << fresh.messages[0].text.toStdString();
  EXPECT_TRUE(fresh.messages[0].text.contains(QStringLiteral("Другой файл журнала...")));
  EXPECT_EQ(Bytes(damaged), bytes);
}

TEST_F(LogbookForm, ARelativeLocationIsRefusedWithItsName) {
  ::setenv("RIVENTAR_LOGBOOK", "relative.sqlite", 1);
  ScriptedDialogs fresh;
  ui::TMonitor_Form other(fresh);
  EXPECT_EQ(other.Logbook(), nullptr);
  ::unsetenv("RIVENTAR_LOGBOOK");
  ASSERT_EQ(fresh.messages.size(), 1u);
  EXPECT_TRUE(fresh.messages[0].text.contains(QStringLiteral("relative.sqlite")))
      << fresh.messages[0].text.toStdString();
  EXPECT_TRUE(fresh.messages[0].text.contains(QStringLiteral("полный путь")));
  EXPECT_FALSE(QFile::exists(QStringLiteral("relative.sqlite")));
}

TEST(LogbookTexts, TheDatabasesWordsAreSaidInRussian) {
  const struct {
    const char* detail;
    const char* shown;
  } cases[] = {
      {"database disk image is malformed", "структура файла базы данных нарушена"},
      {"disk I/O error: No space left on device", "ошибка чтения или записи диска: No space left on device"},
      {"a damaged logbook: *** in database main ***", "журнал поврежден: *** in database main ***"},
      {"an SQLite database, but not a logbook", "база данных SQLite, но не журнал маршрутов"},
      {"schema version 9, this program knows up to 2", "версия схемы 9, эта программа знает версии до 2"},
      {"something new", "сообщение базы данных: «something new»"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ui::LogbookDetailText(c.detail).toStdString(), c.shown) << c.detail;
}

}  // namespace
