#include "core/stats/year_report.h"

#include <gtest/gtest.h>

#include "base/text/cp1251.h"
#include "tests/core/stats/trip_factory.h"

namespace riventar::stats {
namespace {

using testing::TripOn;

// A trip of `km` whole kilometres and `l` whole litres, `minutes` long.
trips::TripRecord Trip(int y, unsigned m, unsigned d, std::uint32_t km, std::uint32_t l, std::uint32_t minutes = 10) {
  return TripOn(y, m, d, minutes * 60, minutes * 60, km * trips::DistancePerKm, l * trips::FuelPerLitre);
}

TEST(YearReport, SumsEachMonthAndTheYearWithinItsBounds) {
  const VehicleTrips car{
      "А123ВС77",
      {Trip(2023, 12, 31, 100, 10), Trip(2024, 1, 1, 1, 1), Trip(2024, 1, 31, 2, 1), Trip(2024, 2, 1, 4, 1),
       Trip(2024, 2, 29, 8, 1), Trip(2024, 12, 31, 16, 2), Trip(2025, 1, 1, 200, 20)},
      {}};
  const YearReport r = MakeYearReport({car}, 2024, false);
  struct Case {
    int month;  // 0: the year
    std::uint64_t trips, km, litres, minutes;
  };
  const Case cases[] = {{1, 2, 3, 2, 20}, {2, 2, 12, 2, 20}, {3, 0, 0, 0, 0}, {12, 1, 16, 2, 10}, {0, 5, 31, 6, 50}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.month);
    const YearSums& s = c.month == 0 ? r.total.total : r.total.months[static_cast<std::size_t>(c.month - 1)];
    EXPECT_EQ(s.trips, c.trips);
    EXPECT_EQ(s.distance, c.km * trips::DistancePerKm);
    EXPECT_EQ(s.fuel, c.litres * trips::FuelPerLitre);
    EXPECT_EQ(s.tripTime, c.minutes * 60);
    EXPECT_EQ(s.movingTime, c.minutes * 60);
  }
  EXPECT_EQ(r.total.vehicle, "А123ВС77");
  EXPECT_EQ(FigureCells(r.total.total),
            (std::array<std::string, YearFigureCount>{"5", "31.0", "6.0", "19.3", "0:50:0", "0:50:0"}));
  ASSERT_EQ(r.total.purposes.size(), 1u);
  EXPECT_EQ(r.total.purposes[0].purpose, "");
  EXPECT_EQ(r.total.purposes[0].total, r.total.total);
}

TEST(YearReport, SplitsByPurposeAndByVehicle) {
  const VehicleTrips a{"A1",
                       {Trip(2024, 3, 1, 10, 1), Trip(2024, 3, 2, 20, 2), Trip(2024, 4, 1, 30, 3)},
                       {"служебная", "личная"}};  // the third has none
  const VehicleTrips b{"B2", {Trip(2024, 3, 5, 40, 4), Trip(2022, 3, 5, 50, 5)}, {"служебная", "служебная"}};
  const YearReport r = MakeYearReport({a, b}, 2024, true);
  EXPECT_EQ(r.total.vehicle, AllVehiclesName);
  ASSERT_EQ(r.vehicles.size(), 2u);
  EXPECT_EQ(r.vehicles[0].total.distance, 60u * trips::DistancePerKm);
  EXPECT_EQ(r.vehicles[1].total.distance, 40u * trips::DistancePerKm);
  EXPECT_EQ(r.total.total.trips, 4u);
  struct Case {
    std::string purpose;
    std::uint64_t march, april;  // km
  };
  // By name, the unnamed one last.
  const Case cases[] = {{"личная", 20, 0}, {"служебная", 50, 0}, {"", 0, 30}};
  ASSERT_EQ(r.total.purposes.size(), std::size(cases));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].purpose);
    EXPECT_EQ(r.total.purposes[i].purpose, cases[i].purpose);
    EXPECT_EQ(r.total.purposes[i].months[2].distance, cases[i].march * trips::DistancePerKm);
    EXPECT_EQ(r.total.purposes[i].months[3].distance, cases[i].april * trips::DistancePerKm);
  }
}

TEST(YearReport, TotalsAreExactWhereTheShownTextsWouldNotBe) {
  // Each trip shows "0.0 км" and "0.0 л"; their sums do not.
  VehicleTrips car{"X", {}, {}};
  for (int i = 0; i < 1000; ++i)
    car.trips.push_back(TripOn(2024, 6, static_cast<unsigned>(1 + i % 30), 59, 59, 599, 1599));
  const YearReport r = MakeYearReport({car}, 2024, false);
  EXPECT_EQ(r.total.total.distance, 599000u);
  EXPECT_EQ(FigureCells(r.total.months[5]),
            (std::array<std::string, YearFigureCount>{"1000", "99.8", "99.9", "100.1", "16:23:20", "16:23:20"}));
  EXPECT_EQ(FigureCells(r.total.total), FigureCells(r.total.months[5]));
}

