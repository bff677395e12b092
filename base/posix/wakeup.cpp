#include "base/posix/wakeup.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace riventar::posix {

Wakeup::Wakeup() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

Wakeup::~Wakeup() { ::close(fd_); }

void Wakeup::Signal() {
  const std::uint64_t one = 1;
  // EAGAIN only when the counter is already huge: it is readable anyway.
  while (::write(fd_, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void Wakeup::Clear() {
  std::uint64_t value = 0;
  while (::read(fd_, &value, sizeof value) < 0 && errno == EINTR) {
  }
}

}  // namespace riventar::posix
