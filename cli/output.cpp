#include "cli/output.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <iostream>

#include "cli/exit_status.h"
#include "core/logbook/json_text.h"
#include "core/trips/trip_text.h"
#include "platform/posix/errno_text.h"

namespace riventar::cli {
namespace {

// Characters, not bytes: continuation bytes do not count.
std::size_t Width(std::string_view utf8) {
  return static_cast<std::size_t>(
      std::count_if(utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xc0) != 0x80; }));
}

}  // namespace

std::string Echoed(std::string_view utf8) {
  constexpr std::size_t Limit = 40;
  if (Width(utf8) <= Limit) return "'" + std::string(utf8) + "'";
  std::size_t characters = 0, end = 0;
  // Cut before the first byte of character Limit, never inside one.
  while (end < utf8.size()) {
    if ((static_cast<unsigned char>(utf8[end]) & 0xc0) != 0x80 && characters++ == Limit - 1) break;
    ++end;
  }
  return "'" + std::string(utf8.substr(0, end)) + "…'";
}

void FlushStandardOutput() {
  errno = 0;
  std::cout.flush();
  const bool lost = !std::cout || std::fflush(stdout) != 0 || std::ferror(stdout);
  const int error = errno;
  if (lost) {
    throw Failure{ExitStatus::FileIo,
                  "cannot write to standard output" + (error != 0 ? ": " + posix::ErrnoText(error) : std::string())};
  }
}

std::string JsonString(std::string_view utf8) { return logbook::JsonString(utf8); }

std::string JsonNumber(std::uint64_t value, std::uint64_t scale, int decimals) {
  return logbook::JsonNumber(value, scale, decimals);
}

std::string AlignedTable(const std::vector<std::vector<std::string>>& rows) {
  std::vector<std::size_t> widths;
  for (const auto& row : rows) {
    widths.resize(std::max(widths.size(), row.size()));
    for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], Width(row[c]));
  }
  std::string out;
  for (const auto& row : rows) {
    std::string line;
    for (std::size_t c = 0; c < row.size(); ++c) {
      if (c > 0) line += "  ";
      line += row[c];
      if (c + 1 < row.size()) line.append(widths[c] - Width(row[c]), ' ');
    }
    out += line + "\n";
  }
  return out;
}

std::string TripTable(const trips::TripList& trips) {
  std::vector<std::vector<std::string>> rows;
  rows.emplace_back(trips::TableHeadings.begin(), trips::TableHeadings.end());
  for (std::size_t i = 0; i < trips.size(); ++i) {
    std::vector<std::string> row;
    for (int column = 0; column < trips::TableColumns; ++column)
      row.push_back(trips::CellText(trips[i], i + 1, column));
    rows.push_back(std::move(row));
  }
  return AlignedTable(rows);
}

std::string TripsJson(const trips::TripList& trips) { return logbook::TripsJson(trips); }

}  // namespace riventar::cli
