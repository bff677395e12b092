#include "base/posix/errno_text.h"

#include <cstring>

namespace riventar::posix {

std::string ErrnoText(int error) {
  char buffer[256];
  // GNU strerror_r: the text may or may not land in `buffer`.
  return ::strerror_r(error, buffer, sizeof buffer);
}

}  // namespace riventar::posix
