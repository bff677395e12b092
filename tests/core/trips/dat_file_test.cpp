#include "core/trips/dat_file.h"

#include <gtest/gtest.h>

#include <string>

#include "base/text/cp1251.h"
#include "tests/core/trips/sample_trips.h"

using namespace riventar::trips;

namespace {

TripRecord WorkedExample() { return riventar::testing::WorkedExampleTrip(); }

const std::string WorkedLine = "050a0305080f00000e8b00000a96000250f800008340\r\n";

DatContents Parsed(const std::string& bytes) {
  auto result = ParseDatFile(bytes);
  EXPECT_TRUE(std::holds_alternative<DatContents>(result));
  return std::holds_alternative<DatContents>(result) ? std::get<DatContents>(result) : DatContents{};
}

}  // namespace

TEST(DatFile, WorkedExampleLineByteForByte) {
  EXPECT_EQ(TripLine(WorkedExample()), WorkedLine);
  TripRecord back = ParseTripLine(WorkedLine);
  Derive(back);
  EXPECT_EQ(back, WorkedExample());
}

TEST(DatFile, SaveThenLoadGivesTheSameTripsAndTexts) {
  TripList trips{WorkedExample(), WorkedExample()};
  trips[1].Day = 6;
  trips[1].Fuel = 99999;
  Derive(trips[1]);
  const VehicleInfo vehicle{"ВАЗ-2110", "А123ВС 77", "Иванов Иван Иванович"};
  const std::string bytes = SerializeDatFile(vehicle, trips);
  EXPECT_EQ(bytes.size(), 8 + 2 + 9 + 2 + 20 + 2 + 2 * TripLineSize);  // one byte per Cyrillic letter
  const DatContents back = Parsed(bytes);
  EXPECT_EQ(back.Vehicle, vehicle);
  EXPECT_EQ(back.Trips, trips);
}

TEST(DatFile, EmptyListWritesTheHeaderLinesOnly) { EXPECT_EQ(SerializeDatFile({"a", "", "c"}, {}), "a\r\n\r\nc\r\n"); }

TEST(DatFile, DamagedMonthAndWeekdayStillWriteFortySixBytes) {
  TripRecord r = WorkedExample();
  r.Month = 255;
  r.Weekday = 200;
  const std::string line = TripLine(r);
  ASSERT_EQ(line.size(), TripLineSize);
  EXPECT_EQ(line.substr(2, 4), "00c9");
  TripRecord back = ParseTripLine(line);
  EXPECT_EQ(back.Month, 255);
  EXPECT_EQ(back.Weekday, 200);
}

TEST(DatFile, LineBreaksInsideHeadersDoNotShiftTheFile) {
  const std::string bytes = SerializeDatFile({"a\r\nb", "", ""}, {WorkedExample()});
  EXPECT_EQ(Parsed(bytes).Trips.size(), 1u);
}

TEST(DatFile, RejectedFiles) {
  struct Case {
    std::string name;
    std::string bytes;
    DatProblem problem;
  };
  const std::string header = "m\r\nr\r\no\r\n";
  const Case cases[] = {
      {"header only", header, DatProblem::NoTrips},
      {"empty file", "", DatProblem::NoTrips},
      {"two lines", "m\r\nr\r\n", DatProblem::NoTrips},
      {"remainder 45", header + WorkedLine.substr(0, 45), DatProblem::WrongFormat},
      {"remainder 47", header + WorkedLine + "x", DatProblem::WrongFormat},
      // LF-only lines are 45 bytes long.
      {"LF only", "m\nr\no\n" + WorkedLine.substr(0, 44) + "\n" + WorkedLine.substr(0, 44) + "\n",
       DatProblem::WrongFormat},
  };
  for (const Case& c : cases) {
    auto result = ParseDatFile(c.bytes);
    ASSERT_TRUE(std::holds_alternative<DatProblem>(result)) << c.name;
    EXPECT_EQ(std::get<DatProblem>(result), c.problem) << c.name;
  }
}

