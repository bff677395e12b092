#pragma once
#include <string>

#include "cli/session.h"

namespace riventar::cli {

struct DownloadOptions {
  std::string output;  // empty: standard output
  std::string format;  // "dat", "csv", "json" or empty: from the extension
  bool append = false;
  bool reset = false;
};

// Reads every stored trip and prints or writes them; "$TC" only once they
// are safely on disk. Throws Failure.
void Download(const GlobalOptions& global, const DownloadOptions& options);

}  // namespace riventar::cli
