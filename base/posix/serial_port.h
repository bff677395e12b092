#pragma once
// A serial line opened the way the device needs it: raw 9600 baud, 8N1, no
// flow control, DTR and RTS held off, modem lines ignored, exclusive.
//
// Threads: the descriptor may be read by one thread (the receiver, through
// poll) while another writes; opening and closing belong to the owner, and
// closing must wait until the reader is gone.
#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace riventar::posix {

// Who may open a device node, as stat() tells it.
struct DeviceAccess {
  unsigned uid = 0;
  unsigned gid = 0;
  std::string owner;  // user name, or the number when it has none
  std::string group;  // group name, or the number when it has none
  unsigned mode = 0;  // permission bits only (0660)

  bool GroupMayReadWrite() const { return (mode & 060u) == 060u; }
};

struct SerialOpenError {
  enum class Kind {
    Open,       // the device could not be opened at all
    Busy,       // another program holds it
    Configure,  // opened, but it would not take the line settings
  };
  Kind kind = Kind::Open;
  int error = 0;                       // errno of the failed call
  std::string operation;               // the call that failed ("open", "flock", "tcsetattr", ...)
  std::optional<DeviceAccess> access;  // for EACCES, when the node could be examined
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

// Owner, group and mode of `path`; nothing when it cannot be examined.
std::optional<DeviceAccess> AccessOf(const std::string& path);

}  // namespace riventar::posix
