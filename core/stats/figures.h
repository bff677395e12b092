#pragma once
// The figures of one period and the texts the statistics window shows for
// them. Sums are 64-bit so that a long history cannot wrap.
#include <cstdint>
#include <string>

#include "core/stats/period.h"
#include "core/trips/trip_record.h"

namespace riventar::stats {

struct Figures {
  std::uint64_t days = 0;      // days in the fitted period; 0 when it ends before it starts
  std::uint64_t tripDays = 0;  // distinct dates of the trips in the period
  std::uint64_t trips = 0;
  std::uint64_t tripTime = 0;     // seconds
  std::uint64_t movingTime = 0;   // seconds
  std::uint64_t distance = 0;     // 1/6000 km
  std::uint64_t fuel = 0;         // 1/16000 l
  std::uint32_t avgSpeed = 0;     // 0.1 km/h, the single trip's rule; 0 without time in motion
  std::uint64_t consumption = 0;  // 0.1 l/100 km, the single trip's rule; 0 without distance

  friend bool operator==(const Figures&, const Figures&) = default;
};

// One pass over all of `trips`, in any order; days with trips are the distinct
// dates of the trips inside the period. Throws InvalidTripDate for any entry
// whose date is no calendar date.
Figures Compute(const trips::TripList& trips, const Period& period);

// The value labels' texts, numbers in plain decimal.
struct FigureTexts {
  std::string days;
  std::string tripDays;
  std::string trips;
  std::string totalTime;  // "1:2:3", hours unlimited
  std::string timeInGo;
  std::string totalWay;   // "43.3 км"
  std::string averSpeed;  // "34.2 км/час"
  std::string totalFuel;  // "3.3 л"
  std::string averFuel;   // "7.7 л/100км"

  friend bool operator==(const FigureTexts&, const FigureTexts&) = default;
};
FigureTexts Texts(const Figures& f);

// The number rules of those texts, without the unit, for every front end and
// report that shows such figures: "1:2:3" (hours unlimited), and one decimal
// truncated (never rounded), so a shown figure never exceeds what was measured.
std::string DurationText(std::uint64_t seconds);
std::string KilometresText(std::uint64_t distance);  // 1/6000 km
std::string LitresText(std::uint64_t fuel);          // 1/16000 l
std::string TenthsText(std::uint64_t tenths);        // 0.1 km/h, 0.1 l/100 km

// The statistics of one menu choice: SelectPeriod, then Compute.
struct Statistics {
  Period period;
  Figures figures;
};
Statistics ForChoice(const trips::TripList& trips, std::size_t anchor, PeriodKind kind);

}  // namespace riventar::stats
