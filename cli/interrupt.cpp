#include "cli/interrupt.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <csignal>

#include "adapters/logbook/pg_store.h"

namespace riventar::cli {
namespace {

// Read in a signal handler on any thread: lock-free atomics only.
std::atomic<bool> progressShown{false};
std::atomic<int> deferring{0};
std::atomic<int> deferredSignal{0};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free);

constexpr int Signals[] = {SIGINT, SIGTERM, SIGHUP};

[[noreturn]] void DieOf(int signal) {
  // A server need not go on with what this program asked, nor keep its locks.
  logbook::CancelServerStatements();
  if (progressShown) {
    static constexpr char Clear[] = "\r\033[K";
    [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, Clear, sizeof Clear - 1);
  }
  std::signal(signal, SIG_DFL);
  // Blocked while its handler runs, hence unblocked here so that it kills at once.
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal);
  ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  std::raise(signal);
  ::_exit(128 + signal);  // not reached
}

void OnSignal(int signal) {
  if (deferring > 0) {
    deferredSignal = signal;
    return;
  }
  DieOf(signal);
}

}  // namespace

void InstallInterruptHandlers() {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (const int s : Signals) sigaddset(&action.sa_mask, s);
  for (const int s : Signals) {
    struct sigaction old {};
    // A signal ignored by whoever started the program (nohup, a background job) stays ignored.
    if (::sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    ::sigaction(s, &action, nullptr);
  }
}

ProgressLine::ProgressLine() { progressShown = true; }
ProgressLine::~ProgressLine() { progressShown = false; }

InterruptsDeferred::InterruptsDeferred() { ++deferring; }
InterruptsDeferred::~InterruptsDeferred() {
  if (--deferring == 0 && deferredSignal != 0) DieOf(deferredSignal);
}

}  // namespace riventar::cli
