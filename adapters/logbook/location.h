#pragma once
// Where the logbook is. In this order:
//   1. the command line's --logbook;
//   2. the environment: RIVENTAR_LOGBOOK (scripts, tests), an absolute path or a
//      server's URI (a relative path throws StoreError, CannotOpen);
//   3. the user's saved choice, key "logbook/location" in the settings file
//      (settings::UserSettingsPath(): ~/.config/riventar/riventar.conf);
//   4. $XDG_DATA_HOME/riventar/logbook.sqlite (~/.local/share/riventar/logbook.sqlite).
#include <QSettings>
#include <optional>
#include <string>

namespace riventar::logbook {

inline constexpr char LocationVariable[] = "RIVENTAR_LOGBOOK";

// Rule 4 alone; the folder is "riventar" whatever the application's name.
std::string DefaultLogbookLocation();

// The user's own settings file is read.
std::string LogbookLocation(const std::optional<std::string>& commandLine);
// The same with the settings given (tests pass a scratch file).
std::string LogbookLocation(const std::optional<std::string>& commandLine, const QSettings& settings);

// Remembers `location` as the user's choice; an empty one goes back to the
// default. Written through at once.
void SaveLogbookLocation(const std::string& location);
void SaveLogbookLocation(const std::string& location, QSettings& settings);

}  // namespace riventar::logbook
