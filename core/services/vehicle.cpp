#include "core/services/vehicle.h"

#include "core/logbook/json_text.h"
#include "core/logbook/logbook.h"

namespace riventar::services {

trips::VehicleInfo ReadingVehicle(const trips::VehicleInfo& document, const VehicleTexts& given) {
  trips::VehicleInfo vehicle = document;
  if (given.model) vehicle.Model = *given.model;
  if (given.registration) vehicle.RegId = *given.registration;
  if (given.owner) vehicle.Owner = *given.owner;
  return vehicle;
}

std::string VehicleDisplayName(const trips::VehicleInfo& vehicle) { return logbook::DisplayName(vehicle); }

namespace {

const logbook::VehicleSummary* Known(const std::vector<logbook::VehicleSummary>& known, const std::string& plateKey) {
  for (const logbook::VehicleSummary& v : known)
    if (v.plateKey == plateKey) return &v;
  return nullptr;
}

}  // namespace

Filing FileReading(const VehicleTexts& given, const std::optional<std::string>& recognised,
                   const std::vector<logbook::VehicleSummary>& known) {
  const logbook::VehicleSummary* device = recognised && !recognised->empty() ? Known(known, *recognised) : nullptr;
  if (given.registration) {
    Filing filing{{}, FiledBy::Given, std::nullopt};
    const std::string key =
        logbook::NamesUnassigned(*given.registration) ? std::string() : logbook::PlateKey(*given.registration);
    if (!key.empty()) {
      // A known vehicle keeps its own texts: changing them is an edit of the vehicle.
      const logbook::VehicleSummary* same = Known(known, key);
      filing.vehicle = same ? same->texts : ReadingVehicle({}, given);
    }
    if (device && device->plateKey != key) filing.recognisedOther = *device;
    return filing;
  }
  if (device) return {device->texts, FiledBy::Recognised, std::nullopt};
  return {};
}

}  // namespace riventar::services
