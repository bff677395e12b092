#include "cli/output.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <iostream>

#include "base/posix/errno_text.h"
#include "cli/exit_status.h"
#include "core/logbook/json_text.h"
#include "core/trips/trip_text.h"

namespace riventar::cli {
namespace {

// Characters, not bytes: continuation bytes do not count.
std::size_t Width(std::string_view utf8) {
  return static_cast<std::size_t>(
      std::count_if(utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xc0) != 0x80; }));
}

}  // namespace

std::string Printable(std::string_view text) {
  static constexpr std::string_view Replacement = "\xEF\xBF\xBD";
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto u = static_cast<unsigned char>(text[i]);
    if (u < 0x80) {
      const bool shown =
          u >= 0x20 ? u != 0x7f : u == '\n' || u == '\t' || (u == '\r' && i + 1 < text.size() && text[i + 1] == '\n');
      if (shown)
        out += text[i];
      else
        out += Replacement;
      ++i;
      continue;
    }
    // One UTF-8 sequence, shortest form, no surrogate: its length, or 0.
    const std::size_t length = u >= 0xc2 && u <= 0xdf ? 2 : u >= 0xe0 && u <= 0xef ? 3 : u >= 0xf0 && u <= 0xf4 ? 4 : 0;
    bool valid = length > 0 && i + length <= text.size();
    std::uint32_t code = length == 2 ? u & 0x1f : length == 3 ? u & 0x0f : u & 0x07;
    for (std::size_t k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      valid = (next & 0xc0) == 0x80;
      code = (code << 6) | (next & 0x3f);
    }
    valid = valid && !(length == 3 && code < 0x800) && !(length == 4 && (code < 0x10000 || code > 0x10ffff)) &&
            !(code >= 0xd800 && code <= 0xdfff) && !(code >= 0x80 && code <= 0x9f);
    if (valid) {
      out.append(text.substr(i, length));
      i += length;
    } else {
      out += Replacement;
      ++i;
    }
  }
  return out;
}

std::string ForStandardOutput(std::string_view bytes) {
  return ::isatty(STDOUT_FILENO) == 1 ? Printable(bytes) : std::string(bytes);
}

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

namespace {

// A cell on one line, shown and not obeyed.
std::string Cell(std::string_view text) {
  std::string cell = Printable(text);
  std::replace_if(
      cell.begin(), cell.end(), [](char c) { return c == '\n' || c == '\t' || c == '\r'; }, ' ');
  return cell;
}

}  // namespace

std::string AlignedTable(const std::vector<std::vector<std::string>>& rows) {
  std::vector<std::size_t> widths;
  for (const auto& row : rows) {
    widths.resize(std::max(widths.size(), row.size()));
    for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], Width(Cell(row[c])));
  }
  std::string out;
  for (const auto& row : rows) {
    std::vector<std::string> cells;
    for (const std::string& cell : row) cells.push_back(Cell(cell));
    std::string line;
    for (std::size_t c = 0; c < row.size(); ++c) {
      if (c > 0) line += "  ";
      line += cells[c];
      if (c + 1 < row.size()) line.append(widths[c] - Width(cells[c]), ' ');
    }
    out += line + "\n";
  }
  return out;
}

std::string VehicleWords(const trips::VehicleInfo& vehicle) {
  if (logbook::PlateKey(vehicle.RegId).empty()) return "unassigned";
  return vehicle.Model.empty() ? vehicle.RegId : vehicle.Model + " " + vehicle.RegId;
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
