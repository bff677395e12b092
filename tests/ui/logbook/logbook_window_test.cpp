// The logbook window on a real logbook file, offscreen: what it shows, and
// each correction made through it checked against the logbook's contents.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <set>

#include "core/logbook/logbook.h"
#include "core/stats/year_report.h"
#include "core/trips/dat_file.h"
#include "tests/support/file_bytes.h"
#include "tests/support/logbook_form_access.h"
#include "tests/support/main_form_access.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/trip_builder.h"
#include "tests/ui/logbook/open_store.h"
#include "ui/app/Main_form.h"
#include "ui/logbook/Logbook_form.h"

namespace {

using namespace riventar;
using riventar::testing::ScriptedDialogs;
using riventar::ui::FileChoice;
using riventar::ui::MsgAnswer;

const trips::VehicleInfo CarA{"ВАЗ-2110", "А123ВС 77", "Иванов"};
const trips::VehicleInfo Typo{"", "А123ВС 777", ""};
const trips::VehicleInfo CarB{"Газель", "В456ОР 50", "Петров"};

trips::TripRecord Trip(int month, int day, std::uint32_t km = 10) {
  return riventar::testing::TripBuilder().Date(2024, month, day).Time(9).Distance(km * trips::DistancePerKm);
}

const trips::TripList TripsA{Trip(1, 5), Trip(2, 6), Trip(3, 7)};
const trips::TripList TripsTypo{Trip(4, 8), Trip(4, 9)};
const trips::TripList TripsB{Trip(5, 10, 30)};

std::string Key(const trips::VehicleInfo& v) { return logbook::PlateKey(v.RegId); }

QString Q(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

class LogbookWindow : public ::testing::Test {
 public:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    form = std::make_unique<ui::TMonitor_Form>(dialogs);
    form->UseLogbook(riventar::testing::OpenStore(LogbookPath()), LogbookPath());
  }
  void TearDown() override {
    Ui(*form).SetUnsaved(false);
    form.reset();
  }

  QString LogbookPath() const { return dir.filePath(QStringLiteral("logbook.sqlite")); }
  logbook::Store& Store() { return *form->Logbook(); }

  // Three files brought in: car A's, the typo's, car B's, in that order.
  void Seed() {
    const std::pair<trips::VehicleInfo, trips::TripList> files[] = {{CarA, TripsA}, {Typo, TripsTypo}, {CarB, TripsB}};
    int n = 0;
    for (const auto& [vehicle, trips] : files) {
      const QString path = dir.filePath(QStringLiteral("in/%1.dat").arg(++n));
      QDir().mkpath(QFileInfo(path).absolutePath());
      riventar::testing::Write(path.toStdString(), trips::SerializeDatFile(vehicle, trips));
      dialogs.openManyAnswers.push_back({path});
    }
    ui::TLogbook_Form& w = Window();
    for (int i = 0; i < n; ++i) Ui(w).Import_Button->click();
    dialogs.messages.clear();
  }

  ui::TLogbook_Form& Window() {
    if (!form->LogbookWindow()) Ui(*form).Logbook_Button->click();
    return *form->LogbookWindow();
  }

  void SelectVehicle(const trips::VehicleInfo& v) {
    QTreeWidget* list = Ui(Window()).Vehicles_List;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
      if (list->topLevelItem(i)->text(0) == Q(v.RegId)) return list->setCurrentItem(list->topLevelItem(i));
    ADD_FAILURE() << "no row for " << v.RegId;
  }

  void Trigger(const char* action) {
    QAction* a = Window().findChild<QAction*>(QLatin1String(action));
    ASSERT_TRUE(a) << action;
    ASSERT_TRUE(a->isEnabled()) << action;
    a->trigger();
  }

  // Each vehicle's trips as the logbook files them, by plate key.
  std::map<std::string, std::size_t> Filed() {
    std::map<std::string, std::size_t> out;
    for (const logbook::VehicleSummary& v : Store().Vehicles()) out[v.plateKey] = static_cast<std::size_t>(v.trips);
    std::erase_if(out, [](const auto& entry) { return entry.first.empty() && entry.second == 0; });
    return out;
  }

  QTemporaryDir dir;
  ScriptedDialogs dialogs;
  std::unique_ptr<ui::TMonitor_Form> form;
};

// Every column's heading whole and on screen, at the window's default size.
void ExpectHeadingsFit(QTreeWidget* list) {
  SCOPED_TRACE(list->objectName().toStdString());
  QHeaderView* header = list->header();
  const int room = list->viewport()->width();
  for (int c = 0; c < header->count(); ++c) {
    if (header->isSectionHidden(c)) continue;
    const QString text = list->headerItem()->text(c);
    SCOPED_TRACE(text.toStdString());
    EXPECT_LE(header->fontMetrics().horizontalAdvance(text), header->sectionSize(c));
    EXPECT_LE(header->sectionViewportPosition(c) + header->sectionSize(c), room);
  }
}

TEST_F(LogbookWindow, EveryListsHeadingsFitAtTheDefaultSize) {
  Seed();
  ui::TLogbook_Form& w = Window();
  w.show();
  QApplication::processEvents();
  for (QTreeWidget* list : {Ui(w).Vehicles_List, Ui(w).Months_Tree, Ui(w).Imports_List, Ui(w).Trips_List})
    ExpectHeadingsFit(list);
  EXPECT_TRUE(Ui(w).Import_Button->isEnabled());
}

TEST_F(LogbookWindow, WithNoLogbookTheLocationLineFitsAndNothingCanBeImported) {
  const QString damaged = dir.filePath(QStringLiteral("a folder with a long name/damaged logbook.sqlite"));
  QDir().mkpath(QFileInfo(damaged).absolutePath());
  riventar::testing::Write(damaged.toStdString(), std::string(4096, 'x'));
  ::setenv("RIVENTAR_LOGBOOK", damaged.toUtf8().constData(), 1);
  ScriptedDialogs fresh;
  ui::TMonitor_Form other(fresh);
  ASSERT_EQ(other.Logbook(), nullptr);
  ::unsetenv("RIVENTAR_LOGBOOK");
  Ui(other).Logbook_Button->click();
  ui::TLogbook_Form& w = *other.LogbookWindow();
  w.show();
  QApplication::processEvents();
  QLabel* label = Ui(w).Location_Label;
  ASSERT_TRUE(label->text().startsWith(QStringLiteral("Журнал не открыт")));
  const QRect needed =
      label->fontMetrics().boundingRect(QRect(0, 0, label->width(), 10000), Qt::TextWordWrap, label->text());
  EXPECT_LE(needed.width(), label->width());
  EXPECT_LE(needed.height(), label->height()) << label->text().toStdString();
  EXPECT_FALSE(Ui(w).Import_Button->isEnabled());
}

TEST_F(LogbookWindow, TheExportOffersANameInTheLastFolderAndWritesTheTypeChosen) {
  Seed();
  SelectVehicle(CarA);
  const struct {
    int filter;
    std::string bytes;
  } cases[] = {{0, trips::SerializeDatFile(CarA, TripsA)}, {1, trips::SerializeCsv(TripsA)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.filter);
    // Named without an extension, as the dialog gives it back with the chosen type's only on screen.
    const QString out = dir.filePath(QStringLiteral("out%1").arg(c.filter));
    dialogs.saveAnswers.push_back(FileChoice{out, c.filter});
    Ui(Window()).Export_Button->click();
    EXPECT_EQ(riventar::testing::Contents(out.toStdString()), c.bytes);
    const ui::FileDialogOptions& asked = dialogs.saveRequests.back();
    EXPECT_EQ(asked.suggestedName, Q(Key(CarA)));
  }
  // The folder last used: the imports', then the export's own.
  EXPECT_EQ(dialogs.saveRequests.at(0).initialDirectory, dir.filePath(QStringLiteral("in")));
  EXPECT_EQ(dialogs.saveRequests.at(1).initialDirectory, dir.path());
  EXPECT_EQ(dialogs.saveRequests.at(1).filterIndex, 0) << "the type chosen last";
}

// The real file dialog, for the one question a scripted one cannot answer: what it looks like.
class OpenDialogOnly final : public ui::Dialogs {
 public:
  explicit OpenDialogOnly(ScriptedDialogs& rest) : rest_(rest) {}
  ui::MsgAnswer Message(QWidget* p, ui::MsgIcon i, const QString& c, const QString& t, ui::MsgButtons b,
                        ui::MsgAnswer d) override {
    return rest_.Message(p, i, c, t, b, d);
  }
  std::optional<FileChoice> OpenFile(QWidget* p, const ui::FileDialogOptions& o) override {
    return rest_.OpenFile(p, o);
  }
  std::optional<FileChoice> SaveFile(QWidget* p, const ui::FileDialogOptions& o) override {
    return rest_.SaveFile(p, o);
  }
  bool Print(QWidget* p, QPrinter& printer) override { return rest_.Print(p, printer); }
  void Beep() override { rest_.Beep(); }
  std::optional<FileChoice> OpenOrNewFile(QWidget* p, const ui::FileDialogOptions& o, const QString& title) override {
    return real_.OpenOrNewFile(p, o, title);
  }

