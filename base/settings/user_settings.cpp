#include "base/settings/user_settings.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace riventar::settings {
namespace {

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string PasswordDatabaseHome() {
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found || !found->pw_dir) return "";
  return found->pw_dir;
}

std::string HomeFolder() {
  std::string home = Variable("HOME");
  if (home.empty()) home = PasswordDatabaseHome();
  // A trailing slash would double the one joined after it.
  while (home.size() > 1 && home.back() == '/') home.pop_back();
  return home == "/" ? "" : home;
}

}  // namespace

std::string ConfigHome() {
  std::string fromEnvironment = Variable("XDG_CONFIG_HOME");
  if (!fromEnvironment.empty() && fromEnvironment.front() == '/') {
    while (fromEnvironment.size() > 1 && fromEnvironment.back() == '/') fromEnvironment.pop_back();
    return fromEnvironment;
  }
  return HomeFolder() + "/.config";
}

std::string UserSettingsPath() {
  const std::string home = ConfigHome();
  return (home == "/" ? "" : home) + "/riventar/riventar.conf";
}

}  // namespace riventar::settings
