// Arbitrary ".dat" bytes loaded and recorded into a logbook in a temporary
// file, twice: the first recording says of each trip whether it was new and
// counts them so; the second, of the same bytes, adds nothing; the device's
// memory is the reading as given (a reading of nothing leaves it as it was).
// Inputs share one logbook, so trips of earlier inputs are already held, as
// in real use.
#include <QCoreApplication>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <variant>

#include "adapters/logbook/sqlite_store.h"
#include "core/trips/dat_file.h"
#include "fuzz/check.h"
#include "tests/support/temp_dir.h"

using namespace riventar;

namespace {

std::unique_ptr<QCoreApplication> app;  // Qt SQL loads its driver as a plugin
std::unique_ptr<testing::TempDir> dir;
std::unique_ptr<logbook::Store> store;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  app = std::make_unique<QCoreApplication>(*argc, *argv);
  dir = std::make_unique<testing::TempDir>("riventar-fuzz-logbook");
  store = logbook::OpenLogbook((*dir / "logbook.sqlite").string());
  std::atexit([] {
    store.reset();
    dir.reset();
    app.reset();
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto parsed = trips::ParseDatFile(std::string_view(reinterpret_cast<const char*>(data), size));
  const auto* loaded = std::get_if<trips::DatContents>(&parsed);
  if (loaded == nullptr) return 0;
  logbook::Recording recording{logbook::Origin::Device, "/dev/ttyFUZZ", "2026-01-01 00:00:00", loaded->Vehicle,
                               loaded->Trips};
  const logbook::Recorded first = store->Record(recording);
  FUZZ_CHECK(first.read == static_cast<int>(loaded->Trips.size()));
  FUZZ_CHECK(first.wasNew.size() == loaded->Trips.size());
  FUZZ_CHECK(first.added == std::count(first.wasNew.begin(), first.wasNew.end(), true));
  FUZZ_CHECK(loaded->Trips.empty() || store->DeviceMemory("/dev/ttyFUZZ") == loaded->Trips);

  recording.origin = logbook::Origin::File;
  const logbook::Recorded second = store->Record(recording);
  FUZZ_CHECK(second.read == first.read && second.added == 0);
  FUZZ_CHECK(std::none_of(second.wasNew.begin(), second.wasNew.end(), [](bool isNew) { return isNew; }));
  return 0;
}
