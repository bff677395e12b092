#pragma once
// A connected device session as the window makes it: the port opened, then
// "$NOP" with its retries. Everything a command says to the device goes
// through here.
#include <optional>
#include <string>

#include "cli/exit_status.h"
#include "cli/trace_log.h"
#include "core/services/device_session.h"

namespace riventar::cli {

struct GlobalOptions {
  std::string port = "COM1";
  std::string trace;                   // a file, or empty for none
  std::optional<std::string> logbook;  // --logbook
  bool json = false;
};

// Why the trace file is incomplete, once the session that wrote it has ended;
// the status is FileIo. Asked once, by main.
std::optional<Failure> TakeTraceFailure();

class Session {
 public:
  // Throws Failure: PortOpen when the port cannot be opened, NoAnswer when
  // the handshake goes unanswered, FileIo when the trace cannot be created.
  explicit Session(const GlobalOptions& options);
  ~Session();  // the link down, then the trace closed
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  services::DeviceSession& Device() { return *device_; }
  link::PortLink& Link() { return device_->Link(); }
  // For an exchange that went unanswered: NoAnswer, or that the adapter was
  // pulled out when the port has hung up, or which request got only garbled
  // lines.
  Failure Unanswered() const { return FromService(device_->Unanswered()); }

 private:
  std::optional<TraceLog> trace_;  // outlives the link's receiver
  std::optional<services::DeviceSession> device_;
};

}  // namespace riventar::cli
