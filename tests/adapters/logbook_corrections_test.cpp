// Which car each trip is filed under, and setting it right: the same cases
// over every kind of logbook (a factory each), then what only the file does
// (its schema brought up from an earlier program's).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "adapters/logbook/sql_store.h"
#include "adapters/logbook/sqlite_store.h"
#include "core/logbook/stamp.h"
#include "tests/adapters/earlier_logbooks.h"
#include "tests/support/logbook_trips.h"
#include "tests/support/temp_dir.h"

using namespace riventar::logbook;
using riventar::testing::Reading;
using riventar::testing::TempDir;
using riventar::testing::Trip;
using riventar::trips::TripList;
using riventar::trips::TripRecord;
using riventar::trips::VehicleInfo;

namespace {

// How to open a logbook of one kind in a test's own folder, anew each time.
struct StoreKind {
  const char* name;
  std::function<std::unique_ptr<Store>(const TempDir&)> open;
};

const StoreKind Kinds[] = {
    {"File", [](const TempDir& dir) { return OpenLogbook(dir / "logbook.sqlite"); }},
};

class LogbookCorrections : public ::testing::TestWithParam<StoreKind> {
 protected:
  std::unique_ptr<Store> Open() { return GetParam().open(dir_); }
  TempDir dir_{"riventar-corrections"};
};

const VehicleInfo CarA{"ВАЗ-2110", "А123ВС 77", "Иванов"};
const VehicleInfo CarB{"Нива", "В777ОР 77", "Петров"};

Recording Named(const TripList& trips, const VehicleInfo& car, Origin origin = Origin::Device,
                const std::string& source = "/dev/ttyUSB0") {
  return {origin, source, "2024-03-01 10:00:00", car, trips};
}

// Every vehicle's trips, "plate key:count;" in the logbook's order.
std::string Counts(Store& store) {
  std::string out;
  for (const VehicleSummary& v : store.Vehicles()) out += v.plateKey + ":" + std::to_string(v.trips) + ";";
  return out;
}

// The kept totals of every vehicle equal a count of the trips filed under it,
// and no trip is filed under a vehicle that is not listed.
void ExpectTotalsRecounted(Store& store, const std::string& when) {
  std::map<std::string, VehicleSummary> counted;
  for (const LoggedTrip& t : store.LoggedTrips({})) {
    VehicleSummary& v = counted[t.plateKey];
    const std::string date = DateText(Stamp(t.trip));
    ++v.trips;
    v.distance += t.trip.Distance;
    if (v.firstDate.empty() || date < v.firstDate) v.firstDate = date;
    if (v.lastDate.empty() || date > v.lastDate) v.lastDate = date;
  }
  for (const VehicleSummary& kept : store.Vehicles()) {
    const VehicleSummary& v = counted[kept.plateKey];
    EXPECT_EQ(kept.trips, v.trips) << when << ": " << kept.plateKey;
    EXPECT_EQ(kept.distance, v.distance) << when << ": " << kept.plateKey;
    EXPECT_EQ(kept.firstDate, v.firstDate) << when << ": " << kept.plateKey;
    EXPECT_EQ(kept.lastDate, v.lastDate) << when << ": " << kept.plateKey;
    counted.erase(kept.plateKey);
  }
  EXPECT_TRUE(counted.empty()) << when << ": trips under a vehicle not listed, " << counted.begin()->first;
}

std::vector<std::string> Keys(const TripList& trips) {
  std::vector<std::string> out;
  for (const TripRecord& r : trips) out.push_back(TripKey(r));
  return out;
}

std::int64_t LastImport(Store& store) { return store.Imports().back().id; }

}  // namespace

