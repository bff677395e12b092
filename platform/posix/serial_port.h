#pragma once
// A serial line opened the way the device needs it: raw 9600 baud, 8N1, no
// flow control, DTR and RTS held off, modem lines ignored, exclusive.
//
// Threads: the descriptor may be read by one thread (the receiver, through
// poll) while another writes; opening and closing belong to the owner, and
// closing must wait until the reader is gone.
#include <chrono>
#include <string>
#include <string_view>
#include <variant>

namespace riventar::posix {

struct SerialOpenError {
  enum class Kind {
    Open,       // the device could not be opened at all
    Busy,       // another program holds it
    Configure,  // opened, but it would not take the line settings
  };
  Kind kind = Kind::Open;
  int error = 0;          // errno of the failed call
  std::string operation;  // the call that failed ("open", "flock", "tcsetattr", ...)
  std::string group;      // for EACCES: the group that owns the device, if known
};

class SerialPort {
 public:
  SerialPort() = default;
  ~SerialPort();
  SerialPort(SerialPort&& other) noexcept;
  SerialPort& operator=(SerialPort&& other) noexcept;
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Opens, locks, configures and purges the device. Nothing stays open on failure.
  static std::variant<SerialPort, SerialOpenError> Open(const std::string& path);

  // Non-blocking descriptor: wait for input with poll().
  int Fd() const { return fd_; }

  // Writes every byte; a full driver buffer is waited for up to `patience`.
  // Returns 0 or the errno of the failure.
  int Write(std::string_view bytes, std::chrono::milliseconds patience = std::chrono::milliseconds{1000});

  // Gives up exclusivity and closes. The reader must have stopped.
  void Close();

 private:
  explicit SerialPort(int fd) : fd_(fd) {}
  int fd_ = -1;
};

// The group owning `path` (empty when it cannot be found out).
std::string OwningGroup(const std::string& path);

}  // namespace riventar::posix
