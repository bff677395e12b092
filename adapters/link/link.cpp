#include "adapters/link/link.h"

#include <atomic>
#include <system_error>
#include <utility>
#include <variant>

#include "adapters/link/receiver.h"
#include "base/posix/auto_reset_event.h"
#include "base/posix/serial_port.h"
#include "core/link/exchange_buffer.h"
#include "core/link/open_failure.h"

namespace riventar::link {

// Lives as long as the Link, so the buffer outlasts every connection, and
// the port outlasts the receiver that reads it (members die in reverse).
struct Link::State {
  ExchangeBuffer buffer;
  posix::AutoResetEvent replyEvent;
  posix::SerialPort port;
  std::unique_ptr<TCOMThread> receiver;
  std::atomic<bool> hungUp{false};  // written by the receiver, reset before it starts
  std::function<void()> onHangUp;   // set while the link is down, called by the receiver
  TraceHook trace;
};

Link::Link() : state_(std::make_unique<State>()) {}

Link::~Link() { Stop(); }

std::optional<OpenFailure> Link::Start(const std::string& devicePath) {
  Stop();
  auto opened = posix::SerialPort::Open(devicePath);
  if (const auto* error = std::get_if<posix::SerialOpenError>(&opened))
    return OpenFailure{OpenFailure::Step::OpenPort, DescribeOpenFailure(devicePath, *error)};
  State& s = *state_;
  s.port = std::get<posix::SerialPort>(std::move(opened));
  s.replyEvent.Reset();
  s.hungUp = false;
  SetEchoCheck(false);  // until the handshake shows the device echoes
  try {
    TCOMThread::ByteHook received;
    if (s.trace) received = [&trace = s.trace](char byte) { trace(TraceDirection::In, {&byte, 1}); };
    s.receiver = std::make_unique<TCOMThread>(
        s.port.Fd(), s.buffer, s.replyEvent,
        [&s] {
          s.hungUp = true;
          if (s.onHangUp) s.onHangUp();
        },
        std::move(received));
  } catch (const std::system_error& e) {
    s.port.Close();
    return OpenFailure{OpenFailure::Step::CreateEvent, e.what()};
  }
  return std::nullopt;
}

void Link::Stop() {
  State& s = *state_;
  // The receiver goes first: no read may be pending on a closed descriptor.
  s.receiver.reset();
  s.port.Close();
}

bool Link::IsUp() const { return state_->receiver != nullptr; }

bool Link::Send(std::string_view command) {
  State& s = *state_;
  if (!IsUp()) return false;
  s.replyEvent.Reset();
  s.buffer.CommandWritten();
  // Traced before the write: the reply may be in before Write returns. A
  // failed write shows up as a missing reply.
  if (s.trace) s.trace(TraceDirection::Out, command);
  (void)s.port.Write(command, ReplyTimeout);
  return true;
}

std::optional<Reply> Link::NextReply(std::chrono::steady_clock::time_point deadline) {
  State& s = *state_;
  for (;;) {
    if (auto line = s.buffer.Take()) return line;
    if (!s.replyEvent.WaitFor(deadline - std::chrono::steady_clock::now())) return std::nullopt;
  }
}

void Link::SetHangUpHandler(std::function<void()> handler) { state_->onHangUp = std::move(handler); }

bool Link::HungUp() const { return state_->hungUp; }

void Link::SetTrace(TraceHook hook) { state_->trace = std::move(hook); }

}  // namespace riventar::link