// The two cars of a new user, step by step: each step's vehicles and their
// trips, the totals kept equal to a count, and car A's texts never lost.
TEST_P(LogbookCorrections, TwoCarsEveryTripEndsOnTheRightCar) {
  auto store = Open();
  const TripList a = {Trip(1, 8), Trip(2, 8), Trip(3, 8)};
  const TripList b = {Trip(1, 9), Trip(2, 9)};
  std::int64_t importOfA2 = 0;
  const struct Step {
    const char* what;
    std::function<void()> act;
    const char* counts;
  } steps[] = {
      {"read only to look: unassigned", [&] { store->Record(Named(a, {})); }, ":3;"},
      {"the same device read again, naming car A: the unassigned trips are A's",
       [&] {
         store->Record(Named({a[0], a[1], a[2], Trip(4, 8)}, CarA));
       },
       "А123ВС77:4;"},
      {"car B read, then saved into A's file: saving moves nothing",
       [&] {
         store->Record(Named(b, CarB));
         store->RecordSaved(Named({a[0], a[1], b[0], b[1]}, {"", "А123ВС 77", ""}, Origin::Saved, "/home/u/a.dat"));
       },
       "А123ВС77:4;В777ОР77:2;"},
      {"a file imported under a typo plate makes a vehicle",
       [&] {
         store->Record(Named({Trip(5, 8)}, {"", "А123ВС 777", ""}, Origin::File, "/home/u/typo.dat"));
       },
       "А123ВС77:4;А123ВС777:1;В777ОР77:2;"},
      {"its trips moved to car A by a selection",
       [&] {
         EXPECT_EQ(store->Move({std::nullopt, {"А123ВС777", {}, {}}, {}}, {"", "а123вс77", ""}), 1);
       },
       "А123ВС77:5;А123ВС777:0;В777ОР77:2;"},
      {"the empty typo vehicle deleted", [&] { store->DeleteVehicle("А123ВС 777"); }, "А123ВС77:5;В777ОР77:2;"},
      {"another typo merged into car A",
       [&] {
         store->Record(Named({Trip(6, 8)}, {"", "A123BC 78", ""}));
         EXPECT_THROW(store->EditVehicle("A123BC78", {"", "А123ВС77", ""}), RecordingRefused);
         EXPECT_EQ(store->Merge("A123BC78", "А123ВС 77"), 1);
       },
       "А123ВС77:6;В777ОР77:2;"},
      {"a reading of car B moved to A by its import, and back by its keys",
       [&] {
         EXPECT_EQ(store->Move({store->Imports()[2].id, {}, {}}, CarA), 2);
         EXPECT_EQ(store->Move({std::nullopt, {}, Keys(b)}, CarB), 2);
       },
       "А123ВС77:6;В777ОР77:2;"},
      {"car A's file imported with a trip of its own",
       [&] {
         store->Record(Named({a[0], Trip(7, 8)}, CarA, Origin::File, "/home/u/a2.dat"));
         importOfA2 = LastImport(*store);
       },
       "А123ВС77:7;В777ОР77:2;"},
      {"that import undone: its own trip goes, the one a reading holds too stays",
       [&] { EXPECT_EQ(store->Undo(importOfA2), 1); }, "А123ВС77:6;В777ОР77:2;"},
      {"car B's plate corrected",
       [&] {
         store->EditVehicle("В777ОР77", {"Нива", "В778ОР 77", "Петров"});
       },
       "А123ВС77:6;В778ОР77:2;"},
  };
  for (const Step& step : steps) {
    step.act();
    store = Open();  // each step committed
    EXPECT_EQ(Counts(*store), step.counts) << step.what;
    ExpectTotalsRecounted(*store, step.what);
    for (const VehicleSummary& v : store->Vehicles())
      if (v.plateKey == "А123ВС77") {
        EXPECT_EQ(v.texts, CarA) << step.what;
      }
  }
  EXPECT_EQ(store->VehicleOf(a[0]), "А123ВС77");
  EXPECT_EQ(store->VehicleOf(Trip(7, 8)), std::nullopt);
  EXPECT_EQ(RecogniseDevice(*store, {a[0], a[1], a[2], Trip(4, 8)}), "А123ВС77");
}

TEST_P(LogbookCorrections, HistoryShowsEveryRecordingAndCorrectionNewestFirst) {
  auto store = Open();
  store->Record(Named({Trip(1, 8), Trip(2, 8)}, {}));
  store->Record(Named({Trip(3, 8)}, CarA, Origin::File, "/home/u/a.dat"));
  const std::int64_t reading = store->Imports().front().id;
  store->Move({reading, {}, {}}, CarB);
  store->Tag({std::nullopt, {}, {TripKey(Trip(3, 8))}}, {"служебная", {}, {}});
  store->Undo(reading);
  store->RecordSaved(Named({Trip(3, 8)}, CarA, Origin::Saved));  // nothing new: no history

  using K = HistoryRow::Kind;
  const struct Row {
    K kind;
    const char* plateKey;
    const char* vehicle;
    const char* from;
    std::int64_t trips;
    bool undone;
  } expected[] = {
      {K::Undo, "", "не назначены", "/dev/ttyUSB0", 2, false},
      {K::Tag, "А123ВС77", "А123ВС 77", "", 1, false},
      {K::Move, "В777ОР77", "В777ОР 77", "не назначены", 2, false},
      {K::Import, "А123ВС77", "А123ВС 77", "", 1, false},
      {K::Reading, "", "не назначены", "", 2, true},
  };
  const std::vector<HistoryRow> history = Open()->History();
  ASSERT_EQ(history.size(), std::size(expected));
  for (std::size_t i = 0; i < history.size(); ++i) {
    const HistoryRow& h = history[i];
    EXPECT_EQ(h.kind, expected[i].kind) << i;
    EXPECT_EQ(h.plateKey, expected[i].plateKey) << i;
    EXPECT_EQ(h.vehicle, expected[i].vehicle) << i;
    EXPECT_EQ(h.from, expected[i].from) << i;
    EXPECT_EQ(h.trips, expected[i].trips) << i;
    EXPECT_EQ(h.undone, expected[i].undone) << i;
    EXPECT_EQ(h.computer, ThisComputer()) << i;
    EXPECT_FALSE(h.at.empty()) << i;
  }
  EXPECT_EQ(history.back().id, reading);
  EXPECT_EQ(history.back().read, 2);
  EXPECT_EQ(history.back().source, "/dev/ttyUSB0");
  EXPECT_EQ(store->Trips({}), TripList{Trip(3, 8)});  // the undone reading's trips are gone
}

