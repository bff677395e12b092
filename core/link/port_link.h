#pragma once
// A link over a port: what a session needs of the transport beneath the
// exchange. The serial implementation lives with the adapters
// (adapters/link); the core and its tests see only this.
//
// Threads: every member function is called from one thread only (the thread
// that exchanges). The hang-up handler and the trace hook may run on the
// implementation's own threads, as said below.
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/link/exchange.h"

namespace riventar::link {

// Sees every byte on the wire, for support logs. Threads: the receiver calls
// it for each incoming byte as it is read, the exchanging thread for each
// command just before it is written; the two may overlap.
enum class TraceDirection { Out, In };
using TraceHook = std::function<void(TraceDirection direction, std::string_view bytes)>;

struct OpenFailure {
  enum class Step { OpenPort, CreateEvent };
  Step step;
  std::string detail;  // device path, system reason, hints (several lines)
};

class PortLink : public Exchange {
 public:
  // Opens the device at `devicePath` and starts taking its replies. Nothing
  // stays open on failure. The echo check starts off.
  virtual std::optional<OpenFailure> Start(const std::string& devicePath) = 0;
  // Closes the port; sends nothing. Harmless when the link is down.
  virtual void Stop() = 0;
  virtual bool IsUp() const = 0;
  // Runs on the implementation's thread, once per connection, when the port
  // hangs up (the adapter was pulled out): keep it short and thread-safe.
  // Set it while the link is down.
  virtual void SetHangUpHandler(std::function<void()> handler) = 0;
  // True once the current connection's port has hung up; any thread.
  virtual bool HungUp() const = 0;
  // Set while the link is down; it serves every later Start.
  virtual void SetTrace(TraceHook hook) = 0;

 protected:
  PortLink() = default;
};

}  // namespace riventar::link
