#pragma once
// The logbook as the command line reaches it: a logbook session over the
// stores --logbook, RIVENTAR_LOGBOOK, the saved choice or the default names.
#include <memory>
#include <string>

#include "adapters/logbook/session_stores.h"
#include "cli/exit_status.h"
#include "cli/session.h"
#include "core/logbook/logbook.h"
#include "core/services/logbook_session.h"
#include "core/services/result.h"

namespace riventar::cli {

// A command's logbook. Each problem with a fleet's server is one line on
// standard error (unless `quiet`) and fails nothing: what was recorded waits
// in the local file.
class CommandLogbook {
 public:
  struct Use {
    // Record: made when missing. Read: nothing made; where no logbook file is
    // yet, no store, said on standard error (unless `quiet`); a file that
    // cannot be written is read all the same.
    services::StoreUse use = services::StoreUse::Record;
    bool quiet = false;
    bool sendOnRecording = true;
  };
  // Opens it; throws Failure (Logbook).
  CommandLogbook(const GlobalOptions& global, Use use);
  CommandLogbook(const CommandLogbook&) = delete;
  CommandLogbook& operator=(const CommandLogbook&) = delete;

  services::LogbookSession& Session() { return session_; }
  // Nullptr: no logbook file yet (Read).
  logbook::Store* Store() const { return session_.Store(); }

 private:
  logbook::SessionStores stores_;
  services::LogbookSession session_;
};

// The logbook opened for recording, as a store of its own (a download keeps
// it beside the device's session). With `sendOnRecording` false, a recording
// goes to the server only when the store is closed. Throws Failure (Logbook).
std::unique_ptr<logbook::Store> OpenLogbookFor(const GlobalOptions& global, bool quiet = false,
                                               bool sendOnRecording = true);

// "the logbook PATH is ... (detail); what to do", for a failure's message.
std::string LogbookProblem(const logbook::StoreError& error);
Failure LogbookFailure(const logbook::StoreError& error);

}  // namespace riventar::cli