TEST_P(LogbookCorrections, TagsAreSetClearedOrLeftAndShownWithEachTrip) {
  auto store = Open();
  store->Record(Named({Trip(1, 8), Trip(2, 8), Trip(3, 8)}, CarA));
  const struct Step {
    TripSelection which;
    TagChange change;
    std::int64_t tagged;
    std::vector<TripTags> after;  // of trips 1, 2, 3
  } steps[] = {
      {{std::nullopt, {"А123ВС77", {}, {}}, {}},
       {"личная", "Иванов", {}},
       3,
       {{"личная", "Иванов", ""}, {"личная", "Иванов", ""}, {"личная", "Иванов", ""}}},
      {{std::nullopt, {}, {TripKey(Trip(2, 8))}},
       {"служебная", {}, "в Тверь"},
       1,
       {{"личная", "Иванов", ""}, {"служебная", "Иванов", "в Тверь"}, {"личная", "Иванов", ""}}},
      {{std::nullopt, {{}, "2024-01-02", "2024-01-03"}, {}},
       {{}, "", {}},
       2,
       {{"личная", "Иванов", ""}, {"служебная", "", "в Тверь"}, {"личная", "", ""}}},
  };
  for (const Step& step : steps) {
    EXPECT_EQ(store->Tag(step.which, step.change), step.tagged);
    std::vector<TripTags> tags;
    for (const LoggedTrip& t : Open()->LoggedTrips({"а123вс 77", {}, {}})) {
      EXPECT_EQ(t.plateKey, "А123ВС77");
      tags.push_back(t.tags);
    }
    EXPECT_EQ(tags, step.after);
  }
}

// Each refusal says why, and the logbook is as it was.
TEST_P(LogbookCorrections, RefusalsSayWhyAndChangeNothing) {
  auto store = Open();
  store->Record(Named({Trip(1, 8), Trip(2, 8)}, CarA));
  store->Record(Named({Trip(3, 8)}, CarB));
  store->Record(Named({Trip(4, 8)}, {"", "Е001КХ", ""}));
  store->Merge("Е001КХ", "В777ОР77");
  store->Record(Named({}, {"", "Е002КХ", ""}));  // a vehicle without trips
  const std::int64_t first = store->Imports().front().id;
  store->Undo(first);
  store->Record(Named({Trip(1, 8)}, CarA));
  const struct Case {
    const char* what;
    std::function<void()> act;
    const char* says;
  } cases[] = {
      {"move from a vehicle not known",
       [&] {
         store->Move({std::nullopt, {"Х999ХХ", {}, {}}, {}}, CarA);
       },
       "no vehicle \"Х999ХХ\""},
      {"move trips the logbook does not hold",
       [&] {
         store->Move({std::nullopt, {}, {TripKey(Trip(9, 9))}}, CarA);
       },
       "nothing selected"},
      {"move an undone import's trips",
       [&] {
         store->Move({first, {}, {}}, CarB);
       },
       "undone already"},
      {"edit a vehicle not known", [&] { store->EditVehicle("Х999ХХ", CarA); }, "no vehicle"},
      {"edit a plate into another vehicle's", [&] { store->EditVehicle("А123ВС77", CarB); }, "merge the two"},
      {"edit the unassigned trips", [&] { store->EditVehicle("", CarA); }, "no vehicle"},
      {"edit a plate away",
       [&] {
         store->EditVehicle("А123ВС77", {"ВАЗ", "", ""});
       },
       "needs a plate"},
      {"merge a vehicle not known", [&] { store->Merge("Х999ХХ", "А123ВС77"); }, "no vehicle"},
      {"merge a vehicle into itself", [&] { store->Merge("а123вс77", "А123ВС 77"); }, "itself"},
      {"delete a vehicle with trips", [&] { store->DeleteVehicle("В777ОР 77"); }, "still has 2 trips"},
      {"delete a vehicle not known", [&] { store->DeleteVehicle("Х999ХХ"); }, "no vehicle"},
      {"undo an import not known", [&] { store->Undo(999); }, "no reading or import 999"},
      {"undo an import twice", [&] { store->Undo(first); }, "undone already"},
      {"tag with nothing",
       [&] {
         store->Tag({std::nullopt, {}, {}}, {});
       },
       "nothing to tag"},
  };
  const auto snapshot = [&] {
    std::string out = Counts(*store) + std::to_string(store->History().size());
    for (const LoggedTrip& t : store->LoggedTrips({})) out += TripKey(t.trip) + t.plateKey + t.tags.purpose;
    return out;
  };
  const std::string before = snapshot();
  for (const Case& c : cases) {
    try {
      c.act();
      ADD_FAILURE() << c.what << ": not refused";
    } catch (const RecordingRefused& e) {
      EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << c.what << ": " << e.what();
    }
    EXPECT_EQ(snapshot(), before) << c.what;
  }
  store->DeleteVehicle("Е002КХ");  // empty: it goes
  EXPECT_EQ(Counts(*store), "А123ВС77:1;В777ОР77:2;");
}

