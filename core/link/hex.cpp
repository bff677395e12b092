#include "core/link/hex.h"

#include <cassert>

namespace riventar::link {
namespace {

// The character's code is taken as a signed byte; the result wraps modulo 256.
std::uint8_t DigitValue(char c) {
  const int code = static_cast<signed char>(c);  // NOLINT(bugprone-signed-char-misuse): on purpose
  return static_cast<std::uint8_t>(code <= '9' ? code - '0' : code - 87);
}

}  // namespace

std::uint8_t HexToByte(std::string_view text, std::size_t p) {
  assert(p + 1 < text.size());
  return static_cast<std::uint8_t>(DigitValue(text[p]) * 16 + DigitValue(text[p + 1]));
}

std::uint16_t HexToWord(std::string_view text, std::size_t p) {
  return static_cast<std::uint16_t>(HexToByte(text, p) << 8 | HexToByte(text, p + 2));
}

std::uint32_t HexToDword(std::string_view text, std::size_t p) {
  return std::uint32_t{HexToByte(text, p)} << 24 | std::uint32_t{HexToByte(text, p + 2)} << 16 |
         std::uint32_t{HexToByte(text, p + 4)} << 8 | HexToByte(text, p + 6);
}

}  // namespace riventar::link
