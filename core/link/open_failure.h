#pragma once
// Turns a failed open of the serial device into lines a user can act on.
#include <string>

#include "platform/posix/serial_port.h"

namespace riventar::link {

// The lines after the open-failure message's first one: the device path,
// the system's reason, and for a permission error the group to join.
std::string DescribeOpenFailure(const std::string& devicePath, const posix::SerialOpenError& error);

}  // namespace riventar::link
