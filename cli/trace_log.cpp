#include "cli/trace_log.h"

#include <cerrno>

#include "cli/exit_status.h"
#include "platform/posix/errno_text.h"

namespace riventar::cli {

std::string EscapedBytes(std::string_view bytes) {
  std::string out;
  for (const char c : bytes) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else if (c == '\\') out += "\\\\";
    else if (u >= 0x20 && u < 0x7f) out += c;
    else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", u);
      out += hex;
    }
  }
  return out;
}

TraceLog::TraceLog(const std::string& path) : file_(std::fopen(path.c_str(), "w")) {
  if (!file_) throw Failure{ExitStatus::FileIo, "cannot create the trace file " + path + ": " + posix::ErrnoText(errno)};
}

TraceLog::~TraceLog() {
  const std::lock_guard lock(mutex_);
  if (!incoming_.empty()) WriteLine('<', incomingSince_, incoming_);
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
  const std::chrono::duration<double> since = at - start_;
  std::fprintf(file_.get(), "%12.6f %c %s\n", since.count(), direction, EscapedBytes(bytes).c_str());
  std::fflush(file_.get());
}

}  // namespace riventar::cli
