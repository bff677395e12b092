#pragma once
// A connected link as the window makes it: the port opened, then "$NOP" with
// its retries. Everything a command says to the device goes through here.
#include <optional>
#include <string>

#include "cli/exit_status.h"
#include "cli/trace_log.h"
#include "core/link/link.h"

namespace riventar::cli {

struct GlobalOptions {
  std::string port = "COM1";
  std::string trace;  // a file, or empty for none
  bool json = false;
};

// The message for an unanswered exchange.
Failure NoAnswer();

class Session {
 public:
  // Throws Failure: PortOpen when the port cannot be opened, NoAnswer when
  // the handshake goes unanswered, FileIo when the trace cannot be created.
  explicit Session(const GlobalOptions& options);
  link::Link& Link() { return link_; }

 private:
  std::optional<TraceLog> trace_;  // outlives the link's receiver
  link::Link link_;
};

}  // namespace riventar::cli
