// Where a reading is filed: the rule the window and riventar-cli share.
#include "core/services/vehicle.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

namespace services = riventar::services;
namespace logbook = riventar::logbook;
using services::FiledBy;

TEST(Filing, ChoosesTheVehicleTheUserGaveElseTheRecognisedOneElseNone) {
  const std::string carA = logbook::PlateKey("А123ВС 77"), carB = logbook::PlateKey("В456ОР 99");
  std::vector<logbook::VehicleSummary> known(2);
  known[0].plateKey = carA;
  known[0].texts = {"ВАЗ-2110", "А123ВС 77", "Петров"};
  known[1].plateKey = carB;
  known[1].texts = {"ГАЗель", "В456ОР 99", "Сидоров"};
  const std::optional<std::string> none;
  const struct {
    const char* name;
    services::VehicleTexts given;
    std::optional<std::string> recognised;  // a plate key
    FiledBy by;
    riventar::trips::VehicleInfo vehicle;  // filed under
    std::string recognisedOther;           // plate key; empty: none said
  } cases[] = {
      {"nothing said", {}, none, FiledBy::Unassigned, {}, ""},
      {"recognised", {}, carB, FiledBy::Recognised, known[1].texts, ""},
      // A model alone names no car.
      {"model alone", {"Нива", none, none}, carB, FiledBy::Recognised, known[1].texts, ""},
      // Typed as people type plates; a known car keeps its own texts.
      {"given, known", {"Нива", "a123bc77", none}, none, FiledBy::Given, known[0].texts, ""},
      {"given, new", {"Нива", "Е001КХ 50", "Иванов"}, none, FiledBy::Given, {"Нива", "Е001КХ 50", "Иванов"}, ""},
      {"given over recognised", {none, "А123ВС 77", none}, carB, FiledBy::Given, known[0].texts, carB},
      {"given, recognised the same", {none, "А123ВС77", none}, carA, FiledBy::Given, known[0].texts, ""},
      {"given unassigned", {none, "unassigned", none}, carA, FiledBy::Given, {}, carA},
      {"given no plate", {"Нива", " - ", none}, none, FiledBy::Given, {}, ""},
      // The vehicle merged away since: not known.
      {"recognised, gone", {}, logbook::PlateKey("Х999ХХ 99"), FiledBy::Unassigned, {}, ""},
  };
  for (const auto& c : cases) {
    const services::Filing filing = services::FileReading(c.given, c.recognised, known);
    EXPECT_EQ(filing.by, c.by) << c.name;
    EXPECT_EQ(filing.vehicle, c.vehicle) << c.name;
    EXPECT_EQ(filing.recognisedOther ? filing.recognisedOther->plateKey : std::string(), c.recognisedOther) << c.name;
  }
}

}  // namespace
