// The ".dat" loader on arbitrary bytes. Beyond not crashing: the outcome
// matches the file's shape (three header lines, then whole 46-byte lines);
// kept trips pass the file rule with their derived values filled; and saving
// what was loaded, then loading that, gives the same trips and the same
// vehicle texts (a CR inside a header text is the one thing saving changes,
// into a blank). The export of the loaded trips is formatted too.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>

#include "core/trips/dat_file.h"
#include "fuzz/check.h"

using namespace riventar::trips;

namespace {

// Where the third header line ends, as the loader reads lines.
std::size_t HeaderEnd(std::string_view bytes) {
  std::size_t pos = 0;
  for (int line = 0; line < 3; ++line) {
    const std::size_t lf = bytes.find('\n', pos);
    pos = lf == std::string_view::npos ? bytes.size() : lf + 1;
  }
  return pos;
}

std::string CrAsBlank(std::string s) {
  std::replace(s.begin(), s.end(), '\r', ' ');
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto parsed = ParseDatFile(bytes);
  const std::size_t rest = size - HeaderEnd(bytes);

  if (const auto* problem = std::get_if<DatProblem>(&parsed)) {
    FUZZ_CHECK(*problem == (rest % TripLineSize != 0 ? DatProblem::WrongFormat : DatProblem::NoTrips));
    FUZZ_CHECK(*problem == DatProblem::WrongFormat || rest == 0);
    return 0;
  }
  const DatContents& loaded = std::get<DatContents>(parsed);
  FUZZ_CHECK(rest != 0 && rest % TripLineSize == 0);
  FUZZ_CHECK(loaded.TripLines == rest / TripLineSize && loaded.Trips.size() <= loaded.TripLines);
  for (const TripRecord& r : loaded.Trips) {
    FUZZ_CHECK(AcceptedFromFile(r));
    TripRecord derived = r;
    Derive(derived);
    FUZZ_CHECK(derived == r);
    FUZZ_CHECK(TripLine(r).size() == TripLineSize);
  }

  const std::string saved = SerializeDatFile(loaded.Vehicle, loaded.Trips);
  const auto reloaded = ParseDatFile(saved);
  if (loaded.Trips.empty()) {
    FUZZ_CHECK(std::get_if<DatProblem>(&reloaded) && std::get<DatProblem>(reloaded) == DatProblem::NoTrips);
  } else {
    const auto* again = std::get_if<DatContents>(&reloaded);
    FUZZ_CHECK(again != nullptr);
    FUZZ_CHECK(again->Trips == loaded.Trips && again->TripLines == loaded.Trips.size());
    // The texts pass through Windows-1251 and back; only a CR is lost.
    FUZZ_CHECK(again->Vehicle.Model == CrAsBlank(loaded.Vehicle.Model));
    FUZZ_CHECK(again->Vehicle.RegId == CrAsBlank(loaded.Vehicle.RegId));
    FUZZ_CHECK(again->Vehicle.Owner == CrAsBlank(loaded.Vehicle.Owner));
  }

  const std::string csv = SerializeCsv(loaded.Trips);
  FUZZ_CHECK(std::count(csv.begin(), csv.end(), '\n') == static_cast<std::ptrdiff_t>(loaded.Trips.size() + 1));
  return 0;
}
