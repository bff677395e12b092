#include "base/posix/port_holders.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <memory>

namespace riventar::posix {
namespace {

using DirHandle = std::unique_ptr<DIR, int (*)(DIR*)>;

DirHandle OpenDir(const std::string& path) { return {::opendir(path.c_str()), &::closedir}; }

bool IsNumber(const char* text) {
  if (*text == '\0') return false;
  for (; *text; ++text)
    if (!std::isdigit(static_cast<unsigned char>(*text))) return false;
  return true;
}

std::string ProcessName(const std::string& pid) {
  std::ifstream comm("/proc/" + pid + "/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

// Calls `visit(pid)` for every process directory under /proc.
template <typename Visit>
void ForEachProcess(Visit visit) {
  const DirHandle proc = OpenDir("/proc");
  if (!proc) return;
  while (const dirent* entry = ::readdir(proc.get()))
    if (IsNumber(entry->d_name)) visit(std::string(entry->d_name));
}

}  // namespace

std::vector<ProcessInfo> ProcessesHolding(const std::string& path) {
  struct stat device {};
  if (::stat(path.c_str(), &device) < 0 || !S_ISCHR(device.st_mode)) return {};
  std::vector<ProcessInfo> holders;
  ForEachProcess([&](const std::string& pid) {
    const std::string fdDir = "/proc/" + pid + "/fd";
    const DirHandle fds = OpenDir(fdDir);  // fails for other users' processes
    if (!fds) return;
    while (const dirent* fd = ::readdir(fds.get())) {
      struct stat target {};
      if (!IsNumber(fd->d_name) || ::stat((fdDir + "/" + fd->d_name).c_str(), &target) < 0) continue;
      if (S_ISCHR(target.st_mode) && target.st_rdev == device.st_rdev) {
        holders.push_back({std::stoi(pid), ProcessName(pid)});
        return;
      }
    }
  });
  return holders;
}

std::vector<ProcessInfo> ProcessesNamed(const std::vector<std::string_view>& names) {
  std::vector<ProcessInfo> found;
  ForEachProcess([&](const std::string& pid) {
    const std::string name = ProcessName(pid);
    if (std::find(names.begin(), names.end(), name) != names.end()) found.push_back({std::stoi(pid), name});
  });
  return found;
}

}  // namespace riventar::posix
