#pragma once
// What the commands print: aligned text tables and JSON. UTF-8.
#include <string>
#include <string_view>
#include <vector>

#include "core/trips/trip_record.h"

namespace riventar::cli {

// A value as typed, quoted, for a message: at most 40 characters of it.
std::string Echoed(std::string_view utf8);

// Flushes standard output; throws Failure (FileIo) when anything written to
// it is lost (a full disk, a closed pipe's reader).
void FlushStandardOutput();

// A JSON string literal, quotes included.
std::string JsonString(std::string_view utf8);
// A fixed-point JSON number: `value` / `scale`, `decimals` places.
std::string JsonNumber(std::uint64_t value, std::uint64_t scale, int decimals);

// Rows of cells, each column as wide as its widest cell, two blanks apart.
std::string AlignedTable(const std::vector<std::vector<std::string>>& rows);

// The trip table as the window shows it: its headings, then one row a trip.
std::string TripTable(const trips::TripList& trips);
// An array of one object a trip (see the manual page).
std::string TripsJson(const trips::TripList& trips);

}  // namespace riventar::cli
