#pragma once
// Trips on given calendar dates, with the weekday the device would report.
#include <chrono>

#include "core/trips/trip_record.h"

namespace riventar::stats::testing {

inline trips::TripRecord TripOn(int y, unsigned m, unsigned d, std::uint32_t tripTime = 60,
                                std::uint32_t movingTime = 60, std::uint32_t distance = 6000,
                                std::uint32_t fuel = 1600) {
  using namespace std::chrono;
  trips::TripRecord r;
  r.Year = static_cast<std::uint8_t>(y - 2000);
  r.Month = static_cast<std::uint8_t>(m - 1);
  r.Day = static_cast<std::uint8_t>(d);
  const year_month_day date{year{y}, month{m}, day{d}};
  if (date.ok()) r.Weekday = static_cast<std::uint8_t>(weekday{sys_days{date}}.iso_encoding() - 1);
  r.TripTime = tripTime;
  r.MovingTime = movingTime;
  r.Distance = distance;
  r.Fuel = fuel;
  trips::Derive(r);
  return r;
}

}  // namespace riventar::stats::testing
