#pragma once
// Vehicle rules every front end applies the same way.
#include <optional>
#include <string>
#include <vector>

#include "core/logbook/logbook.h"
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

// How the vehicle a reading is filed under was chosen.
enum class FiledBy {
  Given,       // the user named it: an option, the window's question
  Recognised,  // the logbook knows the device by its records (logbook::RecogniseDevice)
  Unassigned,  // neither: the trips wait, unassigned, for the user to say the car
};

struct Filing {
  // The recording's vehicle: a known one's texts as the logbook holds them, a
  // new one's as given. No plate: the unassigned trips.
  trips::VehicleInfo vehicle;
  FiledBy by = FiledBy::Unassigned;
  // With FiledBy::Given: the vehicle the logbook recognises the device as,
  // when that is another one; worth saying, as the user may have mistyped.
  std::optional<logbook::VehicleSummary> recognisedOther;
};

// Where a reading is filed, the same for every front end: under the vehicle
// the user gave (a registration; one that logbook::NamesUnassigned or without
// a plate: unassigned), else under the vehicle the logbook recognises the
// device as (`recognised`, a plate key), else unassigned. Never under whatever
// a window or a file shows. `known`: the logbook's vehicles.
Filing FileReading(const VehicleTexts& given, const std::optional<std::string>& recognised,
                   const std::vector<logbook::VehicleSummary>& known);

}  // namespace riventar::services