 private:
  ScriptedDialogs& rest_;
  ui::QtDialogs real_;
};

TEST_F(LogbookWindow, AnotherLogbookFileIsChosenInADialogForOpening) {
  OpenDialogOnly real(dialogs);
  ui::TMonitor_Form other(real);
  other.UseLogbook(riventar::testing::OpenStore(LogbookPath()), LogbookPath());
  Ui(other).Logbook_Button->click();
  const QString fresh = dir.filePath(QStringLiteral("new.sqlite"));
  QString title;
  QFileDialog::AcceptMode mode = QFileDialog::AcceptSave;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_TRUE(dialog);
    title = dialog->windowTitle();
    mode = dialog->acceptMode();
    dialog->selectFile(fresh);                // a name not yet there: a new logbook
    static_cast<QDialog*>(dialog)->accept();  // as the dialog's own button does
  });
  Ui(*other.LogbookWindow()).Choose_File_Button->click();
  EXPECT_EQ(title, QStringLiteral("Открыть файл журнала"));
  EXPECT_EQ(mode, QFileDialog::AcceptOpen);
  EXPECT_EQ(other.LogbookPath(), fresh);
  EXPECT_TRUE(QFileInfo::exists(fresh));
}

TEST_F(LogbookWindow, HistoryNewestFirstWithVehicleAndKind) {
  Seed();
  QTreeWidget* history = Ui(Window()).Imports_List;
  ASSERT_EQ(history->topLevelItemCount(), 3);
  // Imports made within one second keep the store's order; the last file is B's.
  std::set<QString> vehicles;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(history->topLevelItem(i)->text(1), QStringLiteral("Файл"));
    vehicles.insert(history->topLevelItem(i)->text(5));
  }
  EXPECT_EQ(vehicles, (std::set<QString>{Q(CarA.RegId), Q(Typo.RegId), Q(CarB.RegId)}));
  EXPECT_FALSE(history->topLevelItem(0)->text(6).isEmpty()) << "the computer";
}

