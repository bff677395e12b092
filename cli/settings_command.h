#pragma once
// The configuration window's readings and settings from the command line.
#include <string>
#include <vector>

#include "cli/session.h"

namespace riventar::cli {

// Every setting as the window reads them; with `identity` also the versions
// and the trip count ("info"), without them "get".
void PrintSettings(const GlobalOptions& global, bool identity);

// `setting` is one of SettingNames; `values` its arguments as typed. The
// window's input rules first, then its command and read-back; prints the
// value read back. Throws Failure.
void Set(const GlobalOptions& global, const std::string& setting, const std::vector<std::string>& values);
extern const std::vector<std::string> SettingNames;

// "$TC" and the count read back.
void ResetCounter(const GlobalOptions& global);

}  // namespace riventar::cli
