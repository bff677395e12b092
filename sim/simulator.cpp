#include "sim/simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <system_error>

namespace riventar::sim {
namespace {

using Steady = std::chrono::steady_clock;

[[noreturn]] void Fail(const char* what) { throw std::system_error(errno, std::generic_category(), what); }

}  // namespace

Simulator::Simulator(SimulatorOptions options) : device_(options.clockRunning), pace_(options.pace) {
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (master_ < 0) Fail("posix_openpt");
  char name[128];
  if (::grantpt(master_) < 0 || ::unlockpt(master_) < 0 || ::ptsname_r(master_, name, sizeof name) != 0) {
    const int e = errno;
    ::close(master_);
    errno = e;
    Fail("pty");
  }
  slavePath_ = name;
  slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave_ < 0) {
    const int e = errno;
    ::close(master_);
    errno = e;
    Fail("open pty slave");
  }
  // Raw from the start: no echo of what the device sends, no CR translation.
  termios tio{};
  if (::tcgetattr(slave_, &tio) == 0) {
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, B9600);
    ::cfsetospeed(&tio, B9600);
    ::tcsetattr(slave_, TCSANOW, &tio);
  }
  thread_ = std::thread([this] { Run(); });
}

Simulator::~Simulator() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.Signal();
  thread_.join();
  ::close(slave_);
  if (master_ >= 0) ::close(master_);
}

