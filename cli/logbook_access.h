#pragma once
// The logbook as the command line reaches it: where it lives, opened, and
// what is said when it cannot be used (status Logbook).
#include <memory>
#include <string>

#include "cli/exit_status.h"
#include "cli/session.h"
#include "core/logbook/logbook.h"

namespace riventar::cli {

// The logbook --logbook, RIVENTAR_LOGBOOK, the saved choice or the default
// names, opened (and made when missing): a file, or a server with this
// computer's file in front. Each problem with the server is one line on
// standard error (unless `quiet`) and fails nothing: what was recorded waits
// in the local file. Throws Failure (Logbook) for the local file. With
// `sendOnRecording` false, a recording goes to the server only when the store
// is closed.
std::unique_ptr<logbook::Store> OpenLogbookFor(const GlobalOptions& global, bool quiet = false,
                                               bool sendOnRecording = true);
// The same for a command that only reads: nothing is made, no folder, no
// file; where no logbook file is yet, an empty logbook, said on standard error
// (unless `quiet`). A file that cannot be written is read all the same.
std::unique_ptr<logbook::Store> OpenLogbookToRead(const GlobalOptions& global, bool quiet = false);

// "the logbook PATH is ... (detail); what to do", for a failure's message.
std::string LogbookProblem(const logbook::StoreError& error);
Failure LogbookFailure(const logbook::StoreError& error);

}  // namespace riventar::cli
