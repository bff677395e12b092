#pragma once
// The on-board computer on a pseudo-terminal, for tests and for running the
// program without a device. Plain C++; the device runs on a thread of its own.
//
//   riventar::sim::Simulator sim;          // pty made, device answering
//   sim.SetTrips(RealisticTrips(3));
//   link.Start(sim.SlavePath());          // or RIVENTAR_COM1=<path>
//   sim.WaitForCommands(2, 1s);
//   sim.Commands();                        // {"$NOP", "$TN", ...}
//
// Every member may be called from any thread. The simulator keeps its own
// descriptor of the slave open, so the program can close the port and open
// it again as often as it likes.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/posix/wakeup.h"
#include "sim/device.h"
#include "sim/trip_store.h"

namespace riventar::sim {

// 10 bits a byte at 9600 baud.
inline constexpr std::chrono::nanoseconds ByteTime{1'041'667};

// Ways to misbehave on demand; all apply to commands received after they are set.
struct Misbehaviour {
  // The next n commands go unanswered, then answers resume.
  int ignoreNext = 0;
  // Answer this many more commands, then none at all.
  std::optional<int> silentAfter;
  // Commands whose text after "$" starts with one of these go unanswered
  // ("TR01", "TC", "WCR").
  std::vector<std::string> silentOn;
  // Each reply leaves this long after its command has arrived; with lateOn
  // set, only the replies to commands that start with one of those.
  std::chrono::milliseconds late{0};
  std::vector<std::string> lateOn;
  // Sent before every reply: "#E1\r" is a noise line the program drops;
  // bytes without a CR hide the reply behind them; 99 characters without a
  // CR push the reply's "!" onto position 99.
  std::string preamble;
  // Replies to commands whose text after "$" starts with `command` keep only
  // their first `keep` characters, then the CR: a reply cut short.
  struct Cut {
    std::string command;
    std::size_t keep = 0;
    friend bool operator==(const Cut&, const Cut&) = default;
  };
  std::vector<Cut> cutOn;

  // One misbehaviour each, for brevity (designated initialisers that leave
  // fields out trip -Wmissing-field-initializers).
  static Misbehaviour IgnoreNext(int n) {
    Misbehaviour m;
    m.ignoreNext = n;
    return m;
  }
  static Misbehaviour SilentAfter(int n) {
    Misbehaviour m;
    m.silentAfter = n;
    return m;
  }
  static Misbehaviour SilentOn(std::vector<std::string> prefixes) {
    Misbehaviour m;
    m.silentOn = std::move(prefixes);
    return m;
  }
  static Misbehaviour Late(std::chrono::milliseconds late) {
    Misbehaviour m;
    m.late = late;
    return m;
  }
  static Misbehaviour LateOn(std::chrono::milliseconds late, std::vector<std::string> prefixes) {
    Misbehaviour m;
    m.late = late;
    m.lateOn = std::move(prefixes);
    return m;
  }
  static Misbehaviour CutOn(std::string command, std::size_t keep) {
    Misbehaviour m;
    m.cutOn.push_back({std::move(command), keep});
    return m;
  }
  static Misbehaviour Preamble(std::string bytes) {
    Misbehaviour m;
    m.preamble = std::move(bytes);
    return m;
  }

  friend bool operator==(const Misbehaviour&, const Misbehaviour&) = default;
};

inline const std::string NoiseLine = "#E1\r";
// A line the program must drop for its length, after which it reads on.
inline std::string OverlongLine() { return std::string(120, 'x') + "\r"; }

struct SimulatorOptions {
  bool pace = false;          // 9600 baud in both directions, byte by byte
  bool clockRunning = false;  // the device clock follows the PC's clock

  static SimulatorOptions Paced() {
    SimulatorOptions o;
    o.pace = true;
    return o;
  }
};

class Simulator {
 public:
  // Makes the pty and starts answering. Throws std::system_error.
  explicit Simulator(SimulatorOptions options = {});
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // The slave side, for the program to open (e.g. /dev/pts/7).
  const std::string& SlavePath() const { return slavePath_; }

  // Device state.
  void SetTrips(std::vector<DeviceTrip> trips);
  std::vector<DeviceTrip> Trips() const;
  void SetSettings(const DeviceSettings& settings);
  DeviceSettings Settings() const;
  void SetClock(const DeviceClock& clock);
  DeviceClock Clock() const;

  // Transport.
  void SetPace(bool pace);
  void SetMisbehaviour(Misbehaviour m);
  Misbehaviour CurrentMisbehaviour() const;  // ignoreNext and silentAfter count down
  // Raw bytes to the program, now, outside any reply.
  void SendRaw(std::string bytes);
  // The adapter pulled out: the device's side of the pty is closed and what
  // was still to be sent is lost, so the program's port hangs up. Returns once
  // it is done; not from the command observer. The pty cannot come back: a
  // new Simulator is the device plugged in again.
  void Unplug();

  // Every line received, without its CR ("$NOP", "$TR00", ...), in order.
  std::vector<std::string> Commands() const;
  void ClearCommands();
  // Waits until at least `count` lines have been received in all.
  bool WaitForCommands(std::size_t count, std::chrono::milliseconds timeout) const;
  // Runs on the simulator's thread for each received line (the --log option).
  void SetCommandObserver(std::function<void(const std::string&)> observer);

  // Bytes of commands received and replies sent (CRs included), for wire-time figures.
  std::size_t BytesReceived() const;
  std::size_t BytesSent() const;

 private:
  void Run();
  void HandleLine(const std::string& line, std::chrono::steady_clock::time_point arrived);
  // Queues bytes to leave no earlier than `earliest`, after what is queued. Lock held.
  void Enqueue(const std::string& bytes, std::chrono::steady_clock::time_point earliest);

  int master_ = -1;  // -1 once unplugged; changed only by the device's thread
  int slave_ = -1;   // held so the pty survives the program closing its side
  std::string slavePath_;

  mutable std::mutex mutex_;
  mutable std::condition_variable commandArrived_;
  Device device_;
  bool pace_ = false;
  Misbehaviour misbehaviour_;
  std::vector<std::string> commands_;
  std::function<void(const std::string&)> observer_;
  std::size_t bytesReceived_ = 0;
  std::size_t bytesSent_ = 0;
  // Bytes due to the program, each with the moment it has crossed the wire.
  struct Pending {
    std::chrono::steady_clock::time_point due;
    char byte;
  };
  std::vector<Pending> outgoing_;                     // in order of `due`
  std::chrono::steady_clock::time_point lineFree_{};  // when the last queued byte is through
  bool stopping_ = false;
  bool unplug_ = false;
  std::condition_variable unplugged_;

  posix::Wakeup wake_;
  std::thread thread_;
};

}  // namespace riventar::sim