TEST_F(LogbookWindow, TheTripsListShowsTheChosenPeriodElseTheLatestYear) {
  const QString file = dir.filePath(QStringLiteral("two years.dat"));
  const trips::TripList years{riventar::testing::TripBuilder().Date(2023, 12, 30).Time(8), Trip(1, 2), Trip(6, 3)};
  riventar::testing::Write(file.toStdString(), trips::SerializeDatFile(CarA, years));
  dialogs.openManyAnswers.push_back({file});
  Ui(Window()).Import_Button->click();
  QTreeWidget* months = Ui(Window()).Months_Tree;
  QTreeWidget* trips = Ui(Window()).Trips_List;
  ASSERT_EQ(months->topLevelItemCount(), 2);
  const struct {
    QTreeWidgetItem* chosen;
    int shown;
  } cases[] = {{nullptr, 2}, {months->topLevelItem(0), 1}, {months->topLevelItem(1)->child(1), 1}};
  for (const auto& c : cases) {
    if (c.chosen) months->setCurrentItem(c.chosen);
    EXPECT_EQ(trips->topLevelItemCount(), c.shown) << (c.chosen ? c.chosen->text(0).toStdString() : "none");
  }
}

// Each correction: what the user does, then what the logbook holds after a yes, and the history's newest row.
struct Correction {
  const char* name;
  std::function<void(LogbookWindow&)> act;   // up to the question
  std::map<std::string, std::size_t> filed;  // trips by vehicle after it
  QString kind;                              // the readings list's top row
};

