#pragma once
// The serial link to the device: port, receiver thread and the hand-over of
// reply lines beneath the command exchange.
//
// Threads: every member function is called from one thread only (the UI
// thread). The receiver thread exists while the link is up; it reads the port
// one byte at a time and hands each line that starts with '!' and ends with a
// CR over to the exchanging thread, signalling the reply event.
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/link/port_link.h"

namespace riventar::link {

class Link final : public PortLink {
 public:
  Link();
  ~Link() override;  // stops the link if it is up
  Link(const Link&) = delete;
  Link& operator=(const Link&) = delete;

  // Opens and configures the device at `devicePath`, purges it and starts the
  // receiver. Nothing stays open on failure. The echo check starts off.
  std::optional<OpenFailure> Start(const std::string& devicePath) override;
  // Stop request, wait for the receiver's end, close event and port.
  // Sends nothing. Harmless when the link is down.
  void Stop() override;
  bool IsUp() const override;

  // Runs on the receiver thread, once per connection, when the port hangs up
  // (the adapter was pulled out): keep it short and thread-safe, e.g. post
  // to the UI thread. Set it while the link is down.
  void SetHangUpHandler(std::function<void()> handler) override;
  // True once the current connection's port has hung up; any thread.
  bool HungUp() const override;

  // Set while the link is down; it serves every later Start.
  void SetTrace(TraceHook hook) override;

 protected:
  bool Send(std::string_view command) override;
  std::optional<Reply> NextReply(std::chrono::steady_clock::time_point deadline) override;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace riventar::link
