#include "base/posix/serial_port.h"

#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <poll.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <utility>
#include <vector>

namespace riventar::posix {
namespace {

template <typename Call>
int RetryOnInterrupt(Call call) {
  int result;
  do {
    result = call();
  } while (result < 0 && errno == EINTR);
  return result;
}

// A pseudo-terminal (and some adapters) know neither modem lines nor serial
// info: those ioctls fail with ENOTTY or EINVAL, which is no reason to fail.
bool Unsupported(int error) { return error == ENOTTY || error == EINVAL; }

SerialOpenError Failure(SerialOpenError::Kind kind, std::string operation, int error) {
  return SerialOpenError{kind, error, std::move(operation), {}};
}

std::variant<int, SerialOpenError> Configure(int fd) {
  if (RetryOnInterrupt([&] { return ::flock(fd, LOCK_EX | LOCK_NB); }) < 0) {
    const int e = errno;
    return Failure(e == EWOULDBLOCK ? SerialOpenError::Kind::Busy : SerialOpenError::Kind::Configure, "flock", e);
  }
  // TIOCEXCL keeps other openers out (except root; the lock above covers that).
  if (::ioctl(fd, TIOCEXCL) < 0 && !Unsupported(errno))
    return Failure(SerialOpenError::Kind::Configure, "ioctl(TIOCEXCL)", errno);
  termios tio{};
  if (RetryOnInterrupt([&] { return ::tcgetattr(fd, &tio); }) < 0)
    return Failure(SerialOpenError::Kind::Configure, "tcgetattr", errno);
  ::cfmakeraw(&tio);
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | ISTRIP | IGNPAR | PARMRK);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
  tio.c_cflag |= CS8 | CREAD | CLOCAL;
  // A read returns as soon as one byte is there; poll() does the waiting.
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  ::cfsetispeed(&tio, B9600);
  ::cfsetospeed(&tio, B9600);
  if (RetryOnInterrupt([&] { return ::tcsetattr(fd, TCSANOW, &tio); }) < 0)
    return Failure(SerialOpenError::Kind::Configure, "tcsetattr", errno);
  // Opening raised DTR and RTS, and so does a change from B0 to 9600: the
  // device wants them off, so they are cleared once the speed is set.
  int lines = TIOCM_DTR | TIOCM_RTS;
  if (::ioctl(fd, TIOCMBIC, &lines) < 0 && !Unsupported(errno))
    return Failure(SerialOpenError::Kind::Configure, "ioctl(TIOCMBIC)", errno);
  if (RetryOnInterrupt([&] { return ::tcflush(fd, TCIOFLUSH); }) < 0)
    return Failure(SerialOpenError::Kind::Configure, "tcflush", errno);

  // A USB adapter otherwise holds each reply back for its latency timer.
  // Drivers without the setting simply keep their timing.
  serial_struct info{};
  if (::ioctl(fd, TIOCGSERIAL, &info) == 0) {
    info.flags |= static_cast<int>(ASYNC_LOW_LATENCY);  // bit 13: fits
    (void)::ioctl(fd, TIOCSSERIAL, &info);
  }
  return fd;
}

}  // namespace

SerialPort::~SerialPort() { Close(); }

SerialPort::SerialPort(SerialPort&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

SerialPort& SerialPort::operator=(SerialPort&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

std::variant<SerialPort, SerialOpenError> SerialPort::Open(const std::string& path) {
  // O_NONBLOCK: the open must not wait for a carrier, and the receiver never
  // blocks in read() where a stop request could not reach it.
  const int fd = RetryOnInterrupt([&] { return ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); });
  if (fd < 0) {
    const int e = errno;
    SerialOpenError error = Failure(e == EBUSY ? SerialOpenError::Kind::Busy : SerialOpenError::Kind::Open, "open", e);
    if (e == EACCES) error.access = AccessOf(path);
    return error;
  }
  auto configured = Configure(fd);
  if (auto* error = std::get_if<SerialOpenError>(&configured)) {
    (void)::ioctl(fd, TIOCNXCL);
    ::close(fd);
    return std::move(*error);
  }
  return SerialPort(fd);
}

int SerialPort::Write(std::string_view bytes, std::chrono::milliseconds patience) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n >= 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
      continue;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN) return errno;
    pollfd p{fd_, POLLOUT, 0};
    const int ready = RetryOnInterrupt([&] { return ::poll(&p, 1, static_cast<int>(patience.count())); });
    if (ready < 0) return errno;
    if (ready == 0) return ETIMEDOUT;
  }
  return 0;
}

void SerialPort::Close() {
  if (fd_ < 0) return;
  // Exclusivity belongs to the terminal, not to this descriptor: give it back,
  // or nobody else could open the line while another opener keeps it alive.
  (void)::ioctl(fd_, TIOCNXCL);
  ::close(fd_);  // releases the lock; never retried, the descriptor is gone either way
  fd_ = -1;
}

std::optional<DeviceAccess> AccessOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) < 0) return std::nullopt;
  DeviceAccess access{st.st_uid, st.st_gid, std::to_string(st.st_uid), std::to_string(st.st_gid),
                      static_cast<unsigned>(st.st_mode & 07777)};
  std::vector<char> buffer(4096);
  passwd user{};
  passwd* foundUser = nullptr;
  while (::getpwuid_r(st.st_uid, &user, buffer.data(), buffer.size(), &foundUser) == ERANGE)
    buffer.resize(buffer.size() * 2);
  if (foundUser) access.owner = foundUser->pw_name;
  group entry{};
  group* foundGroup = nullptr;
  while (::getgrgid_r(st.st_gid, &entry, buffer.data(), buffer.size(), &foundGroup) == ERANGE)
    buffer.resize(buffer.size() * 2);
  if (foundGroup) access.group = foundGroup->gr_name;
  return access;
}

}  // namespace riventar::posix
