#pragma once
// The system's reason for a failed call, as text a user can act on.
#include <string>

namespace riventar::posix {

std::string ErrnoText(int error);

}  // namespace riventar::posix
