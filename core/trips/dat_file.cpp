#include "core/trips/dat_file.h"

#include <algorithm>
#include <unordered_set>

#include "base/text/cp1251.h"
#include "core/link/hex.h"
#include "core/trips/trip_text.h"

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

VehicleInfo ParseDatVehicle(std::string_view bytes) {
  VehicleInfo vehicle;
  std::size_t pos = 0;
  vehicle.Model = HeaderLine(bytes, pos);
  vehicle.RegId = HeaderLine(bytes, pos);
  vehicle.Owner = HeaderLine(bytes, pos);
  return vehicle;
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

namespace {

void AppendHex(std::string& out, std::uint32_t value, int digits) {
  static constexpr char Hex[] = "0123456789abcdef";
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) out += Hex[(value >> shift) & 0xf];
}

void AppendTripLine(std::string& out, const TripRecord& r) {
  AppendHex(out, r.Year, 2);
  AppendHex(out, static_cast<std::uint8_t>(r.Month + 1), 2);
  AppendHex(out, static_cast<std::uint8_t>(r.Weekday + 1), 2);
  AppendHex(out, r.Day, 2);
  AppendHex(out, r.Hour, 2);
  AppendHex(out, r.Minute, 2);
  AppendHex(out, r.TripTime, 8);
  AppendHex(out, r.MovingTime, 8);
  AppendHex(out, r.Distance, 8);
  AppendHex(out, r.Fuel, 8);
  out += "\r\n";
}

}  // namespace

std::string TripLine(const TripRecord& r) {
  std::string line;
  line.reserve(TripLineSize);
  AppendTripLine(line, r);
  return line;
}

std::string SerializeDatFile(const VehicleInfo& vehicle, const TripList& trips) {
  std::string out;
  out.reserve(std::size_t{3} * 54 + trips.size() * TripLineSize);
  for (const std::string* header : {&vehicle.Model, &vehicle.RegId, &vehicle.Owner}) {
    // A line break inside a header would shift every line after it.
    std::string line = text::ToCp1251(*header);
    std::replace_if(
        line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    out += line;
    out += "\r\n";
  }
  for (const TripRecord& r : trips) AppendTripLine(out, r);
  return out;
}

AppendedLines LinesToAppend(std::string_view file, const TripList& trips) {
  std::size_t pos = 0;
  for (int header = 0; header < 3; ++header) HeaderLine(file, pos);
  // Compared as written back: a line of the file in another spelling of the
  // same record counts as there.
  std::unordered_set<std::string> there;
  for (; pos + TripLineSize <= file.size(); pos += TripLineSize)
    there.insert(TripLine(ParseTripLine(file.substr(pos, TripLineSize))));
  AppendedLines out;
  for (const TripRecord& r : trips) {
    std::string line = TripLine(r);
    if (!there.insert(line).second) {
      ++out.present;
      continue;
    }
    out.bytes += line;
    ++out.count;
  }
  return out;
}

std::string SerializeCsv(const TripList& trips) {
  // Built directly in Windows-1251: the only non-ASCII texts are the headings
  // and the date names, converted once.
  std::string out;
  out.reserve((trips.size() + 1) * 72);
  const auto endLine = [&out](std::size_t start) {
    // Decimal comma for the spreadsheet; nothing else is changed or quoted.
    std::replace(out.begin() + static_cast<std::ptrdiff_t>(start), out.end(), '.', ',');
    out += "\r\n";
  };
  for (int c = 0; c < TableColumns; ++c) {
    if (c > 0) out += ';';
    out += text::ToCp1251(TableHeadings[static_cast<std::size_t>(c)]);
  }
  endLine(0);
  const CellNames& names = Cp1251Names();
  for (std::size_t i = 0; i < trips.size(); ++i) {
    const std::size_t start = out.size();
    for (int c = 0; c < TableColumns; ++c) {
      if (c > 0) out += ';';
      AppendCellText(out, trips[i], i + 1, c, names);
    }
    endLine(start);
  }
  return out;
}

}  // namespace riventar::trips
