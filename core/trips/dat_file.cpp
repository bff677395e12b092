#include "core/trips/dat_file.h"

#include <algorithm>
#include <cstdio>

#include "core/link/hex.h"
#include "core/trips/trip_text.h"
#include "platform/text/cp1251.h"

namespace riventar::trips {

using link::HexToByte;
using link::HexToDword;

namespace {

// Reads one header line from `pos`: up to and including LF, or to the end.
std::string HeaderLine(std::string_view bytes, std::size_t& pos) {
  const std::size_t lf = bytes.find('\n', pos);
  const std::size_t end = lf == std::string_view::npos ? bytes.size() : lf + 1;
  const std::size_t length = end - pos;
  const std::string_view text = length > 2 ? bytes.substr(pos, length - 2) : std::string_view{};
  pos = end;
  return text::FromCp1251(text);
}

}  // namespace

std::variant<DatContents, DatProblem> ParseDatFile(std::string_view bytes) {
  DatContents contents;
  std::size_t pos = 0;
  contents.Vehicle.Model = HeaderLine(bytes, pos);
  contents.Vehicle.RegId = HeaderLine(bytes, pos);
  contents.Vehicle.Owner = HeaderLine(bytes, pos);
  const std::size_t rest = bytes.size() - pos;
  if (rest % TripLineSize != 0) return DatProblem::WrongFormat;
  if (rest == 0) return DatProblem::NoTrips;
  contents.TripLines = rest / TripLineSize;
  contents.Trips.reserve(contents.TripLines);
  for (; pos < bytes.size(); pos += TripLineSize) {
    TripRecord r = ParseTripLine(bytes.substr(pos, TripLineSize));
    if (!AcceptedFromFile(r)) continue;
    Derive(r);
    contents.Trips.push_back(r);
  }
  return contents;
}

TripRecord ParseTripLine(std::string_view line) {
  TripRecord r;
  r.Year = HexToByte(line, 0);
  r.Month = static_cast<std::uint8_t>(HexToByte(line, 2) - 1);
  r.Weekday = static_cast<std::uint8_t>(HexToByte(line, 4) - 1);
  r.Day = HexToByte(line, 6);
  r.Hour = HexToByte(line, 8);
  r.Minute = HexToByte(line, 10);
  r.TripTime = HexToDword(line, 12);
  r.MovingTime = HexToDword(line, 20);
  r.Distance = HexToDword(line, 28);
  r.Fuel = HexToDword(line, 36);
  return r;
}

std::string TripLine(const TripRecord& r) {
  char line[TripLineSize + 1];
  std::snprintf(line, sizeof line, "%2.2x%2.2x%2.2x%2.2x%2.2x%2.2x%8.8x%8.8x%8.8x%8.8x\r\n", unsigned{r.Year},
                unsigned{static_cast<std::uint8_t>(r.Month + 1)}, unsigned{static_cast<std::uint8_t>(r.Weekday + 1)},
                unsigned{r.Day}, unsigned{r.Hour}, unsigned{r.Minute}, unsigned{r.TripTime}, unsigned{r.MovingTime},
                unsigned{r.Distance}, unsigned{r.Fuel});
  return std::string(line, TripLineSize);
}

std::string SerializeDatFile(const VehicleInfo& vehicle, const TripList& trips) {
  std::string out;
  out.reserve(3 * 54 + trips.size() * TripLineSize);
  for (const std::string* header : {&vehicle.Model, &vehicle.RegId, &vehicle.Owner}) {
    // A line break inside a header would shift every line after it.
    std::string line = text::ToCp1251(*header);
    std::replace_if(line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    out += line;
    out += "\r\n";
  }
  for (const TripRecord& r : trips) out += TripLine(r);
  return out;
}

std::string SerializeCsv(const TripList& trips) {
  std::string utf8;
  utf8.reserve((trips.size() + 1) * 64);
  const auto appendLine = [&utf8](auto cellText) {
    const std::size_t start = utf8.size();
    for (int c = 0; c < TableColumns; ++c) {
      if (c > 0) utf8 += ';';
      utf8 += cellText(c);
    }
    // Decimal comma for the spreadsheet; nothing else is changed or quoted.
    std::replace(utf8.begin() + static_cast<std::ptrdiff_t>(start), utf8.end(), '.', ',');
    utf8 += "\r\n";
  };
  appendLine([](int c) { return std::string(TableHeadings[static_cast<std::size_t>(c)]); });
  for (std::size_t i = 0; i < trips.size(); ++i)
    appendLine([&](int c) { return CellText(trips[i], i + 1, c); });
  return text::ToCp1251(utf8);
}

}  // namespace riventar::trips
