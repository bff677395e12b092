#include "cli/download.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <iostream>
#include <optional>
#include <variant>

#include "cli/exit_status.h"
#include "cli/interrupt.h"
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

// A bar on standard error, redrawn in place; only for a terminal. Cleared
// unless Finish drew it full.
class ProgressBar {
 public:
  explicit ProgressBar(int count) : count_(count), shown_(::isatty(STDERR_FILENO) == 1) {
    if (shown_) line_.emplace();
  }
  ~ProgressBar() {
    if (shown_) std::fputs("\r\033[K", stderr);
  }
  void Show(int done) const {
    if (!shown_) return;
    constexpr int Width = 40;
    const int filled = count_ > 0 ? done * Width / count_ : Width;
    std::fprintf(stderr, "\r[%s%s] %d/%d", std::string(static_cast<std::size_t>(filled), '#').c_str(),
                 std::string(static_cast<std::size_t>(Width - filled), ' ').c_str(), done, count_);
    std::fflush(stderr);
  }
  // Every trip read: the bar stays, full, on a line of its own.
  void Finish() {
    if (!shown_) return;
    Show(count_);
    std::fputs("\n", stderr);
    shown_ = false;
    line_.reset();
  }

 private:
  int count_;
  bool shown_;
  std::optional<ProgressLine> line_;
};

std::string TripsText(std::size_t n) { return std::to_string(n) + (n == 1 ? " trip" : " trips"); }

}  // namespace

void Download(const GlobalOptions& global, const DownloadOptions& options) {
  const Format format = ChosenFormat(global, options);
  // Without a file there is nothing synced to wait for before the device forgets its trips.
  if ((options.reset || options.append) && options.output.empty()) {
    throw Failure{ExitStatus::Usage, std::string(options.reset ? "--reset" : "--append") + " needs -o FILE"};
  }
  // A .csv file is rewritten whole: its rows are numbered and its heading comes first.
  if (options.append && format != Format::Dat) throw Failure{ExitStatus::Usage, "--append works on .dat files only"};

  // Whatever can fail without the device fails before it is asked: a reading takes a while.
  if (!options.output.empty()) CheckOutputFile(options.output);
  if (options.append) LoadAppendTarget(options.output);

  Session session(global);
  const std::optional<int> count = trips::ReadTripCount(session.Link());
  if (!count) throw session.Unanswered();
  std::optional<trips::TripList> read;
  {
    ProgressBar bar(*count);
    // The request for trip `index` is out: those before it are in.
    read = trips::ReadTrips(session.Link(), *count, [&bar](int index) { bar.Show(index); });
    if (read) bar.Finish();
  }
  if (!read) throw session.Unanswered();
  if (*count == 0) std::cerr << "riventar-cli: the device holds no trips\n";
  const std::string readText =
      TripsText(read->size()) + " read" +
      (static_cast<int>(read->size()) < *count ? " (" + std::to_string(*count - static_cast<int>(read->size())) +
                                                     " left out as invalid)"
                                               : "");

  if (options.output.empty()) {
    const std::string bytes = format == Format::Table  ? (read->empty() ? std::string() : TripTable(*read))
                              : format == Format::Csv  ? trips::SerializeCsv(*read)
                              : format == Format::Json ? TripsJson(*read)
                                                       : trips::SerializeDatFile({}, *read);
    std::cout << bytes;
    FlushStandardOutput();
    if (*count > 0) std::cerr << "riventar-cli: " << readText << "\n";
    return;
  }
  if (*count == 0) return;  // no file without trips, and nothing to reset

  std::string bytes;
  if (format == Format::Dat) {
    // Appended: the file's bytes as they are now, whatever they hold, then the new lines.
    std::optional<std::string> base;
    if (options.append) base = LoadAppendTarget(options.output);
    if (base) {
      bytes = std::move(*base);
      for (const trips::TripRecord& r : *read) bytes += trips::TripLine(r);
    } else {
      bytes = trips::SerializeDatFile({}, *read);
    }
  } else {
    bytes = format == Format::Csv ? trips::SerializeCsv(*read) : TripsJson(*read);
  }
  // From here an interrupt waits: the file is written whole or not at all, and
  // the user learns whether the device still holds the trips.
  const InterruptsDeferred deferred;
  WriteTripFile(options.output, bytes);
  const std::string written = readText + (options.append ? ", added to " : ", written to ") + options.output;
  if (!options.reset) {
    std::cerr << "riventar-cli: " << written << "\n";
    return;
  }
  // Written and synced: the device may forget them now. Like the window, one attempt.
  if (!session.Link().CommandExchange(link::TripCounterResetCommand())) {
    // The file is good: say so, or the user downloads again into it and gets every trip twice.
    throw Failure{ExitStatus::NoAnswer, written + "; but the device " +
                                            (session.Link().HungUp() ? "was disconnected before it answered"
                                                                     : "did not answer") +
                                            " the counter reset, so it still holds them"};
  }
  std::cerr << "riventar-cli: " << written << "; the device's counter is reset\n";
}

}  // namespace riventar::cli
