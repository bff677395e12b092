#include "cli/port.h"

#include "core/link/link.h"

namespace riventar::cli {

std::string DevicePathFor(const std::string& port) { return link::DevicePathForPort(port); }

}  // namespace riventar::cli
