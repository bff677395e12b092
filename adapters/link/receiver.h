#pragma once
// TCOMThread: the receiver. It runs from the moment it is constructed until
// it is stopped, reading the port one byte at a time into a line of its own,
// publishing each complete reply line to the exchange buffer and signalling
// the reply event.
//
// It sleeps in poll() on the port and on a wake-up descriptor, so a stop
// takes as long as a thread switch and an idle link costs nothing.
// The port must stay open until Stop() (or the destructor) has returned.
#include <functional>
#include <thread>

#include "base/posix/auto_reset_event.h"
#include "base/posix/wakeup.h"
#include "core/link/exchange_buffer.h"

namespace riventar::link {

class TCOMThread {
 public:
  // Runs on the receiver thread for each byte read, before it is stored.
  using ByteHook = std::function<void(char byte)>;

  // Throws std::system_error when the thread or its wake-up cannot be had.
  // `onHangUp` runs on this thread, once, when the port hangs up.
  TCOMThread(int portFd, ExchangeBuffer& buffer, posix::AutoResetEvent& replyEvent, std::function<void()> onHangUp = {},
             ByteHook received = {});
  ~TCOMThread();  // Stop()
  TCOMThread(const TCOMThread&) = delete;
  TCOMThread& operator=(const TCOMThread&) = delete;

  // Requests the end and waits for it. No read is left pending.
  void Stop();

 private:
  void Execute();

  const int portFd_;
  ExchangeBuffer& buffer_;
  posix::AutoResetEvent& replyEvent_;
  const std::function<void()> onHangUp_;
  const ByteHook received_;
  posix::Wakeup stopRequest_;
  std::thread thread_;  // last: starts once everything above exists
};

}  // namespace riventar::link