TEST(YearReport, AYearWithoutTripsIsTwelveEmptyMonths) {
  const VehicleTrips car{"X", {Trip(2023, 5, 1, 1, 1)}, {}};
  for (const int year : {2024, 1999, 2300}) {
    SCOPED_TRACE(year);
    const YearReport r = MakeYearReport({car}, year, false);
    EXPECT_EQ(r.total.total, YearSums{});
    EXPECT_TRUE(r.total.purposes.empty());
    EXPECT_EQ(FigureCells(r.total.total),
              (std::array<std::string, YearFigureCount>{"0", "0.0", "0.0", "0.0", "0:0:0", "0:0:0"}));
    EXPECT_EQ(Lines(r).size(), 13u);
  }
}

TEST(YearReport, AMonthThatIsNoMonthIsCountedApart) {
  trips::TripRecord damaged = Trip(2024, 5, 1, 1, 1);
  damaged.Month = 12;
  const YearReport r = MakeYearReport({{"X", {damaged, Trip(2024, 5, 1, 1, 1)}, {}}}, 2024, false);
  EXPECT_EQ(r.undated, 1u);
  EXPECT_EQ(r.total.total.trips, 1u);
}

TEST(YearReport, CsvListsEachVehicleThenTheTotals) {
  const VehicleTrips a{"A;1", {Trip(2024, 1, 10, 12, 1)}, {"личная"}};
  const VehicleTrips b{"B \"2\"", {Trip(2024, 1, 11, 3, 1)}, {}};
  const std::string csv = SerializeYearCsv(MakeYearReport({a, b}, 2024, true));
  const std::string utf8 = text::FromCp1251(csv);
  // Three blocks of twelve months and the year, with a purpose's line where it has trips.
  std::vector<std::string> lines;
  for (std::size_t pos = 0, end; (end = utf8.find("\r\n", pos)) != std::string::npos; pos = end + 2)
    lines.push_back(utf8.substr(pos, end - pos));
  ASSERT_EQ(lines.size(), 1u + 3 * 13 + 8);
  const std::pair<std::size_t, std::string> expected[] = {
      {0,
       "Период;Автомобиль;Назначение;Маршрутов;Путь, км;Топливо, л;Расход, л/100км;Время на маршрутах;"
       "Время в движении"},
      {1, "2024-01;\"A;1\";все;1;12,0;1,0;8,3;0:10:0;0:10:0"},
      {2, "2024-01;\"A;1\";личная;1;12,0;1,0;8,3;0:10:0;0:10:0"},
      {3, "2024-02;\"A;1\";все;0;0,0;0,0;0,0;0:0:0;0:0:0"},
      {16, "2024-01;\"B \"\"2\"\"\";все;1;3,0;1,0;33,3;0:10:0;0:10:0"},
      {17, "2024-01;\"B \"\"2\"\"\";не указана;1;3,0;1,0;33,3;0:10:0;0:10:0"},
      {lines.size() - 3, "2024;все;все;2;15,0;2,0;13,3;0:20:0;0:20:0"},
      {lines.size() - 2, "2024;все;личная;1;12,0;1,0;8,3;0:10:0;0:10:0"},
      {lines.size() - 1, "2024;все;не указана;1;3,0;1,0;33,3;0:10:0;0:10:0"},
  };
  for (const auto& [line, text] : expected) EXPECT_EQ(lines[line], text) << line;
}

}  // namespace
}  // namespace riventar::stats

namespace riventar::stats {
namespace {

TEST(YearReport, CsvTextsAreNeverFormulasAndKeepTheirFields) {
  struct Case {
    std::string vehicle, purpose, cells;  // cells: the vehicle's and the purpose's, UTF-8
  };
  const Case cases[] = {
      {"А123ВС77", "личная", "А123ВС77;личная"},
      {"=HYPERLINK(\"x\")", "+1", "\"'=HYPERLINK(\"\"x\"\")\";'+1"},
      {"@SUM(A1)", "-2;3", "'@SUM(A1);\"'-2;3\""},
      {"a\nb", "\r", "\"a\nb\";\"\r\""},
      {"Ω", "", "?;не указана"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cells);
    const std::string utf8 = text::FromCp1251(
        SerializeYearCsv(MakeYearReport({{c.vehicle, {Trip(2024, 5, 1, 1, 1)}, {c.purpose}}}, 2024, false)));
    EXPECT_NE(utf8.find("\r\n2024;" + c.cells + ";1;1,0;1,0;100,0;"), std::string::npos) << utf8;
  }
}

}  // namespace
}  // namespace riventar::stats
