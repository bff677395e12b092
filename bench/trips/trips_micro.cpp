// The data-file and export formats over a long history of trips.
#include <benchmark/benchmark.h>

#include "core/trips/dat_file.h"

namespace {

using namespace riventar::trips;

TripList History(std::size_t n) {
  TripList trips(n);
  for (std::size_t i = 0; i < n; ++i) {
    TripRecord& r = trips[i];
    r.Year = static_cast<std::uint8_t>(5 + i / 4000);
    r.Month = static_cast<std::uint8_t>(i / 330 % 12);
    r.Weekday = static_cast<std::uint8_t>(i % 7);
    r.Day = static_cast<std::uint8_t>(1 + i % 28);
    r.Hour = static_cast<std::uint8_t>(i % 24);
    r.Minute = static_cast<std::uint8_t>(i % 60);
    r.TripTime = 600 + static_cast<std::uint32_t>(i % 5000);
    r.MovingTime = 500 + static_cast<std::uint32_t>(i % 4000);
    r.Distance = 6000 + static_cast<std::uint32_t>(i * 37 % 300000);
    r.Fuel = 1600 + static_cast<std::uint32_t>(i * 11 % 80000);
    Derive(r);
  }
  return trips;
}

const VehicleInfo Vehicle{"ВАЗ-2110", "А123ВС 77", "Иванов Иван Иванович"};

void Parse(benchmark::State& state) {
  const std::string bytes = SerializeDatFile(Vehicle, History(static_cast<std::size_t>(state.range(0))));
  for (auto _ : state) benchmark::DoNotOptimize(ParseDatFile(bytes));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void Serialize(benchmark::State& state) {
  const TripList trips = History(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(SerializeDatFile(Vehicle, trips));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void Export(benchmark::State& state) {
  const TripList trips = History(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(SerializeCsv(trips));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK(Parse)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(Serialize)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(Export)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
