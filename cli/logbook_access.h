#pragma once
// The logbook as the command line reaches it: where it lives, opened, and
// what is said when it cannot be used (status Logbook).
#include <memory>
#include <string>

#include "cli/exit_status.h"
#include "cli/session.h"
#include "core/logbook/logbook.h"

namespace riventar::cli {

// The logbook --logbook, RIVENTAR_LOGBOOK or the default names, opened (and
// made when missing). Throws Failure (Logbook).
std::unique_ptr<logbook::Store> OpenLogbookFor(const GlobalOptions& global);

// "the logbook PATH is ...: detail", for a failure's message.
std::string LogbookProblem(const logbook::StoreError& error);
Failure LogbookFailure(const logbook::StoreError& error);

// The computer's local time as the logbook records it: "YYYY-MM-DD HH:MM:SS".
std::string LocalTimeNow();

}  // namespace riventar::cli
