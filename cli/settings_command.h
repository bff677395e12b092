#pragma once
// The configuration window's readings and settings from the command line.
#include <functional>
#include <string>
#include <vector>

#include "cli/session.h"

namespace riventar::cli {

// Every setting as the window reads them; with `identity` also the versions
// and the trip count ("info"), without them "get".
void PrintSettings(const GlobalOptions& global, bool identity);

// One "set" subcommand, as CLI11 declares it and as it runs.
struct SetOperand {
  std::string name;
  std::string help;
  bool required = true;
};
struct SetCommand {
  std::string name;
  std::string help;
  std::vector<SetOperand> operands;
  // `operands` as typed, the optional ones only when given. The window's
  // input rules first, before the port is opened; then its command and
  // read-back; prints the value read back. Throws Failure.
  std::function<void(const GlobalOptions& global, const std::vector<std::string>& operands)> run;
};
// The settings, in the order the help lists them.
const std::vector<SetCommand>& SetCommands();

// "$TC" and the count read back.
void ResetCounter(const GlobalOptions& global);

}  // namespace riventar::cli
