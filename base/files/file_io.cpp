#include "base/files/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <random>

namespace riventar::files {
namespace {

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // Closes now and reports the result: a deferred write error can show here.
  int Close() {
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc;
  }

 private:
  int fd_;
};

// Writes everything or reports errno; EINTR and short writes are retried.
int WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return EIO;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return 0;
}

std::string ResolveTarget(const std::string& path) {
  char resolved[PATH_MAX];
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && ::realpath(path.c_str(), resolved)) return resolved;
  return path;
}

}  // namespace

ReadResult ReadWholeFile(const std::string& path, std::size_t maxBytes) {
  ReadResult result;
  int fd;
  // O_NONBLOCK: opening a FIFO would otherwise wait for a writer.
  do fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    result.error = errno;
    return result;
  }
  Fd file(fd);
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    result.error = errno;
    return result;
  }
  // Only a plain file has an end: a FIFO or a terminal would block the
  // program, /dev/zero would fill its memory.
  if (!S_ISREG(st.st_mode)) {
    result.error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return result;
  }
  if (static_cast<std::uintmax_t>(st.st_size) > maxBytes) {
    result.error = EFBIG;
    return result;
  }
  result.bytes.reserve(static_cast<std::size_t>(st.st_size));
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      result.error = errno;
      result.bytes.clear();
      return result;
    }
    if (n == 0) break;
    if (result.bytes.size() + static_cast<std::size_t>(n) > maxBytes) {  // it grew while being read
      result.error = EFBIG;
      result.bytes.clear();
      return result;
    }
    result.bytes.append(buffer, static_cast<std::size_t>(n));
  }
  result.ok = true;
  return result;
}

WriteResult ReplaceFileAtomically(const std::string& path, const std::string& bytes) {
  const std::string target = ResolveTarget(path);
  struct stat existing {};
  const bool exists = ::stat(target.c_str(), &existing) == 0;
  if (exists && !S_ISREG(existing.st_mode)) return {WriteResult::Status::CreateFailed, EISDIR};
  // The replacement must be allowed where the old file is: refuse as the
  // plain create would, before anything is written.
  if (exists && ::access(target.c_str(), W_OK) != 0) return {WriteResult::Status::CreateFailed, errno};

  std::random_device random;
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = target + ".tmp" + std::to_string(random() % 1000000);
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST && errno != EINTR) break;
  }
  if (fd < 0) return {WriteResult::Status::CreateFailed, errno};
  Fd file(fd);
  const auto fail = [&temp](int error) {
    ::unlink(temp.c_str());
    return WriteResult{WriteResult::Status::WriteFailed, error};
  };
  if (exists) ::fchmod(fd, existing.st_mode & 07777);
  if (const int error = WriteAll(fd, bytes.data(), bytes.size())) return fail(error);
  if (::fsync(fd) != 0 && errno != EINVAL) return fail(errno);
  if (file.Close() != 0) return fail(errno);
  if (::rename(temp.c_str(), target.c_str()) != 0) return fail(errno);
  return {};
}

}  // namespace riventar::files