INSTANTIATE_TEST_SUITE_P(Every, LogbookCorrections, ::testing::ValuesIn(Kinds),
                         [](const ::testing::TestParamInfo<StoreKind>& kind) { return std::string(kind.param.name); });

// A logbook of the program before: every trip kept under its vehicle, and the
// history filled with what is known of each recording.
TEST(LogbookCorrectionsFile, ALogbookOfVersionFourKeepsEveryTripAndGainsItsHistory) {
  const TempDir dir{"riventar-corrections"};
  const std::string path = (dir / "logbook.sqlite").string();
  std::vector<LoggedTrip> before;
  {
    auto store = OpenLogbook(path);
    store->Record(Named({Trip(1, 8), Trip(2, 8)}, CarA));
    store->Record(Named({Trip(2, 8), Trip(3, 8)}, CarB, Origin::File, "/home/u/b.dat"));
    store->Record(Named({Trip(4, 8)}, {}));
    store->Record(Named({Trip(1, 8)}, CarB));  // added nothing
    before = store->LoggedTrips({});
  }
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("earlier"));
    db.setDatabaseName(QString::fromStdString(path));
    ASSERT_TRUE(db.open());
    riventar::testing::MakeVersionFour([&db](const char* sql) {
      QSqlQuery q(db);
      EXPECT_TRUE(q.exec(QString::fromUtf8(sql))) << sql;
    });
    db.close();
  }
  QSqlDatabase::removeDatabase(QStringLiteral("earlier"));
  {
    // Opened only to read, it stays as it is and is read all the same.
    auto reader = OpenLogbookReadOnly(path);
    EXPECT_EQ(reader->LoggedTrips({}).size(), before.size());
    EXPECT_EQ(reader->LoggedTrips({}).back().plateKey, before.back().plateKey);
    EXPECT_EQ(reader->History().size(), 4u);
    EXPECT_THROW(reader->Undo(1), StoreError);
  }

  auto store = OpenLogbook(path);
  const std::vector<LoggedTrip> after = store->LoggedTrips({});
  ASSERT_EQ(after.size(), before.size());
  for (std::size_t i = 0; i < after.size(); ++i) {
    EXPECT_EQ(TripKey(after[i].trip), TripKey(before[i].trip));
    EXPECT_EQ(after[i].plateKey, before[i].plateKey);
    EXPECT_EQ(after[i].tags, TripTags{});
  }
  const struct Row {
    std::int64_t trips;
    const char* plateKey;
    const char* vehicle;
  } expected[] = {
      {0, "", ""},  // added nothing: its vehicle is not known
      {1, "", "не назначены"},
      {1, "В777ОР77", "В777ОР 77"},
      {2, "А123ВС77", "А123ВС 77"},
  };
  const std::vector<HistoryRow> history = store->History();
  ASSERT_EQ(history.size(), std::size(expected));
  for (std::size_t i = 0; i < history.size(); ++i) {
    EXPECT_EQ(history[i].trips, expected[i].trips) << i;
    EXPECT_EQ(history[i].plateKey, expected[i].plateKey) << i;
    EXPECT_EQ(history[i].vehicle, expected[i].vehicle) << i;
    EXPECT_EQ(history[i].computer, "") << i;
  }
  // What each import added is what it holds: undoing the file takes back
  // trip 3 and keeps trip 2, which the first reading added.
  EXPECT_EQ(store->Undo(history[2].id), 1);
  EXPECT_EQ(store->Trips({}), (TripList{Trip(1, 8), Trip(2, 8), Trip(4, 8)}));
  ExpectTotalsRecounted(*store, "after the undo");
}

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);  // Qt SQL loads its drivers as plugins
  const TempDir home{"riventar-home"};
  ::setenv("HOME", home.Path().c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
  ::setenv("XDG_DATA_HOME", (home / ".local/share").c_str(), 1);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
