#include "cli/download.h"

#include <unistd.h>

#include <algorithm>
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
#include "core/logbook/json_text.h"
#include "core/logbook/new_trips.h"
#include "core/logbook/server_location.h"
#include "core/services/device_session.h"
#include "core/services/trip_document.h"
#include "core/services/vehicle.h"
#include "core/trips/dat_file.h"

namespace riventar::cli {
namespace {

// Table: standard output as the command shows trips; else the file's format.
enum class Format { Table, Dat, Csv, Json };

Format ChosenFormat(const GlobalOptions& global, const DownloadOptions& options) {
  if (options.format.empty() && options.output.empty()) return global.json ? Format::Json : Format::Table;
  switch (Take(services::FormatFor(options.output, options.format))) {
    case services::TripFormat::Dat:
      return Format::Dat;
    case services::TripFormat::Csv:
      return Format::Csv;
    case services::TripFormat::Json:
      break;
  }
  return Format::Json;
}

services::TripFormat FileFormat(Format format) {
  return format == Format::Csv    ? services::TripFormat::Csv
         : format == Format::Json ? services::TripFormat::Json
                                  : services::TripFormat::Dat;
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

// The vehicle lines of the trips written: those of the .dat file they go to,
// as far as it has them, each replaced by its option; a file naming no car
// gets the one the trips are filed under.
trips::VehicleInfo DocumentVehicle(const DownloadOptions& options, Format format, const trips::VehicleInfo& filed) {
  const bool toDat = format == Format::Dat && !options.output.empty();
  trips::VehicleInfo vehicle =
      services::ReadingVehicle(toDat ? services::FileVehicle(options.output) : trips::VehicleInfo{},
                               {options.model, options.registration, options.owner});
  if (!logbook::PlateKey(vehicle.RegId).empty() || logbook::PlateKey(filed.RegId).empty()) return vehicle;
  return services::ReadingVehicle(filed, {options.model, std::nullopt, options.owner});
}

// The texts the user gave for the vehicle to file under: --vehicle-reg, or
// --vehicle's known vehicle. Throws Failure for a --vehicle the logbook lacks.
services::VehicleTexts GivenVehicle(const DownloadOptions& options, logbook::Store* store) {
  services::VehicleTexts given{options.model, options.registration, options.owner};
  if (!options.vehicle) return given;
  if (logbook::NamesUnassigned(*options.vehicle)) {
    given.registration = std::string(logbook::UnassignedName);
    return given;
  }
  std::vector<logbook::VehicleSummary> known;
  try {
    if (store) known = store->Vehicles();
  } catch (const logbook::StoreError& e) {
    throw LogbookFailure(e);
  }
  const std::optional<logbook::VehicleSummary> found = logbook::FindVehicle(known, *options.vehicle);
  if (!found) {
    throw Failure{ExitStatus::Usage, "no vehicle " + Echoed(*options.vehicle) +
                                         " in the logbook; --vehicle-reg files the trips under a new one"};
  }
  given.registration = found->texts.RegId;
  return given;
}

// `word` as a shell takes it back unchanged: quoted when it holds anything but
// plain letters, digits and path punctuation.
std::string ShellWord(const std::string& word) {
  const bool plain = !word.empty() && word.find_first_not_of(
                                          "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                          "0123456789/._-+,:=@") == std::string::npos;
  if (plain) return word;
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// The vehicle the logbook knows the device as. A logbook that cannot tell
// (a fleet's, through a store that does not look trips up) knows none: the
// reading is still recorded.
std::optional<std::string> Recognised(logbook::Store& store, const trips::TripList& records) {
  try {
    return logbook::RecogniseDevice(store, records);
  } catch (const logbook::StoreError&) {
    return std::nullopt;  // a logbook that fails for good fails the recording next, and says so
  }
}

// The newest recording of the device at `path` in a logbook file: the one
// just made. Nothing from a fleet's logbook, whose list may not hold it yet
// (it waits here to be sent), nor when the list cannot be read.
std::optional<std::int64_t> LastReadingOf(logbook::Store& store, const std::string& path) {
  if (store.AsShared()) return std::nullopt;
  std::optional<std::int64_t> last;
  try {
    for (const logbook::ImportRow& row : store.Imports())
      if (row.origin == logbook::Origin::Device && row.source == path && (!last || row.id > *last)) last = row.id;
  } catch (const logbook::StoreError&) {
    return std::nullopt;  // recorded all the same: only the hint's number is missing
  }
  return last;
}

// Reads the device, with a bar for the trips asked.
services::Result<services::Reading> ReadWithBar(services::DeviceSession& device,
                                                const std::vector<trips::TripList>& memories) {
  std::optional<ProgressBar> bar;
  // The request for trip `index` is out: those before it are in.
  auto reading = device.Read(memories, [&bar](int index, int count) {
    if (!bar) bar.emplace(count);
    bar->Show(index);
  });
  if (reading) {
    if (!bar) bar.emplace(reading->count);
    bar->Finish();
  }
  return reading;
}

// --new: the trips the logbook did not hold; those read, if it could not say.
trips::TripList Shown(const DownloadOptions& options, const logbook::NewTripsReading& reading,
                      const std::optional<logbook::Recorded>& recorded) {
  const trips::TripList& all = reading.trips;
  if (!options.onlyNew) return all;
  if (!recorded) return {all.end() - reading.read, all.end()};
  trips::TripList shown;
  for (std::size_t i = 0; i < all.size(); ++i)
    if (recorded->wasNew[i]) shown.push_back(all[i]);
  return shown;
}

std::string ReadText(int count, const logbook::NewTripsReading& reading,
                     const std::optional<logbook::Recorded>& recorded) {
  const int leftOut = count - reading.known - reading.read;
  std::string text = TripsText(static_cast<std::size_t>(reading.read)) + " read" +
                     (leftOut > 0 ? " (" + std::to_string(leftOut) + " left out as invalid)" : "");
  if (reading.known > 0) text += ", " + std::to_string(reading.known) + " known not read again";
  if (recorded) text += ", " + std::to_string(recorded->added) + " new";
  return text;
}

// Writes or appends the shown trips to -o FILE; what to add to `done`.
// Throws Failure, with `done` and what the logbook said.
std::string WriteFile(const DownloadOptions& options, Format format, const services::TripDocument& shown,
                      const std::string& done, const std::optional<Failure>& logbookFailed) {
  // Appended: the file's bytes as they are now, whatever they hold, then
  // the lines it lacks. A .csv file is rewritten whole.
  std::optional<std::string> base;
  if (options.append) base = LoadAppendTarget(options.output);
  services::Result<services::Appended> appended = services::Appended{shown.Trips().size(), 0};
  if (options.append) {
    appended = shown.AppendTo(options.output, base);
  } else if (const services::Status saved = services::WriteTripFile(options.output, shown.Bytes(FileFormat(format)));
             !saved) {
    appended = saved.failure();
  }
  if (!appended) {
    // A failed write never resets the device (see Download).
    const Failure f = FromService(appended.failure());
    throw Failure{f.status, done + "; but " + f.message +
                                (options.reset ? "; the device is not reset, so it still holds them" : "") +
                                (logbookFailed ? "; and " + logbookFailed->message : std::string())};
  }
  if (!options.append) return ", written to " + options.output;
  if (appended->present == 0) return ", added to " + options.output;
  return (appended->added > 0 ? ", " + TripsText(appended->added) : std::string(", nothing")) + " added to " +
         options.output + " (" + TripsText(appended->present) + " there already)";
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
  if (options.reset && !services::MayForget({!options.output.empty(), !options.noLogbook})) {
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
  if (options.vehicle && options.registration) {
    throw Failure{ExitStatus::Usage, "--vehicle names a known vehicle, --vehicle-reg any: give one of them"};
  }
  if (options.vehicle && options.noLogbook) {
    throw Failure{ExitStatus::Usage, "--vehicle needs the logbook: it cannot go with --no-logbook"};
  }
  const services::VehicleTexts given = GivenVehicle(options, store.get());
  services::Filing filing{services::ReadingVehicle({}, given), services::FiledBy::Given, std::nullopt};
  std::optional<std::int64_t> readingId;

  Session session(global);
  services::DeviceSession& device = session.Device();
  services::Result<services::Reading> read = ReadWithBar(device, memories);
  if (!read) throw FromService(read.failure());
  const int count = read->count;
  const logbook::NewTripsReading* reading = &read->trips;
  // From here an interrupt waits: the trips go into the logbook and the file
  // whole or not at all, and the user learns whether the device still holds them.
  const InterruptsDeferred deferred;
  try {
    const trips::TripList& all = reading->trips;

    // Committed at once: whatever happens to the file, the logbook has them.
    std::optional<logbook::Recorded> recorded;
    std::optional<Failure> logbookFailed;
    if (store) {
      const services::Status kept = device.Record(read.value(), [&](const services::Reading& r) -> services::Status {
        try {
          // Known before the recording files anything: the device as the logbook last saw it. Not
          // from a fleet's logbook: that would ask its server, and the counter reset waits for no server.
          const bool local = store->AsShared() == nullptr;
          filing = services::FileReading(given, local ? Recognised(*store, r.trips.records) : std::nullopt,
                                         local ? store->Vehicles() : std::vector<logbook::VehicleSummary>{});
          recorded = store->Record(
              {logbook::Origin::Device, devicePath, logbook::RecordingTimeNow(), filing.vehicle, all, r.trips.records});
          if (filing.by == services::FiledBy::Unassigned) readingId = LastReadingOf(*store, devicePath);
          return services::Ok();
        } catch (const logbook::StoreError& e) {
          logbookFailed = LogbookFailure(e);
          return services::Failure{services::Failure::Kind::Logbook, logbookFailed->message};
        }
      });
      static_cast<void>(kept);  // said below, as what went wrong, after what was done
    }
    const trips::TripList shown = Shown(options, *reading, recorded);
    if (count == 0) std::cerr << "riventar-cli: the device holds no trips\n";

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
      std::cerr << "riventar-cli: " << Printable(done) << "\n";
      if (recorded && recorded->read > 0 && filing.by == services::FiledBy::Unassigned) {
        // The logbook named as this command named it: the hint is a command to run as it stands.
        const std::string logbookOption = global.logbook && !logbook::IsServerLocation(*global.logbook)
                                              ? " --logbook " + ShellWord(*global.logbook)
                                              : "";
        std::cerr << "riventar-cli: to file them under their vehicle: riventar-cli" << Printable(logbookOption)
                  << " log move --import " << (readingId ? std::to_string(*readingId) : std::string("N"))
                  << " --to \"REG\"" << (readingId ? "" : " ('riventar-cli log history' gives N)") << "\n";
      }
    };

    if (recorded && filing.recognisedOther) {
      std::cerr << "riventar-cli: the logbook knows this device as "
                << Printable(VehicleWords(filing.recognisedOther->texts)) << "'s; the trips are filed under "
                << Printable(VehicleWords(filing.vehicle)) << " as told\n";
    } else if (recorded && filing.by == services::FiledBy::Recognised) {
      std::cerr << "riventar-cli: the logbook knows this device: " << Printable(VehicleWords(filing.vehicle)) << "\n";
    }
    std::string done = ReadText(count, *reading, recorded);
    if (recorded && count > 0) done += ", recorded in the logbook: " + VehicleWords(filing.vehicle);
    const trips::VehicleInfo vehicle = DocumentVehicle(options, format, filing.vehicle);
    services::TripDocument document;
    document.Show(vehicle, shown);
    if (options.output.empty()) {
      std::cout << (format == Format::Table ? (shown.empty() ? std::string() : TripTable(shown))
                                            : document.Bytes(FileFormat(format)));
      FlushStandardOutput();
    } else if (!shown.empty()) {  // no file without trips
      done += WriteFile(options, format, document, done, logbookFailed);
      written = true;
      device.FileWritten();
    } else if (count > 0) {
      done += ", nothing written to " + options.output;
    }
    if (!options.reset || count == 0) {
      if (count > 0 || logbookFailed) finish(done);
      return;
    }
    // The logbook, or the file, holds every trip the device is about to forget
    // (with --new, those the file lacks were in the logbook before).
    if (const services::Status may = device.MayForgetTrips(); !may) {
      throw Failure{ExitStatus::FileIo,  // nothing durable: as a file that could not be written
                    done + "; the device is not reset, as " + may.failure().message + ": " +
                        (logbookFailed ? logbookFailed->message : std::string("no logbook and no -o FILE"))};
    }
    // Durable: the device may forget them now. Like the window, one attempt.
    if (!device.ForgetTrips()) {
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
