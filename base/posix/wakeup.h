#pragma once
// A descriptor a blocked poll() can wait on beside the port, so another
// thread can wake it at once (an eventfd).
#include <string>

namespace riventar::posix {

class Wakeup {
 public:
  Wakeup();  // throws std::system_error when no descriptor can be had
  ~Wakeup();
  Wakeup(const Wakeup&) = delete;
  Wakeup& operator=(const Wakeup&) = delete;

  int Fd() const { return fd_; }
  // Makes Fd() readable until Clear(); safe from any thread.
  void Signal();
  void Clear();

 private:
  int fd_ = -1;
};

}  // namespace riventar::posix
