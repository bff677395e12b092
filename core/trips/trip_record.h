#pragma once
// One trip as the device stores it, and the rules that decide whether a trip
// is kept and what is derived from it.
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace riventar::trips {

// Units: seconds; Distance in 1/6000 km; Fuel in 1/16000 l;
// AvgSpeed in 0.1 km/h; Consumption in 0.1 l/100 km.
inline constexpr std::uint32_t DistancePerKm = 6000;
inline constexpr std::uint32_t DistancePerTenthKm = DistancePerKm / 10;
inline constexpr std::uint32_t FuelPerLitre = 16000;
inline constexpr std::uint32_t FuelPerTenthLitre = FuelPerLitre / 10;

// Month is 0 = January, Weekday is 0 = Monday; Year counts from 2000.
// Date fields are kept as they arrive and never checked against a calendar.
struct TripRecord {
  std::uint8_t Year = 0;
  std::uint8_t Month = 0;
  std::uint8_t Weekday = 0;
  std::uint8_t Day = 0;
  std::uint8_t Hour = 0;
  std::uint8_t Minute = 0;
  std::uint32_t TripTime = 0;
  std::uint32_t MovingTime = 0;
  std::uint32_t Distance = 0;
  std::uint32_t Fuel = 0;
  std::uint32_t AvgSpeed = 0;
  std::uint32_t Consumption = 0;

  friend bool operator==(const TripRecord&, const TripRecord&) = default;
};

// The shown trips, in table order (row r shows entry r - 1). Records are
// values: clearing the list releases them all.
using TripList = std::vector<TripRecord>;

// Raw fields of a "$TR" reply: positions 5..46 of the line that starts with "!".
// Derived values are left at 0.
TripRecord DecodeTripReply(std::string_view reply);

// Device trips must lie within 100 h / 10000 km / 10000 l (each plus 10 units).
bool AcceptedFromDevice(const TripRecord& r);
// Data-file trips only need non-zero divisors.
bool AcceptedFromFile(const TripRecord& r);

// Average speed in motion: (Distance / MovingTime) * 6, the division first,
// no further rounding. MovingTime 0 gives 0.
std::uint32_t AverageSpeed(std::uint64_t distance, std::uint64_t movingTime);
// ((Fuel / 16) * 1000) / (Distance / 6) in 64 bits; a divisor of 0 gives 0.
std::uint64_t AverageConsumption(std::uint64_t fuel, std::uint64_t distance);

// Fills AvgSpeed and Consumption; a consumption beyond 32 bits (only absurd
// records reach it) is held as the largest 32-bit value.
void Derive(TripRecord& r);

// Decode, accept and derive one "$TR" reply, measured up to its first CR;
// nothing if it is no whole reply (link::TripReplyForm) or the trip is rejected.
std::optional<TripRecord> TripFromReply(std::string_view reply);

}  // namespace riventar::trips
