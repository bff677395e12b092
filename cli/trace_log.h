#pragma once
// The --trace file: one line per command sent and per line received, each
// with seconds since the trace began (steady clock), ">" for bytes sent or
// "<" for bytes received, and the bytes with CR, LF, backslash and anything
// outside printable ASCII escaped ("\r", "\x8f").
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "core/link/port_link.h"

namespace riventar::cli {

std::string EscapedBytes(std::string_view bytes);

class TraceLog {
 public:
  // Throws Failure (FileIo) when the file cannot be created.
  explicit TraceLog(const std::string& path);
  ~TraceLog();  // Close, its result dropped

  // Writes out a received line still without its CR and closes the file; the
  // message for the first write that failed, if any did. Once the link is down.
  std::optional<std::string> Close();

  // The hook for link::Link::SetTrace; the log must outlive the link's receiver.
  link::TraceHook Hook();

 private:
  void Record(link::TraceDirection direction, std::string_view bytes);
  void WriteLine(char direction, std::chrono::steady_clock::time_point at, std::string_view bytes);  // lock held

  struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  const std::string path_;
  std::unique_ptr<std::FILE, FileCloser> file_;
  int error_ = 0;  // errno of the first failed write; later lines are not tried
  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::mutex mutex_;      // the receiver thread and the main thread both record
  std::string incoming_;  // received bytes since the last CR
  std::chrono::steady_clock::time_point incomingSince_;
};

}  // namespace riventar::cli
