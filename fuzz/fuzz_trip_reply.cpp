// The trip decoder on arbitrary "$TR" replies in a 100-byte buffer: the
// fields come from their positions, a trip is kept only from a whole line and
// within the device's bounds, its derived values follow the rules, and every table cell (the
// screen and the export) can be formatted from it.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

#include "core/link/hex.h"
#include "core/trips/trip_record.h"
#include "core/trips/trip_text.h"
#include "fuzz/check.h"
#include "fuzz/reply_buffer.h"

using namespace riventar;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const link::Reply buffer = fuzz::ReplyBuffer(data, size);
  const std::string_view reply = link::View(buffer);

  const trips::TripRecord raw = trips::DecodeTripReply(reply);
  const std::uint8_t monthWeekday = link::HexToByte(reply, 7);
  FUZZ_CHECK(raw.Year == link::HexToByte(reply, 5));
  FUZZ_CHECK(raw.Month == static_cast<std::uint8_t>((monthWeekday & 0xf) - 1));
  FUZZ_CHECK(raw.Weekday == static_cast<std::uint8_t>((monthWeekday >> 4) - 1));
  FUZZ_CHECK(raw.Day == link::HexToByte(reply, 9));
  FUZZ_CHECK(raw.Minute == link::HexToByte(reply, 13));
  FUZZ_CHECK(raw.TripTime == link::HexToDword(reply, 15));
  FUZZ_CHECK(raw.Fuel == link::HexToDword(reply, 39));

  const auto trip = trips::TripFromReply(reply);
  const bool inBounds = raw.TripTime >= 1 && raw.TripTime <= 360010 && raw.MovingTime >= 1 &&
                        raw.MovingTime <= 360010 && raw.Distance >= 6 && raw.Distance <= 60000010 && raw.Fuel >= 16 &&
                        raw.Fuel <= 160000010;
  // Only a whole line counts, however long the buffer behind its CR.
  const std::string_view line = reply.substr(0, reply.find('\r'));
  bool whole = line.size() == 47;
  for (std::size_t i = 5; whole && i < line.size(); ++i)
    whole = std::isxdigit(static_cast<unsigned char>(line[i])) != 0;
  FUZZ_CHECK(trip.has_value() == (whole && inBounds));
  if (!trip) return 0;

  trips::TripRecord expected = raw;
  expected.AvgSpeed = raw.Distance / raw.MovingTime * 6;
  const std::uint64_t consumption = std::uint64_t{raw.Fuel / 16} * 1000 / (raw.Distance / 6);
  expected.Consumption = static_cast<std::uint32_t>(consumption > std::numeric_limits<std::uint32_t>::max()
                                                        ? std::numeric_limits<std::uint32_t>::max()
                                                        : consumption);
  FUZZ_CHECK(*trip == expected);
  FUZZ_CHECK(trip->AvgSpeed % 6 == 0);

  // Damaged month and weekday halves must not read outside the name tables.
  std::string cells;
  for (int column = 0; column < trips::TableColumns; ++column) {
    FUZZ_CHECK(!trips::CellText(*trip, 255, column).empty());
    trips::AppendCellText(cells, *trip, 255, column, trips::Cp1251Names());
  }
  FUZZ_CHECK(cells.find('\r') == std::string::npos && cells.find(';') == std::string::npos);
  return 0;
}
