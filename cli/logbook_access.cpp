#include "cli/logbook_access.h"

#include <iostream>

#include "cli/output.h"
#include "platform/logbook/fleet_store.h"
#include "platform/logbook/location.h"

namespace riventar::cli {

std::unique_ptr<logbook::Store> OpenLogbookFor(const GlobalOptions& global, bool quiet, bool sendOnRecording) {
  const std::string location = logbook::LogbookLocation(global.logbook);
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

std::string LogbookProblem(const logbook::StoreError& error) {
  using Kind = logbook::StoreError::Kind;
  std::string words;
  switch (error.kind()) {
    case Kind::CannotOpen:
      words = "cannot be opened";
      break;
    case Kind::Corrupt:
      words = "is not a logbook or is damaged; it is left as it is";
      break;
    case Kind::Newer:
      words = "was written by a newer version of the program; it is left as it is";
      break;
    case Kind::Locked:
      words = "is busy: another program kept it locked too long";
      break;
    case Kind::ReadOnly:
      words = "cannot be written";
      break;
    case Kind::Full:
      words = "cannot be written: the disk is full";
      break;
    case Kind::Other:
      words = "failed";
      break;
  }
  const std::string detail = error.what();
  return "the logbook " + error.path() + " " + words + (detail.empty() ? "" : " (" + detail + ")");
}

Failure LogbookFailure(const logbook::StoreError& error) { return {ExitStatus::Logbook, LogbookProblem(error)}; }

}  // namespace riventar::cli
