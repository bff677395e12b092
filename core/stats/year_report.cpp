#include "core/stats/year_report.h"

#include <algorithm>
#include <map>

#include "base/text/cp1251.h"
#include "core/stats/figures.h"

namespace riventar::stats {

void YearSums::Add(const trips::TripRecord& r) {
  ++trips;
  tripTime += r.TripTime;
  movingTime += r.MovingTime;
  distance += r.Distance;
  fuel += r.Fuel;
}

void YearSums::Add(const YearSums& s) {
  trips += s.trips;
  tripTime += s.tripTime;
  movingTime += s.movingTime;
  distance += s.distance;
  fuel += s.fuel;
}

std::uint64_t YearSums::Consumption() const { return trips::AverageConsumption(fuel, distance); }

namespace {

// Purposes by name, the unnamed (empty) one last.
struct PurposeOrder {
  bool operator()(const std::string& a, const std::string& b) const {
    if (a.empty() != b.empty()) return b.empty();
    return a < b;
  }
};

struct Accumulator {
  MonthSums months;
  std::map<std::string, MonthSums, PurposeOrder> purposes;

  VehicleYear Finish(std::string vehicle) const {
    VehicleYear out;
    out.vehicle = std::move(vehicle);
    out.months = months;
    for (const YearSums& m : months) out.total.Add(m);
    for (const auto& [purpose, sums] : purposes) {
      PurposeYear p{purpose, sums, {}};
      for (const YearSums& m : sums) p.total.Add(m);
      out.purposes.push_back(std::move(p));
    }
    return out;
  }
};

void Merge(Accumulator& into, const Accumulator& from) {
  for (std::size_t m = 0; m < 12; ++m) into.months[m].Add(from.months[m]);
  for (const auto& [purpose, sums] : from.purposes) {
    MonthSums& target = into.purposes[purpose];
    for (std::size_t m = 0; m < 12; ++m) target[m].Add(sums[m]);
  }
}

}  // namespace

YearReport MakeYearReport(const std::vector<VehicleTrips>& vehicles, int year, bool allVehicles) {
  YearReport report;
  report.year = year;
  report.allVehicles = allVehicles;
  // A year the device cannot date matches no trip.
  const bool dated = year >= 2000 && year <= 2255;
  const auto deviceYear = static_cast<std::uint8_t>(dated ? year - 2000 : 0);
  static const std::string noPurpose;
  Accumulator all;
  for (const VehicleTrips& v : vehicles) {
    Accumulator one;
    for (std::size_t i = 0; i < v.trips.size(); ++i) {
      const trips::TripRecord& r = v.trips[i];
      if (!dated || r.Year != deviceYear) continue;
      if (r.Month > 11) {
        ++report.undated;
        continue;
      }
      one.months[r.Month].Add(r);
      const std::string& purpose = i < v.purposes.size() ? v.purposes[i] : noPurpose;
      one.purposes[purpose][r.Month].Add(r);
    }
    Merge(all, one);
    report.vehicles.push_back(one.Finish(v.vehicle));
  }
  report.total = all.Finish(allVehicles || vehicles.empty() ? std::string(AllVehiclesName) : vehicles.front().vehicle);
  return report;
}

namespace {

std::string TwoDigits(int n) {
  return std::string(1, static_cast<char>('0' + n / 10)) + static_cast<char>('0' + n % 10);
}

}  // namespace

std::string MonthPeriod(int year, int month) { return YearPeriod(year) + "-" + TwoDigits(month); }

std::string YearPeriod(int year) { return std::to_string(year); }

std::string_view PurposeText(std::string_view purpose) { return purpose.empty() ? NoPurposeName : purpose; }

std::array<std::string, YearFigureCount> FigureCells(const YearSums& s) {
  return {std::to_string(s.trips),     KilometresText(s.distance), LitresText(s.fuel),
          TenthsText(s.Consumption()), DurationText(s.tripTime),   DurationText(s.movingTime)};
}

namespace {

void AddBlock(std::vector<YearReportLine>& lines, int year, const VehicleYear& v) {
  const auto period = [&](std::size_t m) {
    return m < 12 ? MonthPeriod(year, static_cast<int>(m) + 1) : YearPeriod(year);
  };
  for (std::size_t m = 0; m <= 12; ++m) {
    lines.push_back({period(m), v.vehicle, std::string(AllPurposesName), m < 12 ? v.months[m] : v.total});
    for (const PurposeYear& p : v.purposes) {
      const YearSums& sums = m < 12 ? p.months[m] : p.total;
      if (sums.trips > 0) lines.push_back({period(m), v.vehicle, std::string(PurposeText(p.purpose)), sums});
    }
  }
}

}  // namespace

std::vector<YearReportLine> Lines(const YearReport& report) {
  std::vector<YearReportLine> lines;
  if (report.allVehicles) {
    for (const VehicleYear& v : report.vehicles) AddBlock(lines, report.year, v);
  }
  AddBlock(lines, report.year, report.total);
  return lines;
}

namespace {

inline constexpr std::array<std::string_view, 3 + YearFigureCount> CsvHeadings = {
    "Период",     "Автомобиль",      "Назначение",         "Маршрутов",       "Путь, км",
    "Топливо, л", "Расход, л/100км", "Время на маршрутах", "Время в движении"};

void AppendText(std::string& out, std::string_view utf8) {
  std::string bytes = text::ToCp1251(utf8);
  // A spreadsheet would run a text that starts like a formula; a leading
  // apostrophe keeps it a text (a registration or purpose never starts so).
  if (!bytes.empty() && std::string_view("=+-@").find(bytes.front()) != std::string_view::npos) bytes.insert(0, "'");
  if (bytes.find_first_of(";\"\r\n") == std::string::npos) {
    out += bytes;
    return;
  }
  out += '"';
  for (const char c : bytes) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

// Decimal comma for the spreadsheet, in a number only.
void AppendNumber(std::string& out, std::string number) {
  std::replace(number.begin(), number.end(), '.', ',');
  out += number;
}

}  // namespace

std::string SerializeYearCsv(const YearReport& report) {
  const std::vector<YearReportLine> lines = Lines(report);
  std::string out;
  out.reserve((lines.size() + 1) * 96);
  for (std::size_t c = 0; c < CsvHeadings.size(); ++c) {
    if (c > 0) out += ';';
    AppendText(out, CsvHeadings[c]);
  }
  out += "\r\n";
  for (const YearReportLine& line : lines) {
    out += line.period;
    out += ';';
    AppendText(out, line.vehicle);
    out += ';';
    AppendText(out, line.purpose);
    for (std::string& cell : FigureCells(line.sums)) {
      out += ';';
      AppendNumber(out, std::move(cell));
    }
    out += "\r\n";
  }
  return out;
}

}  // namespace riventar::stats
