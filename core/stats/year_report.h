#pragma once
// A year's report: per month and for the year, the trips, distance, fuel,
// consumption and time of one vehicle or of all together, split by the trips'
// purposes. Everything is summed in the device's units and shown only at the
// end, by the rules of figures.h, so a total is never a sum of truncated texts.
//
// Texts are UTF-8, but the CSV's bytes.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/trips/trip_record.h"

namespace riventar::stats {

// How the report names what has no name of its own.
inline constexpr std::string_view NoPurposeName = "не указана";  // a trip without a purpose
inline constexpr std::string_view AllPurposesName = "все";       // every purpose together
inline constexpr std::string_view AllVehiclesName = "все";       // every vehicle together

struct YearSums {
  std::uint64_t trips = 0;
  std::uint64_t tripTime = 0;    // seconds
  std::uint64_t movingTime = 0;  // seconds
  std::uint64_t distance = 0;    // 1/6000 km
  std::uint64_t fuel = 0;        // 1/16000 l

  void Add(const trips::TripRecord& r);
  void Add(const YearSums& s);
  // 0.1 l/100 km of the sums, by the single trip's rule (trips::AverageConsumption).
  std::uint64_t Consumption() const;

  friend bool operator==(const YearSums&, const YearSums&) = default;
};

using MonthSums = std::array<YearSums, 12>;  // [0] is January

struct PurposeYear {
  std::string purpose;  // empty: not given (NoPurposeName)
  MonthSums months;
  YearSums total;
};

struct VehicleYear {
  std::string vehicle;  // as the caller named it; AllVehiclesName for all together
  MonthSums months;
  YearSums total;
  // Those with a trip in the year, by name in byte order, the unnamed one last.
  std::vector<PurposeYear> purposes;
};

// One vehicle's trips in any order. Trip i's purpose is purposes[i]; an empty
// one, or one past the end of `purposes`, is not given.
struct VehicleTrips {
  std::string vehicle;  // its registration as shown
  trips::TripList trips;
  std::vector<std::string> purposes;
};

struct YearReport {
  int year = 0;
  bool allVehicles = false;
  // Each vehicle given, in the given order, with trips in the year or not.
  std::vector<VehicleYear> vehicles;
  // All of them together: the totals. One vehicle asked for: that one.
  VehicleYear total;
  // Trips dated in the year whose month is no month (a damaged file can hold
  // one): in no month, so left out of every sum.
  std::uint64_t undated = 0;
};

// Trips outside `year` (2000..2255, as the device counts years) are left
// out; a year without trips gives twelve empty months. `allVehicles` names
// the totals AllVehiclesName, else the one vehicle's name.
YearReport MakeYearReport(const std::vector<VehicleTrips>& vehicles, int year, bool allVehicles);

// "YYYY-MM" of month 1..12, "YYYY" for the year.
std::string MonthPeriod(int year, int month);
std::string YearPeriod(int year);
// The purpose as shown: NoPurposeName for an empty one.
std::string_view PurposeText(std::string_view purpose);

// The texts of one row's figures, by the rules of figures.h: trips, km, l,
// l/100 km, time on the trips, time in motion.
inline constexpr int YearFigureCount = 6;
std::array<std::string, YearFigureCount> FigureCells(const YearSums& s);

// One line of the report as the CSV lists it.
struct YearReportLine {
  std::string period;   // MonthPeriod or YearPeriod
  std::string vehicle;  // a registration, or AllVehiclesName
  std::string purpose;  // PurposeText, or AllPurposesName
  YearSums sums;
};
// Block by block (each vehicle when all are asked for, then the totals; the
// one vehicle otherwise): each month, then the year; each period's line of
// all purposes first, then one a purpose with trips in it. The last block's
// year line of all purposes is the report's totals row.
std::vector<YearReportLine> Lines(const YearReport& report);

// The report as a spreadsheet reads it, in the conventions of the trip
// table's export (trips::SerializeCsv): Windows-1251, fields joined by ";",
// lines ended by CR LF, a heading row first, numbers with a decimal comma.
// Periods are ISO ("2024-03", the year's rows "2024"). A vehicle or purpose
// (the only free texts) is put in double quotes, any inner one doubled, when
// it holds ";", a quote, CR or LF; a character Windows-1251 lacks becomes "?";
// one that starts with "=", "+", "-" or "@" gets a leading "'", so that a
// spreadsheet shows it and never runs it as a formula.
std::string SerializeYearCsv(const YearReport& report);

}  // namespace riventar::stats
