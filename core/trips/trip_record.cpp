#include "core/trips/trip_record.h"

#include <algorithm>
#include <limits>

#include "core/link/commands.h"
#include "core/link/hex.h"

namespace riventar::trips {

using link::HexToByte;
using link::HexToDword;

TripRecord DecodeTripReply(std::string_view reply) {
  TripRecord r;
  r.Year = HexToByte(reply, 5);
  // The month travels in the low half, the weekday (1 = Monday) in the high half.
  const std::uint8_t monthWeekday = HexToByte(reply, 7);
  r.Month = static_cast<std::uint8_t>((monthWeekday & 0x0f) - 1);
  r.Weekday = static_cast<std::uint8_t>((monthWeekday >> 4) - 1);
  r.Day = HexToByte(reply, 9);
  r.Hour = HexToByte(reply, 11);
  r.Minute = HexToByte(reply, 13);
  r.TripTime = HexToDword(reply, 15);
  r.MovingTime = HexToDword(reply, 23);
  r.Distance = HexToDword(reply, 31);
  r.Fuel = HexToDword(reply, 39);
  return r;
}

bool AcceptedFromDevice(const TripRecord& r) {
  return r.TripTime >= 1 && r.TripTime <= 360010 && r.MovingTime >= 1 && r.MovingTime <= 360010 && r.Distance >= 6 &&
         r.Distance <= 60000010 && r.Fuel >= 16 && r.Fuel <= 160000010;
}

bool AcceptedFromFile(const TripRecord& r) {
  return r.TripTime != 0 && r.MovingTime != 0 && r.Distance >= 6 && r.Fuel >= 16;
}

std::uint32_t AverageSpeed(std::uint64_t distance, std::uint64_t movingTime) {
  if (movingTime == 0) return 0;
  const std::uint64_t v = distance / movingTime * 6;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(v, std::numeric_limits<std::uint32_t>::max()));
}

std::uint64_t AverageConsumption(std::uint64_t fuel, std::uint64_t distance) {
  const std::uint64_t metres = distance / 6;
  if (metres == 0) return 0;
  return fuel / 16 * 1000 / metres;
}

void Derive(TripRecord& r) {
  r.AvgSpeed = AverageSpeed(r.Distance, r.MovingTime);
  r.Consumption = static_cast<std::uint32_t>(
      std::min<std::uint64_t>(AverageConsumption(r.Fuel, r.Distance), std::numeric_limits<std::uint32_t>::max()));
}

std::optional<TripRecord> TripFromReply(std::string_view reply) {
  reply = reply.substr(0, reply.find('\r'));
  if (!link::TripReplyForm.Fits(reply)) return std::nullopt;
  TripRecord r = DecodeTripReply(reply);
  if (!AcceptedFromDevice(r)) return std::nullopt;
  Derive(r);
  return r;
}

}  // namespace riventar::trips
