#pragma once
// Which programs have a device open, found through /proc. Only processes
// the caller may inspect are seen: a normal user sees their own, root sees all.
#include <string>
#include <string_view>
#include <vector>

namespace riventar::posix {

struct ProcessInfo {
  int pid = 0;
  std::string name;  // /proc/<pid>/comm, e.g. "ModemManager"
  friend bool operator==(const ProcessInfo&, const ProcessInfo&) = default;
};

// Processes with a descriptor open on the character device at `path`.
std::vector<ProcessInfo> ProcessesHolding(const std::string& path);

// Running processes whose name is one of `names` (visible to every user).
std::vector<ProcessInfo> ProcessesNamed(const std::vector<std::string_view>& names);

}  // namespace riventar::posix
