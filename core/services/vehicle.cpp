#include "core/services/vehicle.h"

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

}  // namespace riventar::services
