#pragma once
// What the commands print: aligned text tables and JSON. UTF-8.
#include <string>
#include <string_view>
#include <vector>

#include "core/trips/dat_file.h"
#include "core/trips/trip_record.h"

namespace riventar::cli {

// `text` as a terminal may show it without obeying it: every control
// character (C0 but the line feed and the tab, a carriage return but before a
// line feed, DEL, C1) and every byte that is not UTF-8 becomes U+FFFD. Texts
// from a server or a file (a vehicle's model, a database's message) could
// otherwise move the cursor, retitle the window or rewrite the screen.
std::string Printable(std::string_view text);

// Standard output's bytes for a terminal, Printable; for a file or a pipe, as they are.
std::string ForStandardOutput(std::string_view bytes);

// A value as typed, quoted, for a message: at most 40 characters of it.
std::string Echoed(std::string_view utf8);

// Flushes standard output; throws Failure (FileIo) when anything written to
// it is lost (a full disk, a closed pipe's reader).
void FlushStandardOutput();

// A JSON string literal, quotes included.
std::string JsonString(std::string_view utf8);
// A fixed-point JSON number: `value` / `scale`, `decimals` places.
std::string JsonNumber(std::uint64_t value, std::uint64_t scale, int decimals);

// A vehicle in messages: "ВАЗ-2110 А123ВС 77" (model and registration), or
// "unassigned" for the trips filed under none.
std::string VehicleWords(const trips::VehicleInfo& vehicle);

// Rows of cells, each column as wide as its widest cell, two blanks apart.
std::string AlignedTable(const std::vector<std::vector<std::string>>& rows);

// The trip table as the window shows it: its headings, then one row a trip.
std::string TripTable(const trips::TripList& trips);
// An array of one object a trip (see the manual page).
std::string TripsJson(const trips::TripList& trips);

}  // namespace riventar::cli
