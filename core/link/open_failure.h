#pragma once
// Turns a failed open of the serial device into lines a user can act on.
#include <string>

#include "base/posix/serial_port.h"

namespace riventar::link {

// The lines after the open-failure message's first one: the device path,
// the system's reason, and the likely cause with its remedy (no UART behind
// a ttyS port, the group to join, the program holding the port, a device
// that is gone). How to pick another device is the front end's to add.
std::string DescribeOpenFailure(const std::string& devicePath, const posix::SerialOpenError& error);

}  // namespace riventar::link
