#pragma once
#include <optional>
#include <string>

#include "cli/session.h"

namespace riventar::cli {

struct DownloadOptions {
  std::string output;  // empty: standard output
  std::string format;  // "dat", "csv", "json" or empty: from the extension
  bool append = false;
  bool reset = false;
  bool onlyNew = false;    // --new: only what the logbook lacks
  bool noLogbook = false;  // --no-logbook
  // --vehicle-model, --vehicle-reg, --vehicle-owner; each one given replaces
  // the text of the -o file's vehicle lines. A registration says where the
  // trips are filed in the logbook.
  std::optional<std::string> model, registration, owner;
  // --vehicle: a vehicle the logbook knows (or "unassigned"), to file under.
  std::optional<std::string> vehicle;
};

// Reads the stored trips, records them in the logbook and prints or writes
// them; "$TC" only once they are safely on disk. Throws Failure.
void Download(const GlobalOptions& global, const DownloadOptions& options);

}  // namespace riventar::cli
