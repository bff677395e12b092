#pragma once
// Conversions of typed text that the handlers do not catch: their errors reach
// the application's error box with the texts users of the device know.
#include <QString>
#include <stdexcept>

namespace riventar::ui {

// "'<text>' is not a valid integer value"
class ConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Decimal integer with optional leading blanks and sign; anything else throws.
int StrToInt(const QString& text);

// Throws ConvertError("Invalid argument to date encode") for a day the month
// does not have.
void CheckDateEncodable(int year, int month, int day);

}  // namespace riventar::ui
