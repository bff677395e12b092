// Where the user's settings file is, from the environment as the desktop's
// folders rules have it; the window and riventar-cli find the same file.
#include "base/settings/user_settings.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace {

// Sets or unsets a variable for one test and puts the old value back.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value)
      setenv(name, value->c_str(), 1);
    else
      unsetenv(name);
  }
  ~ScopedVariable() {
    if (old_)
      setenv(name_, old_->c_str(), 1);
    else
      unsetenv(name_);
  }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

struct Case {
  const char* what;
  std::optional<std::string> configHome;
  std::optional<std::string> home;
  std::string file;
};

TEST(UserSettings, FileFromTheEnvironment) {
  const Case cases[] = {
      {"XDG_CONFIG_HOME first", "/x/config", "/home/u", "/x/config/riventar/riventar.conf"},
      {"its trailing slash dropped", "/x/config/", "/home/u", "/x/config/riventar/riventar.conf"},
      {"unset: HOME/.config", std::nullopt, "/home/u", "/home/u/.config/riventar/riventar.conf"},
      {"empty: HOME/.config", "", "/home/u", "/home/u/.config/riventar/riventar.conf"},
      {"relative is invalid", "config", "/home/u", "/home/u/.config/riventar/riventar.conf"},
      {"HOME's trailing slash", std::nullopt, "/home/u/", "/home/u/.config/riventar/riventar.conf"},
      {"home at the root", std::nullopt, "/", "/.config/riventar/riventar.conf"},
      {"config home at the root", "/", "/home/u", "/riventar/riventar.conf"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedVariable configHome("XDG_CONFIG_HOME", c.configHome);
    ScopedVariable home("HOME", c.home);
    EXPECT_EQ(riventar::settings::UserSettingsPath(), c.file);
  }
}

TEST(UserSettings, WithoutHomeThePasswordDatabaseSaysWhere) {
  const passwd* entry = getpwuid(getuid());
  if (!entry || !entry->pw_dir || std::string(entry->pw_dir).empty() || std::string(entry->pw_dir) == "/")
    GTEST_SKIP() << "no home folder in the password database";
  const std::string expected = std::string(entry->pw_dir) + "/.config/riventar/riventar.conf";
  ScopedVariable configHome("XDG_CONFIG_HOME", std::nullopt);
  for (const std::optional<std::string>& home : {std::optional<std::string>(), std::optional<std::string>("")}) {
    ScopedVariable unsetHome("HOME", home);
    EXPECT_EQ(riventar::settings::UserSettingsPath(), expected);
  }
}

}  // namespace
