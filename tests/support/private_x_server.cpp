#include "tests/support/private_x_server.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <X11/Xlib.h>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace riventar::testing {

PrivateXServer::PrivateXServer() {
  char logTemplate[] = "/tmp/riventar-xvfb-XXXXXX";
  const int logFd = ::mkstemp(logTemplate);
  if (logFd < 0) {
    failure_ = "no log file for Xvfb";
    return;
  }
  ::close(logFd);
  logPath_ = logTemplate;
  // Far above the numbers desktops and other test servers take by default.
  const int first = 400 + static_cast<int>(::getpid() % 400) * 4;
  for (int number = first; number < first + 40; ++number) {
    struct stat st {};
    if (::stat(("/tmp/.X" + std::to_string(number) + "-lock").c_str(), &st) == 0) continue;
    if (TryDisplay(number) || missing_) return;
  }
  if (failure_.empty()) failure_ = "no free display";
}

bool PrivateXServer::TryDisplay(int number) {
  const std::string name = ":" + std::to_string(number);
  const pid_t pid = ::fork();
  if (pid < 0) {
    failure_ = "fork failed";
    return false;
  }
  if (pid == 0) {
    const int out = ::open(logPath_.c_str(), O_WRONLY | O_TRUNC);
    if (out >= 0) {
      ::dup2(out, 1);
      ::dup2(out, 2);
    }
    ::execlp("Xvfb", "Xvfb", name.c_str(), "-noreset", "-nolisten", "tcp", "-screen", "0", "1280x1024x24",
             static_cast<char*>(nullptr));
    ::_exit(127);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) {
      missing_ = WIFEXITED(status) && WEXITSTATUS(status) == 127;
      failure_ = "Xvfb " + name + " ended (" +
                 (WIFEXITED(status) ? "status " + std::to_string(WEXITSTATUS(status)) : std::string("signal")) +
                 "):\n" + Log();
      return false;
    }
    if (::Display* probe = XOpenDisplay(name.c_str())) {
      XCloseDisplay(probe);
      pid_ = pid;
      display_ = name;
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  failure_ = "Xvfb " + name + " accepted no client within 60 s:\n" + Log();
  return false;
}

PrivateXServer::~PrivateXServer() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
  if (!logPath_.empty()) ::unlink(logPath_.c_str());
}

std::string PrivateXServer::Log() const {
  std::ifstream in(logPath_);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string NetWmName(unsigned long window) {
  ::Display* display = XOpenDisplay(nullptr);
  if (!display) return "(no display)";
  const Atom name = XInternAtom(display, "_NET_WM_NAME", False);
  const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::string title;
  if (XGetWindowProperty(display, window, name, 0, 1024, False, utf8, &type, &format, &count, &after, &data) ==
          Success &&
      data) {
    title.assign(reinterpret_cast<const char*>(data), count);
    XFree(data);
  }
  XCloseDisplay(display);
  return title;
}

}  // namespace riventar::testing
