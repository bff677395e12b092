#pragma once
// The logbook as JSON for scripts: the objects riventar-cli --json prints and
// the web front end's API serves, written once so both give the same bytes.
// UTF-8 in and out.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/logbook/logbook.h"
#include "core/trips/trip_record.h"

namespace riventar::logbook {

// A JSON string literal, quotes included.
std::string JsonString(std::string_view utf8);
// A fixed-point JSON number: `value` / `scale`, `decimals` places, rounded to
// the nearest last place.
std::string JsonNumber(std::uint64_t value, std::uint64_t scale, int decimals);

// An array of one object a trip: date, start, times, distance, fuel, speed,
// consumption, in the device's units turned into km, l, km/h.
std::string TripsJson(const trips::TripList& trips);
// An array of one object a vehicle: registration, model, owner, trips, first,
// last, distance_km.
std::string VehiclesJson(const std::vector<VehicleSummary>& vehicles);

// The registration a vehicle is named by: its number, or UnassignedName.
std::string Registration(const VehicleSummary& vehicle);
// A name typed for the unassigned trips: UnassignedName, "unassigned", or the
// old NoPlateName.
bool NamesUnassigned(std::string_view typed);
// The vehicle a registration as typed names (NamesUnassigned: the unassigned
// trips), compared as plates are (PlateKey); nothing when none is.
std::optional<VehicleSummary> FindVehicle(const std::vector<VehicleSummary>& vehicles, std::string_view typed);

}  // namespace riventar::logbook
