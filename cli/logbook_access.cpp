#include "cli/logbook_access.h"

#include <filesystem>
#include <iostream>

#include "adapters/logbook/fleet_store.h"
#include "adapters/logbook/location.h"
#include "adapters/logbook/sqlite_store.h"
#include "cli/output.h"
#include "core/logbook/server_location.h"

namespace riventar::cli {
namespace {

// Where no logbook file is yet: nothing recorded, and nothing may be.
class NoLogbook final : public logbook::Store {
 public:
  explicit NoLogbook(std::string path) : path_(std::move(path)) {}
  logbook::Recorded Record(const logbook::Recording&) override { return Refuse(); }
  logbook::Recorded RecordSaved(const logbook::Recording&) override { return Refuse(); }
  std::vector<logbook::VehicleSummary> Vehicles() override { return {}; }
  std::vector<logbook::MonthSummary> Months(const std::string&) override { return {}; }
  trips::TripList Trips(const logbook::TripQuery&) override { return {}; }
  std::vector<logbook::ImportRow> Imports() override { return {}; }
  trips::TripList DeviceMemory(const std::string&) override { return {}; }

 private:
  [[noreturn]] logbook::Recorded Refuse() const {
    throw logbook::StoreError(logbook::StoreError::Kind::CannotOpen, path_, "no logbook file");
  }
  std::string path_;
};

std::string Location(const GlobalOptions& global) {
  try {
    return logbook::LogbookLocation(global.logbook);
  } catch (const logbook::StoreError& e) {
    throw LogbookFailure(e);
  }
}

}  // namespace

std::unique_ptr<logbook::Store> OpenLogbookFor(const GlobalOptions& global, bool quiet, bool sendOnRecording) {
  const std::string location = Location(global);
  logbook::LogbookOptions options;
  if (!quiet)
    options.notice = [](const std::string& line) { std::cerr << "riventar-cli: " << Printable(line) << std::endl; };
  options.sendOnRecording = sendOnRecording;
  try {
    return logbook::OpenLogbookAt(location, options);
  } catch (const logbook::StoreError& e) {
    throw LogbookFailure(e);
  }
}

std::unique_ptr<logbook::Store> OpenLogbookToRead(const GlobalOptions& global, bool quiet) {
  const std::string location = Location(global);
  if (logbook::IsServerLocation(location)) return OpenLogbookFor(global, quiet);
  std::error_code error;
  if (!std::filesystem::exists(location, error)) {
    if (!quiet) {
      std::cerr << "riventar-cli: no logbook at " << Printable(location)
                << " yet; a download or 'log import' makes it (a listing makes nothing)" << std::endl;
    }
    return std::make_unique<NoLogbook>(location);
  }
  try {
    return logbook::OpenLogbook(location, logbook::Access::Read);
  } catch (const logbook::StoreError& e) {
    throw LogbookFailure(e);
  }
}

std::string LogbookProblem(const logbook::StoreError& error) {
  using Kind = logbook::StoreError::Kind;
  // The ways on without this file, as the window's "Другой файл журнала..." offers them.
  const std::string elsewhere =
      "--logbook PATH uses another file (in the window: \"Другой файл журнала...\"); "
      "download --no-logbook leaves the logbook out";
  std::string words, next;
  switch (error.kind()) {
    case Kind::CannotOpen:
      words = "cannot be opened";
      next = "check the path and its folder; " + elsewhere;
      break;
    case Kind::Corrupt:
      words = "is not a logbook or is damaged; it is left as it is";
      next = "keep it for recovery; " + elsewhere;
      break;
    case Kind::Newer:
      words = "was written by a newer version of the program; it is left as it is";
      next = "use that version with it; " + elsewhere;
      break;
    case Kind::Locked:
      words = "is busy: another program kept it locked too long";
      next = "try again once the other program is done; " + elsewhere;
      break;
    case Kind::ReadOnly:
      words = "cannot be written";
      next = "the listings still read it; to record, make it and its folder writable, or: " + elsewhere;
      break;
    case Kind::Full:
      words = "cannot be written: the disk is full";
      next = "free some space on that disk; nothing half-written was kept";
      break;
    case Kind::Other:
      words = "failed";
      next = elsewhere;
      break;
  }
  const std::string detail = error.what();
  return "the logbook " + error.path() + " " + words + (detail.empty() ? "" : " (" + detail + ")") + "; " + next;
}

Failure LogbookFailure(const logbook::StoreError& error) { return {ExitStatus::Logbook, LogbookProblem(error)}; }

}  // namespace riventar::cli
