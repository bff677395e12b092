#include "core/logbook/logbook.h"

#include <ctime>

namespace riventar::logbook {
namespace {

// One code point from UTF-8 at `pos`, advancing it; nothing, one byte on, for a
// byte that does not start a well-formed sequence.
std::optional<char32_t> NextCodePoint(std::string_view s, std::size_t& pos) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = byte(pos);
  const int length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xe ? 3 : (lead >> 3) == 0x1e ? 4 : 0;
  if (length == 0 || pos + static_cast<std::size_t>(length) > s.size()) return ++pos, std::nullopt;
  // The lead byte's payload: all of an ASCII byte, below the length bits otherwise.
  char32_t c = length == 1 ? lead : lead & (0x7fu >> length);
  for (int i = 1; i < length; ++i) {
    if ((byte(pos + static_cast<std::size_t>(i)) & 0xc0) != 0x80) return ++pos, std::nullopt;
    c = (c << 6) | (byte(pos + static_cast<std::size_t>(i)) & 0x3f);
  }
  pos += static_cast<std::size_t>(length);
  return c;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xc0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3f));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xe0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
    out += static_cast<char>(0x80 | (c & 0x3f));
  } else {
    out += static_cast<char>(0xf0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3f));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
    out += static_cast<char>(0x80 | (c & 0x3f));
  }
}

// Blanks and dashes people put between a plate's groups.
bool Separator(char32_t c) {
  return c == U' ' || c == U'\t' || c == U'\u00a0' || c == U'-' || c == U'\u2010' || c == U'\u2011' || c == U'\u2013';
}

// The Cyrillic capital a Latin capital stands for on a plate, or 0.
char32_t CyrillicLookAlike(char32_t latin) {
  switch (latin) {
    case U'A':
      return U'А';
    case U'B':
      return U'В';
    case U'E':
      return U'Е';
    case U'K':
      return U'К';
    case U'M':
      return U'М';
    case U'H':
      return U'Н';
    case U'O':
      return U'О';
    case U'P':
      return U'Р';
    case U'C':
      return U'С';
    case U'T':
      return U'Т';
    case U'Y':
      return U'У';
    case U'X':
      return U'Х';
    default:
      return 0;
  }
}

char32_t Upper(char32_t c) {
  if (c >= U'a' && c <= U'z') return c - 0x20;
  if (c >= U'а' && c <= U'я') return c - 0x20;
  if (c >= U'ѐ' && c <= U'џ') return c - 0x50;  // ё and the other Cyrillic letters with marks
  return c;
}

}  // namespace

std::string TripKey(const trips::TripRecord& trip) {
  std::string line = trips::TripLine(trip);
  line.resize(trips::TripLineSize - 2);
  return line;
}

std::string DisplayName(const trips::VehicleInfo& vehicle) {
  return PlateKey(vehicle.RegId).empty() ? std::string(UnassignedName) : vehicle.RegId;
}

std::string PlateKey(std::string_view registration) {
  std::string key;
  key.reserve(registration.size() * 2);
  for (std::size_t pos = 0; pos < registration.size();) {
    const std::optional<char32_t> decoded = NextCodePoint(registration, pos);
    if (!decoded) {  // kept as it is: still compares equal to itself
      key += registration[pos - 1];
      continue;
    }
    const char32_t c = Upper(*decoded);
    if (Separator(c)) continue;
    const char32_t cyrillic = CyrillicLookAlike(c);
    AppendUtf8(key, cyrillic != 0 ? cyrillic : c);
  }
  return key;
}

std::int64_t Store::RecordAll(const std::vector<Queued>& batch) {
  std::int64_t added = 0;
  for (const Queued& q : batch) added += (q.saved ? RecordSaved(q.recording) : Record(q.recording)).added;
  return added;
}

trips::TripList Store::Unsent(const TripQuery&) { return {}; }

namespace {
[[noreturn]] void NotHere() { throw StoreError(StoreError::Kind::Other, "", "not in this logbook"); }
}  // namespace

std::optional<std::string> Store::VehicleOf(const trips::TripRecord&) { NotHere(); }

std::vector<LoggedTrip> Store::LoggedTrips(const TripQuery& query) {
  std::vector<LoggedTrip> out;
  for (trips::TripRecord& r : Trips(query)) out.push_back({r, query.plateKey.value_or(""), {}});
  return out;
}

std::int64_t Store::Move(const TripSelection&, const trips::VehicleInfo&) { NotHere(); }
void Store::EditVehicle(const std::string&, const trips::VehicleInfo&) { NotHere(); }
std::int64_t Store::Merge(const std::string&, const std::string&) { NotHere(); }
void Store::DeleteVehicle(const std::string&) { NotHere(); }
std::int64_t Store::Undo(std::int64_t) { NotHere(); }
std::int64_t Store::Tag(const TripSelection&, const TagChange&) { NotHere(); }

std::vector<HistoryRow> Store::History() {
  std::vector<HistoryRow> out;
  for (const ImportRow& i : Imports()) {
    HistoryRow h;
    h.kind = i.origin == Origin::Device ? HistoryRow::Kind::Reading
             : i.origin == Origin::File ? HistoryRow::Kind::Import
                                        : HistoryRow::Kind::Saved;
    h.id = i.id;
    h.at = i.at;
    h.source = i.source;
    h.read = i.read;
    h.trips = i.added;
    out.push_back(std::move(h));
  }
  return out;
}

std::optional<std::string> RecogniseDevice(Store& store, const trips::TripList& records) {
  if (records.empty()) return std::nullopt;
  std::optional<std::string> first = store.VehicleOf(records.front());
  if (!first || first->empty()) return std::nullopt;
  const std::optional<std::string> last = store.VehicleOf(records.back());
  if (last && *last != *first) return std::nullopt;
  return first;
}

std::vector<trips::TripList> Store::DeviceMemories(const std::string& path) {
  trips::TripList memory = DeviceMemory(path);
  if (memory.empty()) return {};
  return {std::move(memory)};
}

std::vector<PeriodTotals> Store::SumsByVehicle(const TripQuery& query) {
  std::vector<PeriodTotals> out;
  for (const VehicleSummary& v : Vehicles()) {
    PeriodTotals t{v.plateKey, 0, 0, 0};
    for (const trips::TripRecord& r : Trips({v.plateKey, query.from, query.to})) {
      ++t.trips;
      t.distance += r.Distance;
      t.fuel += r.Fuel;
    }
    if (t.trips > 0) out.push_back(std::move(t));
  }
  return out;
}

std::string RecordingTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

}  // namespace riventar::logbook
