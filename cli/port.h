#pragma once
// Which device a --port value names, and the serial devices present.
#include <string>

namespace riventar::cli {

// "COM1" and "COM2" as the window binds them; anything else is a device path.
std::string DevicePathFor(const std::string& port);

}  // namespace riventar::cli
