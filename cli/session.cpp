#include "cli/session.h"

#include <memory>
#include <utility>

#include "adapters/link/link.h"
#include "cli/port.h"

namespace riventar::cli {

namespace {

std::optional<Failure> traceFailure;  // main thread only

}  // namespace

Session::Session(const GlobalOptions& options) {
  device_.emplace(std::make_unique<link::Link>());
  if (!options.trace.empty()) {
    trace_.emplace(options.trace);
    device_->Link().SetTrace(trace_->Hook());
  }
  const services::Status connected = device_->Connect(DevicePathFor(options.port));
  if (connected) return;
  Failure failure = FromService(connected.failure());
  // The same lines as the window's box, first line included; the window's
  // last line says how to choose another device, here that is --port.
  if (connected.failure().kind == services::Failure::Kind::PortOpen) {
    failure.message +=
        "\nChoose another device with --port COM1, COM2 or a device path; 'riventar-cli ports' lists those present.";
  }
  throw failure;
}

Session::~Session() {
  device_.reset();  // nothing more comes in to be traced
  if (!trace_) return;
  if (auto problem = trace_->Close()) traceFailure = Failure{ExitStatus::FileIo, std::move(*problem)};
}

std::optional<Failure> TakeTraceFailure() { return std::exchange(traceFailure, std::nullopt); }

}  // namespace riventar::cli
