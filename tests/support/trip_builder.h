#pragma once
// The one way tests make a trip: a plausible one by default (1 January 2024,
// 0:00, 600 s of which 500 moving, 10 km on 1 l), each field changed in the
// device's units, the derived values computed as the device's rules do.
#include <chrono>
#include <cstdint>

#include "core/trips/trip_record.h"

namespace riventar::testing {

class TripBuilder {
 public:
  // A calendar date: year 2000..2255, month 1..12. The weekday stays as set.
  TripBuilder& Date(int year, int month, int day) {
    r_.Year = static_cast<std::uint8_t>(year - 2000);
    r_.Month = static_cast<std::uint8_t>(month - 1);
    r_.Day = static_cast<std::uint8_t>(day);
    return *this;
  }
  // 0 Monday .. 6 Sunday, as the device counts.
  TripBuilder& Weekday(int weekday) {
    r_.Weekday = static_cast<std::uint8_t>(weekday);
    return *this;
  }
  // The weekday of the date as the device would report it; none for a date
  // that is no date.
  TripBuilder& WeekdayOfDate() {
    using namespace std::chrono;
    const year_month_day date{year{2000 + r_.Year}, month{r_.Month + 1u}, day{r_.Day}};
    if (date.ok()) r_.Weekday = static_cast<std::uint8_t>(weekday{sys_days{date}}.iso_encoding() - 1);
    return *this;
  }
  TripBuilder& Time(int hour, int minute = 0) {
    r_.Hour = static_cast<std::uint8_t>(hour);
    r_.Minute = static_cast<std::uint8_t>(minute);
    return *this;
  }
  // Seconds.
  TripBuilder& Lasting(std::uint32_t tripTime, std::uint32_t movingTime) {
    r_.TripTime = tripTime;
    r_.MovingTime = movingTime;
    return *this;
  }
  TripBuilder& Distance(std::uint32_t distance) {  // 1/6000 km
    r_.Distance = distance;
    return *this;
  }
  TripBuilder& Fuel(std::uint32_t fuel) {  // 1/16000 l
    r_.Fuel = fuel;
    return *this;
  }

  trips::TripRecord Build() const {
    trips::TripRecord r = r_;
    trips::Derive(r);
    return r;
  }
  operator trips::TripRecord() const { return Build(); }  // NOLINT: a builder stands for its trip

 private:
  trips::TripRecord r_{24, 0, 0, 1, 0, 0, 600, 500, 60000, 16000, 0, 0};
};

}  // namespace riventar::testing
