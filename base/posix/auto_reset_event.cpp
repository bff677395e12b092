#include "base/posix/auto_reset_event.h"

namespace riventar::posix {

void AutoResetEvent::Set() {
  {
    std::lock_guard lock(mutex_);
    signalled_ = true;
  }
  changed_.notify_one();
}

void AutoResetEvent::Reset() {
  std::lock_guard lock(mutex_);
  signalled_ = false;
}

bool AutoResetEvent::WaitFor(std::chrono::steady_clock::duration timeout) {
  std::unique_lock lock(mutex_);
  // An absolute deadline, so spurious wake-ups do not stretch the wait.
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  if (!changed_.wait_until(lock, deadline, [this] { return signalled_; })) return false;
  signalled_ = false;
  return true;
}

}  // namespace riventar::posix
