#include "cli/download.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

#include "base/files/file_io.h"
#include "cli/exit_status.h"
#include "cli/interrupt.h"
#include "cli/logbook_access.h"
#include "cli/output.h"
#include "cli/port.h"
#include "cli/trip_file.h"
#include "core/link/commands.h"
#include "core/logbook/new_trips.h"
#include "core/trips/dat_file.h"
#include "core/trips/device_reading.h"

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

// The vehicle the trips are recorded under: the vehicle lines of the .dat
// file they go to, as far as it has them, each replaced by its option.
trips::VehicleInfo Vehicle(const DownloadOptions& options, Format format) {
  trips::VehicleInfo vehicle;
  if (format == Format::Dat && !options.output.empty()) {
    // A file that cannot be read or is no trip file is replaced whole: it has no vehicle to keep.
    const files::ReadResult read = files::ReadWholeFile(options.output, trips::MaxDatFileBytes);
    const bool headerOnly =
        read.ok && std::count(read.bytes.begin(), read.bytes.end(), '\n') == 3 && read.bytes.back() == '\n';
    if (headerOnly || (read.ok && std::holds_alternative<trips::DatContents>(trips::ParseDatFile(read.bytes))))
      vehicle = trips::ParseDatVehicle(read.bytes);
  }
  if (options.model) vehicle.Model = *options.model;
  if (options.registration) vehicle.RegId = *options.registration;
  if (options.owner) vehicle.Owner = *options.owner;
  return vehicle;
}

}  // namespace