void Simulator::Run() {
  // Byte pacing needs sleeps that end on time, not up to 50 us late.
  ::prctl(PR_SET_TIMERSLACK, 1UL);
  std::string line;
  Steady::time_point lastArrival{};
  for (;;) {
    timespec wait{};
    timespec* timeout = nullptr;
    {
      std::lock_guard lock(mutex_);
      if (stopping_) return;
      if (unplug_ && master_ >= 0) {
        ::close(master_);
        master_ = -1;
        outgoing_.clear();
        unplugged_.notify_all();
      }
      if (!outgoing_.empty()) {
        const auto left = std::max(Steady::duration::zero(), outgoing_.front().due - Steady::now());
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        wait = {static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
        timeout = &wait;
      }
    }
    pollfd fds[2] = {{wake_.Fd(), POLLIN, 0}, {master_, POLLIN, 0}};
    if (::ppoll(fds, 2, timeout, nullptr) < 0 && errno != EINTR) return;
    if (fds[0].revents) wake_.Clear();
    if (fds[1].revents & POLLIN) {
      char bytes[256];
      const ssize_t n = ::read(master_, bytes, sizeof bytes);
      bool paced;
      {
        std::lock_guard lock(mutex_);
        paced = pace_;
        if (n > 0) bytesReceived_ += static_cast<std::size_t>(n);
      }
      for (ssize_t i = 0; i < n; ++i) {
        // A paced byte has arrived once its ten bits have crossed the wire.
        const Steady::time_point now = Steady::now();
        lastArrival = paced ? std::max(now, lastArrival) + ByteTime : now;
        if (bytes[i] == '\r') {
          HandleLine(line, lastArrival);
          line.clear();
        } else if (line.size() < 256) {
          line += bytes[i];
        }
      }
    }
    std::string due;
    {
      std::lock_guard lock(mutex_);
      const Steady::time_point now = Steady::now();
      auto end = std::find_if(outgoing_.begin(), outgoing_.end(), [&](const Pending& p) { return p.due > now; });
      for (auto it = outgoing_.begin(); it != end; ++it) due += it->byte;
      outgoing_.erase(outgoing_.begin(), end);
    }
    // Nobody reading and the pty full: the bytes are lost, as on a wire.
    for (std::size_t done = 0; done < due.size();) {
      const ssize_t n = ::write(master_, due.data() + done, due.size() - done);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else {
        break;
      }
    }
  }
}

void Simulator::Enqueue(const std::string& bytes, Steady::time_point earliest) {
  Steady::time_point at = std::max(earliest, lineFree_);
  for (char b : bytes) {
    if (pace_) at += ByteTime;
    outgoing_.push_back({at, b});
  }
  lineFree_ = at;
  bytesSent_ += bytes.size();
}

void Simulator::HandleLine(const std::string& line, Steady::time_point arrived) {
  std::function<void(const std::string&)> observer;
  {
    std::lock_guard lock(mutex_);
    commands_.push_back(line);
    observer = observer_;
    commandArrived_.notify_all();
    if (line.empty() || line[0] != '$') return;  // not a command: the device says nothing
    const std::string text = line.substr(1);
    Misbehaviour& m = misbehaviour_;
    const auto named = [&text](const std::vector<std::string>& prefixes) {
      return std::any_of(prefixes.begin(), prefixes.end(),
                         [&](const std::string& prefix) { return text.compare(0, prefix.size(), prefix) == 0; });
    };
    bool answer = !named(m.silentOn);
    if (answer && m.ignoreNext > 0) {
      --m.ignoreNext;
      answer = false;
    } else if (answer && m.silentAfter) {
      answer = *m.silentAfter > 0;
      if (answer) --*m.silentAfter;
    }
    // A command the device never heard changes nothing in it.
    if (answer) {
      const bool late = m.lateOn.empty() || named(m.lateOn);
      if (auto reply = device_.Answer(text)) {
        for (const Misbehaviour::Cut& cut : m.cutOn)
          if (text.compare(0, cut.command.size(), cut.command) == 0 && cut.keep + 1 < reply->size())
            *reply = reply->substr(0, cut.keep) + "\r";
        Enqueue(m.preamble + *reply, arrived + (late ? m.late : Steady::duration{}));
      }
    }
  }
  if (observer) observer(line);
}

void Simulator::SetTrips(std::vector<DeviceTrip> trips) {
  std::lock_guard lock(mutex_);
  device_.trips = std::move(trips);
}

std::vector<DeviceTrip> Simulator::Trips() const {
  std::lock_guard lock(mutex_);
  return device_.trips;
}

void Simulator::SetSettings(const DeviceSettings& settings) {
  std::lock_guard lock(mutex_);
  device_.settings = settings;
}

DeviceSettings Simulator::Settings() const {
  std::lock_guard lock(mutex_);
  return device_.settings;
}

void Simulator::SetClock(const DeviceClock& clock) {
  std::lock_guard lock(mutex_);
  device_.SetClock(clock);
}

DeviceClock Simulator::Clock() const {
  std::lock_guard lock(mutex_);
  return device_.Clock();
}

void Simulator::SetPace(bool pace) {
  std::lock_guard lock(mutex_);
  pace_ = pace;
}

void Simulator::SetMisbehaviour(Misbehaviour m) {
  std::lock_guard lock(mutex_);
  misbehaviour_ = std::move(m);
}

Misbehaviour Simulator::CurrentMisbehaviour() const {
  std::lock_guard lock(mutex_);
  return misbehaviour_;
}

void Simulator::SendRaw(std::string bytes) {
  {
    std::lock_guard lock(mutex_);
    Enqueue(bytes, Steady::now());
  }
  wake_.Signal();  // the loop may be asleep with no deadline
}

void Simulator::Unplug() {
  std::unique_lock lock(mutex_);
  unplug_ = true;
  wake_.Signal();
  unplugged_.wait(lock, [this] { return master_ < 0; });
}

std::vector<std::string> Simulator::Commands() const {
  std::lock_guard lock(mutex_);
  return commands_;
}

void Simulator::ClearCommands() {
  std::lock_guard lock(mutex_);
  commands_.clear();
}

bool Simulator::WaitForCommands(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return commandArrived_.wait_for(lock, timeout, [&] { return commands_.size() >= count; });
}

void Simulator::SetCommandObserver(std::function<void(const std::string&)> observer) {
  std::lock_guard lock(mutex_);
  observer_ = std::move(observer);
}

std::size_t Simulator::BytesReceived() const {
  std::lock_guard lock(mutex_);
  return bytesReceived_;
}

std::size_t Simulator::BytesSent() const {
  std::lock_guard lock(mutex_);
  return bytesSent_;
}

}  // namespace riventar::sim
