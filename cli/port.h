#pragma once
// Which device a --port value names, as the window binds COM1 and COM2.
#include <string>

namespace riventar::cli {

// "COM1" and "COM2" (any case) through the environment, the saved choice,
// the first-start rule and the default; anything else is a device path.
std::string DevicePathFor(const std::string& port);

}  // namespace riventar::cli
