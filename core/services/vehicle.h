#pragma once
// Vehicle rules every front end applies the same way.
#include <optional>
#include <string>

#include "core/trips/dat_file.h"

namespace riventar::services {

// Texts the user gave for a reading's vehicle; each one given replaces the
// document's own.
struct VehicleTexts {
  std::optional<std::string> model, registration, owner;
};

// The vehicle a reading goes to: the one its trip document stands for (the
// window's vehicle fields, the vehicle lines of the file the command line
// writes), each text given replacing its own.
trips::VehicleInfo ReadingVehicle(const trips::VehicleInfo& document, const VehicleTexts& given = {});

// How a vehicle is named to people: its registration, or "не назначены" for
// the unassigned trips (blanks and case aside, as plates compare).
std::string VehicleDisplayName(const trips::VehicleInfo& vehicle);

}  // namespace riventar::services