class Corrections : public LogbookWindow, public ::testing::WithParamInterface<int> {
 public:
  static const std::vector<Correction>& All();
  static void Edit(LogbookWindow& t, const trips::VehicleInfo& to) {
    t.dialogs.dialogRuns.push_back([to](QDialog& d) {
      d.findChild<QLineEdit*>(QStringLiteral("Reg_Edit"))->setText(Q(to.RegId));
      d.findChild<QLineEdit*>(QStringLiteral("Model_Edit"))->setText(Q(to.Model));
      d.findChild<QLineEdit*>(QStringLiteral("Owner_Edit"))->setText(Q(to.Owner));
      return static_cast<int>(QDialog::Accepted);
    });
  }
  static void SelectHistory(LogbookWindow& t, const trips::VehicleInfo& of) {
    QTreeWidget* history = Ui(t.Window()).Imports_List;
    for (int i = 0; i < history->topLevelItemCount(); ++i)
      if (history->topLevelItem(i)->text(5) == Q(of.RegId)) return history->setCurrentItem(history->topLevelItem(i));
    ADD_FAILURE() << "no reading of " << of.RegId;
  }
};

const trips::VehicleInfo Fixed{"ВАЗ-2110", "А321ВС 77", "Иванов"};

const std::vector<Correction>& Corrections::All() {
  static const std::vector<Correction> all = {
      {"RenameTheTypo",
       [](LogbookWindow& t) {
         t.SelectVehicle(Typo);
         Edit(t, Fixed);
         t.Trigger("Edit_Vehicle_Action");
       },
       {{Key(CarA), 3}, {Key(Fixed), 2}, {Key(CarB), 1}},
       QStringLiteral("Переименование")},
      {"MergeTheTypoIntoCarA",
       [](LogbookWindow& t) {
         t.SelectVehicle(Typo);
         t.dialogs.itemAnswers.push_back(Q(CarA.RegId));
         t.Trigger("Merge_Vehicle_Action");
       },
       {{Key(CarA), 5}, {Key(CarB), 1}},
       QStringLiteral("Объединение")},
      {"MoveSelectedTripsToANewVehicle",
       [](LogbookWindow& t) {
         t.SelectVehicle(CarA);
         QTreeWidget* trips = Ui(t.Window()).Trips_List;
         trips->topLevelItem(0)->setSelected(true);
         trips->topLevelItem(2)->setSelected(true);
         t.dialogs.itemAnswers.push_back(QStringLiteral("к 001 мм 99"));
         t.Trigger("Move_Trips_Action");
       },
       {{Key(CarA), 1}, {Key(Typo), 2}, {Key(CarB), 1}, {logbook::PlateKey("К001ММ99"), 2}},
       QStringLiteral("Перенос")},
      {"MoveAnImportToCarA",
       [](LogbookWindow& t) {
         SelectHistory(t, Typo);
         t.dialogs.itemAnswers.push_back(Q(CarA.RegId));
         t.Trigger("Move_Import_Action");
       },
       {{Key(CarA), 5}, {Key(Typo), 0}, {Key(CarB), 1}},
       QStringLiteral("Перенос")},
      {"UndoCarBsImport",
       [](LogbookWindow& t) {
         SelectHistory(t, CarB);
         t.Trigger("Undo_Import_Action");
       },
       {{Key(CarA), 3}, {Key(Typo), 2}, {Key(CarB), 0}},
       QStringLiteral("Отмена")},
  };
  return all;
}

