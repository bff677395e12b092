#pragma once
// The trip data file (".dat") and the spreadsheet export (".csv").
//
// Data file: three Windows-1251 header lines (model, registration number,
// owner), each ended by CR LF, then one 46-byte line per trip: ten lower-case
// hexadecimal fields and CR LF. No magic, no count, no trailer.
#include <cstddef>
#include <string>
#include <string_view>
#include <variant>

#include "core/trips/trip_record.h"

namespace riventar::trips {

inline constexpr std::size_t TripLineSize = 46;

struct VehicleInfo {  // UTF-8
  std::string Model;
  std::string RegId;
  std::string Owner;
  friend bool operator==(const VehicleInfo&, const VehicleInfo&) = default;
};

struct DatContents {
  VehicleInfo Vehicle;
  TripList Trips;             // accepted trips only, derived values filled
  std::size_t TripLines = 0;  // lines in the file, rejected ones included
};

enum class DatProblem {
  WrongFormat,  // the part after the header is not a whole number of trip lines
  NoTrips,      // nothing after the header (also: fewer than three lines)
};

// A trip line is 46 bytes and CR LF: no trip file comes near this (over a
// million trips). A larger file is refused as one of another format before
// it is read into memory.
inline constexpr std::size_t MaxDatFileBytes = std::size_t{64} << 20;

// Parses a whole file. A header line is read up to and including its LF; its
// text is what it holds less its last two bytes (taken to be CR LF), however
// long it is. Trip lines are decoded with the same hexadecimal rules as device
// replies and accepted by AcceptedFromFile.
std::variant<DatContents, DatProblem> ParseDatFile(std::string_view bytes);
// The vehicle lines alone, read as ParseDatFile reads them, whatever follows.
VehicleInfo ParseDatVehicle(std::string_view bytes);

// One trip line: "%2.2x" Year, Month + 1, Weekday + 1, Day, Hour, Minute,
// then "%8.8x" TripTime, MovingTime, Distance, Fuel, then CR LF. Month and
// weekday wrap within a byte, so a damaged record still writes 46 bytes and
// reads back the same.
std::string TripLine(const TripRecord& r);
TripRecord ParseTripLine(std::string_view line);

// A CR or LF inside a header text is written as a blank.
std::string SerializeDatFile(const VehicleInfo& vehicle, const TripList& trips);

// What appending `trips` to a ".dat" file adds: the lines of those the file
// holds no line of yet (a line read as the same record, whether or not the
// window would show it), each once, in order. Appending the same trips again
// adds nothing. `file` is the file's bytes: its three vehicle lines, then
// trip lines as ParseDatFile reads them.
struct AppendedLines {
  std::string bytes;
  std::size_t count = 0;    // trips whose line is in `bytes`
  std::size_t present = 0;  // trips left out, being there already
};
AppendedLines LinesToAppend(std::string_view file, const TripList& trips);

// The table as the user sees it, heading row first, fields joined by ";",
// every "." turned into ",", lines ended by CR LF; Windows-1251.
std::string SerializeCsv(const TripList& trips);

}  // namespace riventar::trips
