#include "adapters/link/receiver.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <utility>

namespace riventar::link {

TCOMThread::TCOMThread(int portFd, ExchangeBuffer& buffer, posix::AutoResetEvent& replyEvent,
                       std::function<void()> onHangUp, ByteHook received)
    : portFd_(portFd),
      buffer_(buffer),
      replyEvent_(replyEvent),
      onHangUp_(std::move(onHangUp)),
      received_(std::move(received)),
      thread_([this] { Execute(); }) {}

TCOMThread::~TCOMThread() { Stop(); }

void TCOMThread::Stop() {
  if (!thread_.joinable()) return;
  stopRequest_.Signal();
  thread_.join();
}

void TCOMThread::Execute() {
  LineAssembler lines(buffer_);
  // After a hang-up (adapter unplugged, peer gone) the port reports itself
  // readable for ever; it is then left alone and exchanges simply time out.
  bool portAlive = true;
  auto hangUp = [&] {
    portAlive = false;
    if (onHangUp_) onHangUp_();
  };
  for (;;) {
    pollfd fds[2] = {{stopRequest_.Fd(), POLLIN, 0}, {portAlive ? portFd_ : -1, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[0].revents != 0) return;
    if (fds[1].revents == 0) continue;
    if ((fds[1].revents & POLLIN) == 0) {
      hangUp();
      continue;
    }
    char byte = 0;
    const ssize_t n = ::read(portFd_, &byte, 1);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n != 1) {
      hangUp();
      continue;
    }
    if (received_) received_(byte);
    if (lines.Take(byte)) replyEvent_.Set();
  }
}

}  // namespace riventar::link
