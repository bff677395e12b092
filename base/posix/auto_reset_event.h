#pragma once
// An event that one thread signals and another waits for; a successful wait
// resets it. The signal/wait pair orders everything the signalling thread
// did before Set() before everything the waiter does after WaitFor().
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace riventar::posix {

class AutoResetEvent {
 public:
  void Set();
  void Reset();
  // True if the event was signalled within `timeout` (it is reset again).
  bool WaitFor(std::chrono::steady_clock::duration timeout);

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool signalled_ = false;
};

}  // namespace riventar::posix
