#include "core/logbook/json_text.h"

#include <cstdio>

#include "core/trips/trip_text.h"

namespace riventar::logbook {
namespace {

std::string TwoDigits(unsigned value) {
  char b[8];
  std::snprintf(b, sizeof b, "%02u", value);
  return b;
}

}  // namespace

std::string JsonString(std::string_view utf8) {
  std::string out = "\"";
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const char c = utf8[i];
    const auto u = static_cast<unsigned char>(c);
    if (u == 0xc2 && i + 1 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) <= 0x9f &&
        static_cast<unsigned char>(utf8[i + 1]) >= 0x80) {
      char b[8];  // C1, which some terminals obey
      std::snprintf(b, sizeof b, "\\u%04x", static_cast<unsigned char>(utf8[++i]));
      out += b;
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20 || u == 0x7f) {
      char b[8];
      std::snprintf(b, sizeof b, "\\u%04x", u);
      out += b;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string JsonNumber(std::uint64_t value, std::uint64_t scale, int decimals) {
  std::uint64_t unit = 1;
  for (int i = 0; i < decimals; ++i) unit *= 10;
  const std::uint64_t scaled = (value * unit * 2 + scale) / (scale * 2);
  std::string text = std::to_string(scaled / unit);
  if (decimals > 0) {
    std::string fraction = std::to_string(scaled % unit);
    text += "." + std::string(static_cast<std::size_t>(decimals) - fraction.size(), '0') + fraction;
  }
  return text;
}

std::string TripsJson(const trips::TripList& trips) {
  std::string out = "[";
  for (std::size_t i = 0; i < trips.size(); ++i) {
    const trips::TripRecord& r = trips[i];
    out += i == 0 ? "\n" : ",\n";
    out += "  {\"date\": \"" + std::to_string(2000 + r.Year) + "-" + TwoDigits(r.Month + 1u) + "-" + TwoDigits(r.Day) +
           "\", \"start\": " + JsonString(trips::StartTimeText(r)) +
           ", \"trip_time_s\": " + std::to_string(r.TripTime) + ", \"moving_time_s\": " + std::to_string(r.MovingTime) +
           ", \"distance_km\": " + JsonNumber(r.Distance, trips::DistancePerKm, 3) +
           ", \"fuel_l\": " + JsonNumber(r.Fuel, trips::FuelPerLitre, 3) +
           ", \"avg_speed_kmh\": " + JsonNumber(r.AvgSpeed, 10, 1) +
           ", \"consumption_l_100km\": " + JsonNumber(r.Consumption, 10, 1) + "}";
  }
  return out + (trips.empty() ? "]\n" : "\n]\n");
}

std::string VehiclesJson(const std::vector<VehicleSummary>& vehicles) {
  std::string out = "[";
  for (std::size_t i = 0; i < vehicles.size(); ++i) {
    const VehicleSummary& v = vehicles[i];
    out += (i == 0 ? "\n" : ",\n") + std::string("  {\"registration\": ") + JsonString(Registration(v)) +
           ", \"model\": " + JsonString(v.texts.Model) + ", \"owner\": " + JsonString(v.texts.Owner) +
           ", \"trips\": " + std::to_string(v.trips) + ", \"first\": " + JsonString(v.firstDate) +
           ", \"last\": " + JsonString(v.lastDate) +
           ", \"distance_km\": " + JsonNumber(v.distance, trips::DistancePerKm, 3) + "}";
  }
  return out + (vehicles.empty() ? "]\n" : "\n]\n");
}

bool NamesUnassigned(std::string_view typed) {
  return typed == UnassignedName || typed == "unassigned" || typed == NoPlateName;
}

std::string Registration(const VehicleSummary& vehicle) { return DisplayName(vehicle.texts); }

std::optional<VehicleSummary> FindVehicle(const std::vector<VehicleSummary>& vehicles, std::string_view typed) {
  const std::string key = NamesUnassigned(typed) ? std::string() : PlateKey(typed);
  for (const VehicleSummary& v : vehicles) {
    if (v.plateKey == key) return v;
  }
  return std::nullopt;
}

}  // namespace riventar::logbook
