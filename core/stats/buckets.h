#pragma once
// A period's trips split into consecutive calendar buckets (days, weeks,
// months or years) for the chart of that period. Sums use the trip record's
// units and 64 bits, like Figures.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/stats/period.h"
#include "core/trips/trip_record.h"

namespace riventar::stats {

enum class BucketSize { Day, Week, Month, Year };

// Days for a day, week or month; weeks (from Monday) for a season; months for
// a year or the whole list, years once the period touches more than 36 months.
BucketSize BucketSizeFor(PeriodKind kind, const Period& period);

struct Bucket {
  Date first;  // inclusive; the calendar bucket cut to the period
  Date last;   // inclusive
  std::uint64_t trips = 0;
  std::uint64_t distance = 0;  // 1/6000 km
  std::uint64_t fuel = 0;      // 1/16000 l

  friend bool operator==(const Bucket&, const Bucket&) = default;
};

double Kilometres(const Bucket& b);
double Litres(const Bucket& b);
// l/100 km from the bucket's own sums; nothing for a bucket without distance,
// so that an empty bucket leaves a gap rather than a zero.
std::optional<double> Consumption(const Bucket& b);

// Every bucket from the period's start to its end, empty ones included, in
// one pass over `trips`; none when the period ends before it starts. Throws
// InvalidTripDate for any entry whose date is no calendar date, as Compute does.
std::vector<Bucket> MakeBuckets(const trips::TripList& trips, const Period& period, BucketSize size);

struct Chart {
  std::string caption;  // the period's caption
  BucketSize size = BucketSize::Day;
  std::vector<Bucket> buckets;
};
Chart ChartFor(const trips::TripList& trips, const Period& period, PeriodKind kind);

// The category under a bar: "5" (a day of a period inside one month) or
// "5-ОКТ", "3-ОКТ" for the week from 3 October, "ОКТ" or "ОКТ-2005" when the
// months span more than one year, "2005".
std::string BucketLabel(const Chart& chart, std::size_t index);
// The hover text's first line: "5-ОКТ-2005", "3-ОКТ-2005 - 9-ОКТ-2005",
// "Октябрь 2005 года", "2005 год".
std::string BucketCaption(const Chart& chart, std::size_t index);
// The hover text: the caption, then the trips, distance, fuel and consumption
// as the statistics window writes them; an empty bucket says it has no trips.
std::string BucketHoverText(const Chart& chart, std::size_t index);
// "Дни", "Недели", "Месяцы", "Годы": the category axis's title.
std::string BucketAxisTitle(BucketSize size);

}  // namespace riventar::stats
