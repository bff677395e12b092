#include "core/stats/figures.h"

#include <algorithm>
#include <vector>

namespace riventar::stats {

std::string DurationText(std::uint64_t seconds) {
  return std::to_string(seconds / 3600) + ":" + std::to_string(seconds % 3600 / 60) + ":" +
         std::to_string(seconds % 60);
}

std::string TenthsText(std::uint64_t tenths) { return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10); }

std::string KilometresText(std::uint64_t distance) { return TenthsText(distance / trips::DistancePerTenthKm); }

std::string LitresText(std::uint64_t fuel) { return TenthsText(fuel / trips::FuelPerTenthLitre); }

Figures Compute(const trips::TripList& trips, const Period& period) {
  Figures f;
  if (period.start <= period.end)
    f.days = static_cast<std::uint64_t>(
        (std::chrono::sys_days{period.end} - std::chrono::sys_days{period.start}).count() + 1);
  std::vector<Date> dates;  // of the trips inside the period
  for (std::size_t i = 0; i < trips.size(); ++i) {
    const trips::TripRecord& r = trips[i];
    const Date d = CalendarDate(r, i);
    if (!period.Contains(d)) continue;
    dates.push_back(d);
    ++f.trips;
    f.tripTime += r.TripTime;
    f.movingTime += r.MovingTime;
    f.distance += r.Distance;
    f.fuel += r.Fuel;
  }
  // Plain algorithms: clang's ranges over this standard library do not compile.
  std::sort(dates.begin(), dates.end());
  f.tripDays = static_cast<std::size_t>(std::unique(dates.begin(), dates.end()) - dates.begin());
  f.avgSpeed = trips::AverageSpeed(f.distance, f.movingTime);
  f.consumption = trips::AverageConsumption(f.fuel, f.distance);
  return f;
}

FigureTexts Texts(const Figures& f) {
  return {std::to_string(f.days),
          std::to_string(f.tripDays),
          std::to_string(f.trips),
          DurationText(f.tripTime),
          DurationText(f.movingTime),
          KilometresText(f.distance) + " км",
          TenthsText(f.avgSpeed) + " км/час",
          LitresText(f.fuel) + " л",
          TenthsText(f.consumption) + " л/100км"};
}

Statistics ForChoice(const trips::TripList& trips, std::size_t anchor, PeriodKind kind) {
  Period period = SelectPeriod(trips, anchor, kind);
  const Figures figures = Compute(trips, period);
  return {std::move(period), figures};
}

}  // namespace riventar::stats
