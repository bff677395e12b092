#include "cli/download.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <iostream>
#include <variant>

#include "cli/exit_status.h"
#include "cli/output.h"
#include "cli/trip_file.h"
#include "core/link/commands.h"
#include "core/trips/dat_file.h"
#include "core/trips/device_reading.h"
#include "platform/files/file_io.h"

namespace riventar::cli {
namespace {

enum class Format { Table, Dat, Csv, Json };

Format ChosenFormat(const GlobalOptions& global, const DownloadOptions& options) {
  std::string name = options.format;
  if (name.empty() && !options.output.empty()) {
    const auto dot = options.output.rfind('.');
    if (dot != std::string::npos) name = options.output.substr(dot + 1);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  if (name.empty() && options.output.empty()) return global.json ? Format::Json : Format::Table;
  if (name == "dat") return Format::Dat;
  if (name == "csv") return Format::Csv;
  if (name == "json") return Format::Json;
  throw Failure{ExitStatus::Usage, options.format.empty()
                                       ? "cannot tell the format from the name " + options.output + "; use --format"
                                       : "unknown format " + options.format + "; dat, csv or json"};
}

// A bar on standard error, redrawn in place; only for a terminal.
class ProgressBar {
 public:
  explicit ProgressBar(int count) : count_(count), shown_(::isatty(STDERR_FILENO) == 1) {}
  ~ProgressBar() {
    if (shown_) std::fputs("\r\033[K", stderr);
  }
  void Show(int index) const {
    if (!shown_) return;
    constexpr int Width = 40;
    const int done = count_ > 0 ? index * Width / count_ : Width;
    std::fprintf(stderr, "\r[%s%s] %d/%d", std::string(static_cast<std::size_t>(done), '#').c_str(),
                 std::string(static_cast<std::size_t>(Width - done), ' ').c_str(), index, count_);
    std::fflush(stderr);
  }

 private:
  int count_;
  bool shown_;
};

}  // namespace

void Download(const GlobalOptions& global, const DownloadOptions& options) {
  const Format format = ChosenFormat(global, options);
  // Without a file there is nothing synced to wait for before the device forgets its trips.
  if ((options.reset || options.append) && options.output.empty()) {
    throw Failure{ExitStatus::Usage, std::string(options.reset ? "--reset" : "--append") + " needs -o FILE"};
  }
  if (options.append && format != Format::Dat) throw Failure{ExitStatus::Usage, "--append works on .dat files only"};

  // What the trips are appended to is read first: a bad file fails before the device is asked.
  trips::DatContents base;
  if (options.append) {
    if (auto existing = LoadTripFile(options.output, /*missingIsEmpty=*/true)) base = std::move(*existing);
  }

  Session session(global);
  const std::optional<int> count = trips::ReadTripCount(session.Link());
  if (!count) throw NoAnswer();
  std::optional<trips::TripList> read;
  {
    const ProgressBar bar(*count);
    read = trips::ReadTrips(session.Link(), *count, [&bar](int index) { bar.Show(index); });
  }
  if (!read) throw NoAnswer();
  if (*count == 0) std::cerr << "riventar-cli: the device holds no trips\n";

  if (!options.output.empty() && *count == 0) return;  // no file without trips, and nothing to reset
  base.Trips.insert(base.Trips.end(), read->begin(), read->end());
  const std::string bytes = format == Format::Table  ? (base.Trips.empty() ? std::string() : TripTable(base.Trips))
                            : format == Format::Csv  ? trips::SerializeCsv(base.Trips)
                            : format == Format::Json ? TripsJson(base.Trips)
                                                     : trips::SerializeDatFile(base.Vehicle, base.Trips);
  if (options.output.empty()) {
    std::cout << bytes << std::flush;
    if (!std::cout) throw Failure{ExitStatus::FileIo, "cannot write to standard output"};
    return;
  }
  WriteTripFile(options.output, bytes);
  // Written and synced: the device may forget them now. Like the window, one attempt.
  if (options.reset && !session.Link().CommandExchange(link::TripCounterResetCommand())) throw NoAnswer();
}

}  // namespace riventar::cli
