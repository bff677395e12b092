#pragma once
// Where the program keeps the user's own settings (the COM port binding, the
// logbook's location): one INI file, $XDG_CONFIG_HOME/riventar/riventar.conf,
// i.e. ~/.config/riventar/riventar.conf. The window and riventar-cli read the
// same file. Plain C++: whoever reads it (Qt's QSettings, in INI format) stands
// above the core.
#include <string>

namespace riventar::settings {

// $XDG_CONFIG_HOME; where that is unset, empty or relative (a relative one is
// invalid and ignored), $HOME/.config; without HOME, the home folder the
// password database gives the user; failing that too, "/.config".
std::string ConfigHome();

// ConfigHome() + "/riventar/riventar.conf".
std::string UserSettingsPath();

}  // namespace riventar::settings
