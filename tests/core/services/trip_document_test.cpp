// The trip document on real files: load, save, export, append, and what
// counts as unsaved.
#include "core/services/trip_document.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <string>

#include "core/services/vehicle.h"
#include "core/trips/device_reading.h"
#include "sim/device.h"
#include "sim/trip_store.h"
#include "tests/support/temp_dir.h"

namespace {

namespace services = riventar::services;
namespace trips = riventar::trips;
using Kind = services::Failure::Kind;

trips::TripList Trips(int count, unsigned seed = 1) {
  trips::TripList list;
  char index[3];
  for (const auto& trip : riventar::sim::RealisticTrips(count, seed)) {
    std::snprintf(index, sizeof index, "%02x", static_cast<unsigned>(list.size()));
    list.push_back(*trips::TripFromReply("!TR" + std::string(index) + riventar::sim::EncodeTrip(trip) + "\r"));
  }
  return list;
}

std::string Contents(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void Write(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

TEST(TripFormat, FromTheGivenNameOrTheFilesName) {
  struct Case {
    const char* path;
    const char* given;
    std::optional<services::TripFormat> format;
  };
  const Case cases[] = {
      {"a.dat", "", services::TripFormat::Dat},
      {"a.CSV", "", services::TripFormat::Csv},
      {"a.json", "", services::TripFormat::Json},
      {"a.txt", "dat", services::TripFormat::Dat},
      {"a.txt", "", std::nullopt},
      {"a.dat", "xml", std::nullopt},
      {"noext", "", std::nullopt},
  };
  for (const Case& c : cases) {
    const auto format = services::FormatFor(c.path, c.given);
    EXPECT_EQ(format.ok(), c.format.has_value()) << c.path << " " << c.given;
    if (format && c.format) {
      EXPECT_EQ(format.value(), *c.format) << c.path;
    } else if (!format) {
      EXPECT_EQ(format.failure().kind, Kind::Usage);
    }
  }
}

TEST(TripDocument, SavesLoadsAndSaysWhatIsWrongWithAFile) {
  riventar::testing::TempDir dir;
  services::TripDocument document;
  document.Show({"Model", "A 123 BC", "Owner"}, Trips(3));
  ASSERT_TRUE(document.Save(dir / "t.dat", services::TripFormat::Dat));
  ASSERT_TRUE(document.Save(dir / "t.csv", services::TripFormat::Csv));
  EXPECT_EQ(Contents(dir / "t.csv"), trips::SerializeCsv(document.Trips()));

  services::TripDocument loaded;
  ASSERT_TRUE(loaded.Load(dir / "t.dat"));
  EXPECT_EQ(loaded.Vehicle().RegId, "A 123 BC");
  EXPECT_EQ(loaded.Trips().size(), 3u);
  EXPECT_FALSE(loaded.Unsaved());
  EXPECT_EQ(services::FileVehicle(dir / "t.dat").Owner, "Owner");
  EXPECT_EQ(services::FileVehicle(dir / "t.csv").Owner, "");

  Write(dir / "header.dat", "a\r\nb\r\nc\r\n");
  Write(dir / "broken.dat", "a\r\nb\r\nc\r\nshort\r\n");
  struct Case {
    std::string path;
    Kind kind;
  };
  const Case cases[] = {{dir / "none.dat", Kind::FileIo},
                        {dir.Path(), Kind::FileIo},
                        {dir / "header.dat", Kind::NoTrips},
                        {dir / "broken.dat", Kind::NotTripFile}};
  for (const Case& c : cases) {
    const services::Status status = loaded.Load(c.path);
    ASSERT_FALSE(status) << c.path;
    EXPECT_EQ(status.failure().kind, c.kind) << c.path << ": " << status.failure().message;
    EXPECT_EQ(loaded.Trips().size(), 3u) << "a failed load keeps what is shown";
  }
  EXPECT_EQ(services::ReadTripFile(dir / "none.dat").failure().systemError, ENOENT);
}

TEST(TripDocument, AFailedSaveKeepsTheFileAndTheUnsavedFlag) {
  riventar::testing::TempDir dir;
  services::TripDocument document;
  document.AppendReading(Trips(2));
  document.ReadingRecorded(false);
  EXPECT_TRUE(document.AtRisk());
  const services::Status missingFolder = document.Save(dir / "no" / "t.dat", services::TripFormat::Dat);
  EXPECT_EQ(missingFolder.failure().kind, Kind::FileCreate);
  EXPECT_EQ(missingFolder.failure().systemError, ENOENT);
  EXPECT_TRUE(document.Unsaved());
  ASSERT_TRUE(document.Save(dir / "t.dat", services::TripFormat::Dat));
  EXPECT_FALSE(document.Unsaved());
}

TEST(TripDocument, UnsavedAndWhatTheLogbookHolds) {
  services::TripDocument document;
  document.AppendReading(Trips(1));
  document.ReadingRecorded(true);
  EXPECT_TRUE(document.Unsaved());
  EXPECT_FALSE(document.AtRisk()) << "all of it is in the logbook";
  document.AppendReading(Trips(1, 2));
  document.ReadingRecorded(false);
  EXPECT_TRUE(document.AtRisk());
  document.Clear();
  document.VehicleTyped({"", "X", ""});
  EXPECT_TRUE(document.AtRisk()) << "typed texts are in no logbook";
}

TEST(TripDocument, AppendsOnlyWhatTheFileLacks) {
  riventar::testing::TempDir dir;
  const auto path = dir / "t.dat";
  services::TripDocument document;
  document.Show({"M", "R", "O"}, Trips(2));
  auto first = document.AppendTo(path, services::ReadAppendTarget(path).value());
  ASSERT_TRUE(first);
  EXPECT_EQ(first->added, 2u);
  document.Show({"M", "R", "O"}, Trips(3));
  auto again = document.AppendTo(path, services::ReadAppendTarget(path).value());
  ASSERT_TRUE(again);
  EXPECT_EQ(again->added, 1u);
  EXPECT_EQ(again->present, 2u);
  services::TripDocument loaded;
  ASSERT_TRUE(loaded.Load(path));
  EXPECT_EQ(loaded.Trips().size(), 3u);
  Write(dir / "junk.dat", "a\r\nb\r\nc\r\nshort\r\n");
  EXPECT_EQ(services::ReadAppendTarget(dir / "junk.dat").failure().kind, Kind::NotTripFile);
}

TEST(Vehicle, ReadingVehicleAndDisplayName) {
  EXPECT_EQ(services::ReadingVehicle({"M", "R", "O"}, {std::nullopt, "X 1", std::nullopt}).RegId, "X 1");
  EXPECT_EQ(services::ReadingVehicle({"M", "R", "O"}).Model, "M");
  EXPECT_EQ(services::VehicleDisplayName({"M", "A 1", ""}), "A 1");
  EXPECT_EQ(services::VehicleDisplayName({"M", "  ", ""}), "не назначены");
}

}  // namespace
