#include "cli/session.h"

#include <utility>

#include "cli/exit_status.h"
#include "cli/port.h"
#include "core/link/commands.h"
#include "core/link/connect.h"
#include "core/link/messages.h"

namespace riventar::cli {

namespace {

std::optional<Failure> traceFailure;  // main thread only

}  // namespace

Failure NoAnswer() {
  return {ExitStatus::NoAnswer,
          "the device did not answer: check its cable to the serial port and that it is in exchange mode"};
}

Session::Session(const GlobalOptions& options) {
  if (!options.trace.empty()) {
    trace_.emplace(options.trace);
    link_.SetTrace(trace_->Hook());
  }
  if (const auto failure = link::Connect(link_, DevicePathFor(options.port))) {
    if (!failure->open) throw Unanswered();
    // The same lines as the window's box, first line included; the window's
    // last line says how to choose another device, here that is --port.
    const link::OpenFailure& open = *failure->open;
    throw Failure{ExitStatus::PortOpen, (open.step == link::OpenFailure::Step::OpenPort
                                             ? link::OpenFailureMessage(open)
                                             : std::string(link::PortOpenFailureFirstLine) + "\n" + open.detail) +
                                            "\nChoose another device with --port COM1, COM2 or a device path; "
                                            "'riventar-cli ports' lists those present."};
  }
}

Session::~Session() {
  link_.Stop();  // nothing more comes in to be traced
  if (!trace_) return;
  if (auto problem = trace_->Close()) traceFailure = Failure{ExitStatus::FileIo, std::move(*problem)};
}

Failure Session::Unanswered() const {
  if (!link_.HungUp() && link_.LastFailureGarbled()) {
    const std::string& command = link_.LastCommand();
    const std::optional<int> trip = link::RequestedTrip(command);
    return {ExitStatus::NoAnswer,
            "the device's reply to " + (trip ? "trip " + std::to_string(*trip + 1) + " (" + command + ")" : command) +
                " was not a whole record: cut short, or characters that are no digits where its fields stand; "
                "nothing is taken from it"};
  }
  if (!link_.HungUp()) return NoAnswer();
  return {ExitStatus::NoAnswer,
          "device disconnected: the serial adapter was unplugged and the link to the device is lost; "
          "plug it back in and run the command again"};
}

std::optional<Failure> TakeTraceFailure() { return std::exchange(traceFailure, std::nullopt); }

}  // namespace riventar::cli