void Download(const GlobalOptions& global, const DownloadOptions& options) {
  const Format format = ChosenFormat(global, options);
  if (options.append && options.output.empty()) throw Failure{ExitStatus::Usage, "--append needs -o FILE"};
  // A .csv file is rewritten whole: its rows are numbered and its heading comes first.
  if (options.append && format != Format::Dat) throw Failure{ExitStatus::Usage, "--append works on .dat files only"};
  if (options.onlyNew && options.noLogbook) {
    throw Failure{ExitStatus::Usage, "--new needs the logbook: it cannot go with --no-logbook"};
  }
  // The device forgets its trips at the reset: they must be on disk somewhere first.
  if (options.reset && options.noLogbook && options.output.empty()) {
    throw Failure{ExitStatus::FileIo,
                  "--reset with --no-logbook needs -o FILE: the trips would be on disk nowhere when the device "
                  "forgets them; the device is not asked"};
  }

  // Whatever can fail without the device fails before it is asked: a reading takes a while.
  if (!options.output.empty()) CheckOutputFile(options.output);
  if (options.append) LoadAppendTarget(options.output);
  // The logbook knows a device by its path: one path for it however it was typed.
  const std::string devicePath = std::filesystem::absolute(DevicePathFor(global.port)).lexically_normal().string();
  std::unique_ptr<logbook::Store> store;
  std::vector<trips::TripList> memories;
  if (!options.noLogbook) {
    // Sent when the store closes: the device's counter reset never waits for the server.
    store = OpenLogbookFor(global, false, false);
    try {
      if (options.onlyNew) memories = store->DeviceMemories(devicePath);
    } catch (const logbook::StoreError& e) {
      throw LogbookFailure(e);
    }
  }
  const trips::VehicleInfo vehicle = Vehicle(options, format);

  Session session(global);
  const std::optional<int> count = trips::ReadTripCount(session.Link());
  if (!count) throw session.Unanswered();
  std::optional<logbook::NewTripsReading> reading;
  {
    ProgressBar bar(*count);
    // The request for trip `index` is out: those before it are in.
    reading = logbook::ReadNewTrips(session.Link(), *count, memories, [&bar](int index) { bar.Show(index); });
    if (reading) bar.Finish();
  }
  if (!reading) throw session.Unanswered();
  // From here an interrupt waits: the trips go into the logbook and the file
  // whole or not at all, and the user learns whether the device still holds them.
  const InterruptsDeferred deferred;
  try {
    const trips::TripList& all = reading->trips;

    // Committed at once: whatever happens to the file, the logbook has them.
    std::optional<logbook::Recorded> recorded;
    std::optional<Failure> logbookFailed;
    if (store) {
      try {
        recorded = store->Record(
            {logbook::Origin::Device, devicePath, logbook::RecordingTimeNow(), vehicle, all, reading->records});
      } catch (const logbook::StoreError& e) {
        logbookFailed = LogbookFailure(e);
      }
    }
    // --new: the trips the logbook did not hold; those read, if it could not say.
    trips::TripList shown;
    if (!options.onlyNew) {
      shown = all;
    } else if (recorded) {
      for (std::size_t i = 0; i < all.size(); ++i)
        if (recorded->wasNew[i]) shown.push_back(all[i]);
    } else {
      shown.assign(all.end() - reading->read, all.end());
    }

    if (*count == 0) std::cerr << "riventar-cli: the device holds no trips\n";
    const int leftOut = *count - reading->known - reading->read;
    std::string readText = TripsText(static_cast<std::size_t>(reading->read)) + " read" +
                           (leftOut > 0 ? " (" + std::to_string(leftOut) + " left out as invalid)" : "");
    if (reading->known > 0) readText += ", " + std::to_string(reading->known) + " known not read again";
    if (recorded) readText += ", " + std::to_string(recorded->added) + " new";

    // Said last, as what went wrong: whatever was done before it.
    bool written = false;
    // The file saved what the logbook did not: how to bring it in later.
    const auto inFileOnly = [&] {
      if (!written) return std::string();
      if (format != Format::Dat) return "; the trips are only in " + options.output;
      return "; the trips are in " + options.output + ": 'riventar-cli log import " + options.output +
             "' brings them into the logbook";
    };
    const auto finish = [&](const std::string& done) {
      if (logbookFailed) throw Failure{ExitStatus::Logbook, done + "; but " + logbookFailed->message + inFileOnly()};
      std::cerr << "riventar-cli: " << done << "\n";
    };

    std::string done = readText;
    if (options.output.empty()) {
      const std::string bytes = format == Format::Table  ? (shown.empty() ? std::string() : TripTable(shown))
                                : format == Format::Csv  ? trips::SerializeCsv(shown)
                                : format == Format::Json ? TripsJson(shown)
                                                         : trips::SerializeDatFile(vehicle, shown);
      std::cout << bytes;
      FlushStandardOutput();
    } else if (!shown.empty()) {  // no file without trips
      std::string bytes;
      std::size_t appended = shown.size(), present = 0;
      if (format == Format::Dat) {
        // Appended: the file's bytes as they are now, whatever they hold, then
        // the lines it lacks (a rerun after an interrupted one adds nothing twice).
        std::optional<std::string> base;
        if (options.append) base = LoadAppendTarget(options.output);
        if (base) {
          const trips::AppendedLines lines = trips::LinesToAppend(*base, shown);
          present = lines.present;
          appended = lines.count;
          bytes = std::move(*base) + lines.bytes;
        } else {
          bytes = trips::SerializeDatFile(vehicle, shown);
        }
      } else {
        bytes = format == Format::Csv ? trips::SerializeCsv(shown) : TripsJson(shown);
      }
      // A file that holds them all already is left as it is.
      if (appended > 0) {
        try {
          WriteTripFile(options.output, bytes);
        } catch (const Failure& f) {
          // A failed write never resets the device (see below).
          throw Failure{f.status, done + "; but " + f.message +
                                      (options.reset ? "; the device is not reset, so it still holds them" : "") +
                                      (logbookFailed ? "; and " + logbookFailed->message : std::string())};
        }
      }
      written = true;
      if (!options.append) {
        done += ", written to " + options.output;
      } else if (present == 0) {
        done += ", added to " + options.output;
      } else {
        done += (appended > 0 ? ", " + TripsText(appended) : std::string(", nothing")) + " added to " + options.output +
                " (" + TripsText(present) + " there already)";
      }
    } else if (*count > 0) {
      done += ", nothing written to " + options.output;
    }
    if (!options.reset || *count == 0) {
      if (*count > 0 || logbookFailed) finish(done);
      return;
    }
    // The logbook, or the file, holds every trip the device is about to forget
    // (with --new, those the file lacks were in the logbook before).
    if (!recorded && !written) {
      throw Failure{ExitStatus::FileIo,
                    done + "; the device is not reset, as the trips are nowhere on disk: " +
                        (logbookFailed ? logbookFailed->message : std::string("no logbook and no -o FILE"))};
    }
    // Durable: the device may forget them now. Like the window, one attempt.
    if (!session.Link().CommandExchange(link::TripCounterResetCommand())) {
      // The copy is good: say so, and that the device still holds the trips.
      throw Failure{ExitStatus::NoAnswer,
                    done + "; but the device " +
                        (session.Link().HungUp() ? "was disconnected before it answered" : "did not answer") +
                        " the counter reset, so it still holds them" +
                        (logbookFailed ? "; and " + logbookFailed->message + inFileOnly() : std::string())};
    }
    finish(done + "; the device's counter is reset");
  } catch (Failure& f) {
    // Said now, while the interrupt waits: it ends the program as `deferred`
    // goes, before main could say it.
    std::cerr << "riventar-cli: " << f.message << "\n";
    f.said = true;
    throw;
  }
}

}  // namespace riventar::cli
