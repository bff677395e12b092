#pragma once
// Trips and readings for the logbook's tests: a trip a day (days past 31 run
// on into February 2024), and a reading of them under one car.
#include <cstdint>
#include <string>

#include "core/logbook/logbook.h"
#include "core/trips/trip_record.h"

namespace riventar::testing {

inline trips::TripRecord Trip(int day, int hour, std::uint32_t distance = 60000) {
  trips::TripRecord r;
  r.Year = 24;
  r.Month = static_cast<std::uint8_t>(day > 31 ? 1 : 0);
  r.Day = static_cast<std::uint8_t>(day > 31 ? day - 31 : day);
  r.Hour = static_cast<std::uint8_t>(hour);
  r.Minute = 5;
  r.TripTime = 600;
  r.MovingTime = 500;
  r.Distance = distance;
  r.Fuel = 16000;
  trips::Derive(r);
  return r;
}

inline logbook::Recording Reading(const trips::TripList& trips, const std::string& plate = "А123ВС77",
                                  logbook::Origin origin = logbook::Origin::Device,
                                  const std::string& source = "/dev/ttyUSB0") {
  return {origin, source, "2024-03-01 10:00:00", {"ВАЗ-2110", plate, "Иванов"}, trips};
}

}  // namespace riventar::testing
