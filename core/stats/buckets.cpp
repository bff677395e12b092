#include "core/stats/buckets.h"

#include <algorithm>

#include "core/stats/figures.h"
#include "core/trips/trip_text.h"

namespace riventar::stats {

using namespace std::chrono;

namespace {

constexpr int MaxMonthBuckets = 36;

int MonthIndex(Date d) { return int{d.year()} * 12 + static_cast<int>(unsigned{d.month()}) - 1; }

sys_days MondayOf(sys_days d) { return d - (weekday{d} - Monday); }

// The last day of the calendar bucket holding `d`.
sys_days BucketEnd(Date d, BucketSize size) {
  switch (size) {
    case BucketSize::Day:
      return sys_days{d};
    case BucketSize::Week:
      return MondayOf(sys_days{d}) + days{6};
    case BucketSize::Month:
      return sys_days{d.year() / d.month() / last};
    case BucketSize::Year:
      break;
  }
  return sys_days{d.year() / December / 31};
}

// Position of `d`'s bucket counted from the bucket holding `start`.
std::size_t BucketIndex(Date start, Date d, BucketSize size) {
  switch (size) {
    case BucketSize::Day:
      return static_cast<std::size_t>((sys_days{d} - sys_days{start}).count());
    case BucketSize::Week:
      return static_cast<std::size_t>((MondayOf(sys_days{d}) - MondayOf(sys_days{start})).count() / 7);
    case BucketSize::Month:
      return static_cast<std::size_t>(MonthIndex(d) - MonthIndex(start));
    case BucketSize::Year:
      break;
  }
  return static_cast<std::size_t>(int{d.year()} - int{start.year()});
}

std::string ShortMonth(Date d) {
  return std::string(trips::MonthShortName(static_cast<std::uint8_t>(unsigned{d.month()} - 1)));
}

std::string DayMonth(Date d) { return std::to_string(unsigned{d.day()}) + "-" + ShortMonth(d); }

std::string DayMonthYear(Date d) { return DayMonth(d) + "-" + std::to_string(int{d.year()}); }

}  // namespace

BucketSize BucketSizeFor(PeriodKind kind, const Period& period) {
  switch (kind) {
    case PeriodKind::Day:
    case PeriodKind::Week:
    case PeriodKind::Month:
      return BucketSize::Day;
    case PeriodKind::Season:
      return BucketSize::Week;
    case PeriodKind::Year:
    case PeriodKind::Everything:
      break;
  }
  const int months = MonthIndex(period.end) - MonthIndex(period.start) + 1;
  return months > MaxMonthBuckets ? BucketSize::Year : BucketSize::Month;
}

double Kilometres(const Bucket& b) { return static_cast<double>(b.distance) / trips::DistancePerKm; }

double Litres(const Bucket& b) { return static_cast<double>(b.fuel) / trips::FuelPerLitre; }

std::optional<double> Consumption(const Bucket& b) {
  if (b.distance == 0) return std::nullopt;
  return Litres(b) / Kilometres(b) * 100.0;
}

std::vector<Bucket> MakeBuckets(const trips::TripList& trips, const Period& period, BucketSize size) {
  std::vector<Bucket> buckets;
  if (period.end < period.start) {
    // Still every date is checked, as for the figures.
    for (std::size_t i = 0; i < trips.size(); ++i) CalendarDate(trips[i], i);
    return buckets;
  }
  const sys_days start{period.start};
  const sys_days end{period.end};
  for (sys_days d = start; d <= end;) {
    const sys_days last = BucketEnd(Date{d}, size);
    buckets.push_back({Date{d}, Date{std::min(last, end)}});
    d = last + days{1};
  }
  for (std::size_t i = 0; i < trips.size(); ++i) {
    const trips::TripRecord& r = trips[i];
    const Date d = CalendarDate(r, i);
    if (!period.Contains(d)) continue;
    Bucket& b = buckets[BucketIndex(period.start, d, size)];
    ++b.trips;
    b.distance += r.Distance;
    b.fuel += r.Fuel;
  }
  return buckets;
}

Chart ChartFor(const trips::TripList& trips, const Period& period, PeriodKind kind) {
  const BucketSize size = BucketSizeFor(kind, period);
  return {period.caption, size, MakeBuckets(trips, period, size)};
}

std::string BucketLabel(const Chart& chart, std::size_t index) {
  const Bucket& b = chart.buckets.at(index);
  const Date first = chart.buckets.front().first;
  const Date last = chart.buckets.back().last;
  switch (chart.size) {
    case BucketSize::Day:
      return first.year() == last.year() && first.month() == last.month() && chart.buckets.size() > 1
                 ? std::to_string(unsigned{b.first.day()})
                 : DayMonth(b.first);
    case BucketSize::Week:
      return DayMonth(b.first);
    case BucketSize::Month:
      return first.year() == last.year() ? ShortMonth(b.first)
                                         : ShortMonth(b.first) + "-" + std::to_string(int{b.first.year()});
    case BucketSize::Year:
      break;
  }
  return std::to_string(int{b.first.year()});
}

std::string BucketCaption(const Chart& chart, std::size_t index) {
  const Bucket& b = chart.buckets.at(index);
  switch (chart.size) {
    case BucketSize::Day:
      return DayMonthYear(b.first);
    case BucketSize::Week:
      return DayMonthYear(b.first) + " - " + DayMonthYear(b.last);
    case BucketSize::Month:
      return std::string(MonthNames[unsigned{b.first.month()} - 1]) + " " + std::to_string(int{b.first.year()}) +
             " года";
    case BucketSize::Year:
      break;
  }
  return std::to_string(int{b.first.year()}) + " год";
}

std::string BucketHoverText(const Chart& chart, std::size_t index) {
  const Bucket& b = chart.buckets.at(index);
  std::string text = BucketCaption(chart, index);
  if (b.trips == 0) return text + "\nМаршрутов нет";
  Figures f;
  f.trips = b.trips;
  f.distance = b.distance;
  f.fuel = b.fuel;
  f.consumption = trips::AverageConsumption(b.fuel, b.distance);
  const FigureTexts t = Texts(f);
  return text + "\nМаршрутов: " + t.trips + "\nПуть: " + t.totalWay + "\nТопливо: " + t.totalFuel +
         "\nРасход: " + t.averFuel;
}

std::string BucketAxisTitle(BucketSize size) {
  switch (size) {
    case BucketSize::Day:
      return "Дни";
    case BucketSize::Week:
      return "Недели";
    case BucketSize::Month:
      return "Месяцы";
    case BucketSize::Year:
      break;
  }
  return "Годы";
}

}  // namespace riventar::stats