TEST(DatFile, HeaderLineRules) {
  // LF-only headers lose their last character; a last header without a line
  // end loses two bytes; one of two bytes or fewer is empty.
  EXPECT_EQ(Parsed("Model\nReg\nOwner\n" + WorkedLine.substr(0, 44) + "\n\n").Vehicle,
            (VehicleInfo{"Mode", "Re", "Owne"}));
  const std::string longHeader(300, 'x');
  EXPECT_EQ(Parsed(longHeader + "\r\n\r\n\r\n" + WorkedLine).Vehicle.Model, longHeader);
}

TEST(DatFile, TripLineAcceptanceAndWrapping) {
  const std::string header = "\r\n\r\n\r\n";
  TripRecord zeroTime = WorkedExample();
  zeroTime.TripTime = 0;
  TripRecord shortDistance = WorkedExample();
  shortDistance.Distance = 5;
  TripRecord huge = WorkedExample();
  huge.TripTime = 0xffffffff;  // no upper bounds in files
  const DatContents c = Parsed(header + TripLine(zeroTime) + WorkedLine + TripLine(shortDistance) + TripLine(huge));
  EXPECT_EQ(c.TripLines, 4u);
  ASSERT_EQ(c.Trips.size(), 2u);
  EXPECT_EQ(c.Trips[1].TripTime, 0xffffffffu);

  std::string monthZero = WorkedLine;
  monthZero.replace(2, 2, "00");
  EXPECT_EQ(Parsed(header + monthZero).Trips.at(0).Month, 255);

  std::string upper = WorkedLine;
  upper.replace(36, 8, "0000834A");                             // 'A' in the second place decodes 32 lower
  EXPECT_EQ(Parsed(header + upper).Trips.at(0).Fuel, 0x832au);  // "4A" is 4 * 16 + 234, modulo 256
}

TEST(Csv, WorkedExampleAndHeading) {
  const std::string csv = riventar::text::FromCp1251(SerializeCsv({WorkedExample()}));
  EXPECT_EQ(csv,
            "N;Дата;Время;На маршруте;В движении;Путь;Скорость;Топливо;Расход\r\n"
            "1;СР-05-ОКТ-2005;08:15;01:02:03;00:45:10;25,3;033,6;2,1;8,3\r\n");
}

TEST(Csv, LineCountAndEmptyTable) {
  const std::string empty = SerializeCsv({});
  EXPECT_EQ(riventar::text::FromCp1251(empty), "N;Дата;Время;На маршруте;В движении;Путь;Скорость;Топливо;Расход\r\n");
  const std::string three = SerializeCsv({WorkedExample(), WorkedExample(), WorkedExample()});
  std::size_t lines = 0;
  for (std::size_t p = three.find("\r\n"); p != std::string::npos; p = three.find("\r\n", p + 2)) ++lines;
  EXPECT_EQ(lines, 4u);
  EXPECT_EQ(three.substr(three.size() - 2), "\r\n");
}

TEST(DatFile, AppendingAddsOnlyTheLinesTheFileLacks) {
  TripRecord other = WorkedExample();
  other.Day = 6;
  const std::string otherLine = TripLine(other);
  const std::string header = "m\r\nr\r\no\r\n";
  // Upper case reads the same in the first place of a pair, 32 lower in the second.
  std::string same = WorkedLine, notSame = WorkedLine;
  same[34] = 'F';
  notSame[3] = 'A';
  const struct {
    const char* name;
    std::string file;
    TripList trips;
    std::string added;
    std::size_t present;
  } cases[] = {
      {"vehicle lines alone", header, {WorkedExample(), other}, WorkedLine + otherLine, 0},
      {"no file at all", "", {WorkedExample()}, WorkedLine, 0},
      {"one there already", header + WorkedLine, {WorkedExample(), other}, otherLine, 1},
      {"all there: nothing", header + otherLine + WorkedLine, {WorkedExample(), other}, "", 2},
      {"twice among the trips: once", header, {other, other}, otherLine, 1},
      {"the same record spelled otherwise: there", header + same, {WorkedExample()}, "", 1},
      {"another record is no match", header + notSame, {WorkedExample()}, WorkedLine, 0},
  };
  for (const auto& c : cases) {
    const AppendedLines lines = LinesToAppend(c.file, c.trips);
    EXPECT_EQ(lines.bytes, c.added) << c.name;
    EXPECT_EQ(lines.count * TripLineSize, c.added.size()) << c.name;
    EXPECT_EQ(lines.present, c.present) << c.name;
  }
}
