#pragma once
// Conversions of typed text that the handlers do not catch: their errors reach
// the application's error box with the texts users of the device know. The
// conversions themselves are the core's (core/config/setting_input.h).
#include <stdexcept>

namespace riventar::ui {

// "'<text>' is not a valid integer value", "Invalid argument to date encode"
class ConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace riventar::ui
