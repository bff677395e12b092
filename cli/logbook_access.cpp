#include "cli/logbook_access.h"

#include <iostream>

#include "cli/output.h"

namespace riventar::cli {
namespace {

std::function<void(const std::string&)> Notice(bool quiet) {
  if (quiet) return {};
  return [](const std::string& line) { std::cerr << "riventar-cli: " << Printable(line) << std::endl; };
}

services::LogbookSession::Options SessionOptions(const CommandLogbook::Use& use) {
  services::LogbookSession::Options options;
  options.use = use.use;
  options.sendOnRecording = use.sendOnRecording;
  options.sendOnClose = !use.sendOnRecording;
  options.notice = Notice(use.quiet);
  options.wording = LogbookProblem;
  return options;
}

}  // namespace

CommandLogbook::CommandLogbook(const GlobalOptions& global, Use use) : session_(stores_, SessionOptions(use)) {
  Take(session_.Open(global.logbook));
  if (!session_.Store() && !use.quiet)
    std::cerr << "riventar-cli: no logbook at " << Printable(session_.Location())
              << " yet; a download or 'log import' makes it (a listing makes nothing)" << std::endl;
}

std::unique_ptr<logbook::Store> OpenLogbookFor(const GlobalOptions& global, bool quiet, bool sendOnRecording) {
  logbook::SessionStores stores;
  try {
    const std::string location = stores.Configured(global.logbook);
    return stores.Open(location, {services::StoreUse::Record, false, sendOnRecording, !sendOnRecording, Notice(quiet)});
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