TEST_P(Corrections, AskedFirstThenDoneAndShown) {
  const Correction& c = All().at(static_cast<std::size_t>(GetParam()));
  Seed();
  const std::map<std::string, std::size_t> before = Filed();
  const std::vector<logbook::HistoryRow> historyBefore = Store().History();

  // No: nothing changes.
  dialogs.answers.push_back(MsgAnswer::No);
  c.act(*this);
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].defaultAnswer, MsgAnswer::No);
  EXPECT_EQ(Filed(), before);
  EXPECT_EQ(Store().History().size(), historyBefore.size());

  // Yes: done, recorded, and the lists show it.
  dialogs.answers.push_back(MsgAnswer::Yes);
  c.act(*this);
  ASSERT_EQ(dialogs.messages.size(), 2u) << dialogs.messages.back().text.toStdString();
  EXPECT_EQ(Filed(), c.filed);
  EXPECT_EQ(Store().History().size(), historyBefore.size() + 1);
  EXPECT_EQ(Ui(Window()).Imports_List->topLevelItem(0)->text(1), c.kind);
  std::map<std::string, std::size_t> shown;
  QTreeWidget* list = Ui(Window()).Vehicles_List;
  for (int i = 0; i < list->topLevelItemCount(); ++i)
    shown[logbook::PlateKey(list->topLevelItem(i)->text(0).toStdString())] =
        static_cast<std::size_t>(list->topLevelItem(i)->text(3).toInt());
  EXPECT_EQ(shown, c.filed);
}

INSTANTIATE_TEST_SUITE_P(LogbookWindow, Corrections, ::testing::Range(0, 5),
                         [](const ::testing::TestParamInfo<int>& param) {
                           return std::string(Corrections::All().at(static_cast<std::size_t>(param.param)).name);
                         });

TEST_F(LogbookWindow, TheQuestionNamesWhatHappens) {
  Seed();
  SelectVehicle(Typo);
  dialogs.answers.push_back(MsgAnswer::Yes);
  dialogs.itemAnswers.push_back(Q(CarA.RegId));
  Trigger("Merge_Vehicle_Action");
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].text,
            QStringLiteral("Перенести все маршруты «А123ВС 777» (2 маршрута) в «А123ВС 77» и удалить «А123ВС 777» из "
                           "журнала?"));
  // The choice offered every other vehicle.
  EXPECT_EQ(dialogs.itemRequests.at(0), (QStringList{Q(CarA.RegId), Q(CarB.RegId)}));
}

TEST_F(LogbookWindow, ARenameOntoAnotherVehiclesPlateIsRefusedAndPointsToMerging) {
  Seed();
  SelectVehicle(Typo);
  Corrections::Edit(*this, {"", "а123вс77", ""});
  Trigger("Edit_Vehicle_Action");
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].icon, ui::MsgIcon::Stop);
  EXPECT_TRUE(dialogs.messages[0].text.contains(QStringLiteral("Объединить с другим")));
  EXPECT_EQ(Filed(), (std::map<std::string, std::size_t>{{Key(CarA), 3}, {Key(Typo), 2}, {Key(CarB), 1}}));
}

TEST_F(LogbookWindow, AnEmptiedVehicleIsShownAndDeleted) {
  Seed();
  SelectVehicle(CarB);
  Ui(Window()).Trips_List->selectAll();
  dialogs.itemAnswers.push_back(Q(CarA.RegId));
  dialogs.answers.push_back(MsgAnswer::Yes);
  Trigger("Move_Trips_Action");
  SelectVehicle(CarB);
  EXPECT_EQ(Ui(Window()).Vehicles_List->currentItem()->text(3), QStringLiteral("0"));
  dialogs.answers.push_back(MsgAnswer::Yes);
  Trigger("Delete_Vehicle_Action");
  EXPECT_EQ(Filed(), (std::map<std::string, std::size_t>{{Key(CarA), 4}, {Key(Typo), 2}}));
  EXPECT_EQ(Ui(Window()).Imports_List->topLevelItem(0)->text(1), QStringLiteral("Удаление"));
  // A vehicle with trips cannot be deleted.
  SelectVehicle(CarA);
  EXPECT_FALSE(Window().findChild<QAction*>(QStringLiteral("Delete_Vehicle_Action"))->isEnabled());
}

TEST_F(LogbookWindow, AnUndoneImportIsMarkedInTheHistory) {
  Seed();
  Corrections::SelectHistory(*this, CarB);
  dialogs.answers.push_back(MsgAnswer::Yes);
  Trigger("Undo_Import_Action");
  QTreeWidget* history = Ui(Window()).Imports_List;
  int marked = 0;
  for (int i = 0; i < history->topLevelItemCount(); ++i)
    if (history->topLevelItem(i)->text(1).endsWith(QStringLiteral("(отменено)"))) ++marked;
  EXPECT_EQ(marked, 1);
  EXPECT_TRUE(Store().Trips({Key(CarB), std::nullopt, std::nullopt}).empty());
}

