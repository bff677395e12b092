#pragma once
// A private Xvfb for tests that need real X11 windows. It takes a display
// number no default server uses, runs without resets (a server that resets
// when its last client leaves drops clients connecting meanwhile), and is
// ready only once it has accepted a connection.
#include <sys/types.h>

#include <string>

namespace riventar::testing {

class PrivateXServer {
 public:
  PrivateXServer();
  ~PrivateXServer();
  PrivateXServer(const PrivateXServer&) = delete;
  PrivateXServer& operator=(const PrivateXServer&) = delete;

  // ":N" once the server accepts clients; empty when it could not be started.
  const std::string& Display() const { return display_; }
  // Xvfb is not installed.
  bool Missing() const { return missing_; }
  // Why it is not running, with the server's own output.
  const std::string& Failure() const { return failure_; }
  // The server's output so far, for failure messages.
  std::string Log() const;

 private:
  bool TryDisplay(int number);

  pid_t pid_ = -1;
  bool missing_ = false;
  std::string display_;
  std::string failure_;
  std::string logPath_;
};

// The title a window manager reads: _NET_WM_NAME (UTF-8) of X11 window
// `window` on $DISPLAY; empty when it has none.
std::string NetWmName(unsigned long window);

}  // namespace riventar::testing
