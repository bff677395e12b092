#include "cli/trace_log.h"

#include <cerrno>

#include "base/posix/errno_text.h"
#include "cli/exit_status.h"

namespace riventar::cli {

std::string EscapedBytes(std::string_view bytes) {
  std::string out;
  for (const char c : bytes) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\r')
      out += "\\r";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\\')
      out += "\\\\";
    else if (u >= 0x20 && u < 0x7f)
      out += c;
    else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", u);
      out += hex;
    }
  }
  return out;
}

TraceLog::TraceLog(const std::string& path) : path_(path), file_(std::fopen(path.c_str(), "w")) {
  if (!file_)
    throw Failure{ExitStatus::FileIo, "cannot create the trace file " + path + ": " + posix::ErrnoText(errno)};
}

TraceLog::~TraceLog() { Close(); }

std::optional<std::string> TraceLog::Close() {
  const std::lock_guard lock(mutex_);
  if (!file_) return std::nullopt;
  if (!incoming_.empty()) WriteLine('<', incomingSince_, incoming_);
  incoming_.clear();
  // A full disk may show only now, when the last buffered bytes go out.
  if (std::fclose(file_.release()) != 0 && error_ == 0) error_ = errno;
  if (error_ == 0) return std::nullopt;
  return "cannot write the trace file " + path_ + ": " + posix::ErrnoText(error_) + "; the trace is incomplete";
}

link::TraceHook TraceLog::Hook() {
  return [this](link::TraceDirection direction, std::string_view bytes) { Record(direction, bytes); };
}

void TraceLog::Record(link::TraceDirection direction, std::string_view bytes) {
  const auto now = std::chrono::steady_clock::now();
  const std::lock_guard lock(mutex_);
  if (direction == link::TraceDirection::Out) {
    WriteLine('>', now, bytes);
    return;
  }
  // Received bytes come one at a time; a line is written once its CR is in.
  for (const char c : bytes) {
    if (incoming_.empty()) incomingSince_ = now;
    incoming_ += c;
    if (c == '\r') {
      WriteLine('<', incomingSince_, incoming_);
      incoming_.clear();
    }
  }
}

void TraceLog::WriteLine(char direction, std::chrono::steady_clock::time_point at, std::string_view bytes) {
  if (!file_ || error_ != 0) return;
  const std::chrono::duration<double> since = at - start_;
  if (std::fprintf(file_.get(), "%12.6f %c %s\n", since.count(), direction, EscapedBytes(bytes).c_str()) < 0 ||
      std::fflush(file_.get()) != 0) {
    error_ = errno != 0 ? errno : EIO;
  }
}

}  // namespace riventar::cli