TEST_F(LogbookWindow, TagsOfASelectionAreKeptAndShownAndReportedByPurpose) {
  Seed();
  SelectVehicle(CarA);
  QTreeWidget* trips = Ui(Window()).Trips_List;
  trips->topLevelItem(0)->setSelected(true);
  trips->topLevelItem(1)->setSelected(true);
  dialogs.dialogRuns.push_back([](QDialog& d) {
    d.findChild<QComboBox*>(QStringLiteral("Purpose_Combo"))->setCurrentText(QStringLiteral("служебная"));
    d.findChild<QLineEdit*>(QStringLiteral("Driver_Edit"))->setText(QStringLiteral("Сидоров"));
    return static_cast<int>(QDialog::Accepted);
  });
  dialogs.answers.push_back(MsgAnswer::Yes);
  Trigger("Tag_Trips_Action");
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].text,
            QStringLiteral("Записать метки (2 маршрута): цель «служебная», водитель «Сидоров»?"));
  const std::vector<logbook::LoggedTrip> logged = Store().LoggedTrips({Key(CarA), std::nullopt, std::nullopt});
  ASSERT_EQ(logged.size(), 3u);
  const logbook::TripTags tagged{"служебная", "Сидоров", ""};
  EXPECT_EQ(logged[0].tags, tagged);
  EXPECT_EQ(logged[1].tags, tagged);
  EXPECT_EQ(logged[2].tags, logbook::TripTags{});
  ASSERT_EQ(trips->topLevelItemCount(), 3);
  EXPECT_EQ(trips->topLevelItem(1)->text(5), QStringLiteral("служебная"));
  EXPECT_EQ(trips->topLevelItem(1)->text(6), QStringLiteral("Сидоров"));
}

// The year's report of car A, its trips tagged: printed on the statistics' printer, or written as PDF or CSV.
TEST_F(LogbookWindow, TheYearReportGoesWhereItIsAskedWithTheLogbooksPurposes) {
  Seed();
  const std::vector<logbook::LoggedTrip> all = Store().LoggedTrips({Key(CarA), std::nullopt, std::nullopt});
  ASSERT_EQ(all.size(), 3u);
  Store().Tag({std::nullopt, {Key(CarA), std::nullopt, std::nullopt}, {logbook::TripKey(all[0].trip)}},
              {std::string("личная"), std::nullopt, std::nullopt});
  const stats::YearReport expected =
      stats::MakeYearReport({{CarA.RegId, TripsA, {"личная", "", ""}}}, 2024, /*allVehicles=*/false);
  const struct {
    const char* name;
    int output;  // the dialog's "Куда": printer, PDF, CSV
  } cases[] = {{"printer", 0}, {"pdf", 1}, {"csv", 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QString out = dir.filePath(QStringLiteral("report-%1").arg(QLatin1String(c.name)));
    dialogs.dialogRuns.push_back([&c](QDialog& d) {
      d.findChild<QComboBox*>(QStringLiteral("Year_Combo"))->setCurrentText(QStringLiteral("2024"));
      d.findChild<QComboBox*>(QStringLiteral("Vehicle_Combo"))->setCurrentText(Q(CarA.RegId));
      d.findChild<QComboBox*>(QStringLiteral("Output_Combo"))->setCurrentIndex(c.output);
      return static_cast<int>(QDialog::Accepted);
    });
    if (c.output == 0) {
      dialogs.printAnswers.push_back(true);
      dialogs.setUpPrinter = [out](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(out);
      };
    } else {
      dialogs.saveAnswers.push_back(FileChoice{out, 0});
    }
    dialogs.messages.clear();
    Ui(Window()).Year_Report_Button->click();
    const std::string bytes = riventar::testing::Contents(out.toStdString());
    if (c.output == 2) {
      EXPECT_EQ(bytes, stats::SerializeYearCsv(expected));
    } else {
      EXPECT_TRUE(bytes.starts_with("%PDF")) << bytes.size();
    }
    // Only a file written is said; a print shows no box.
    EXPECT_EQ(dialogs.messages.size(), c.output == 0 ? 0u : 1u);
  }
}

}  // namespace
