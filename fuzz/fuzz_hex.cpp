// The hexadecimal field decoders on arbitrary text at every position:
// the same value as the digit rule computed independently, the usual value
// for lower-case digits, and encode-then-decode giving the number back.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "core/link/hex.h"
#include "fuzz/check.h"

using riventar::link::HexToByte;
using riventar::link::HexToDword;
using riventar::link::HexToWord;

namespace {

// The digit rule spelt out in full-width arithmetic, reduced at the end.
unsigned Value(char c) {
  const int code = static_cast<signed char>(c);
  return static_cast<unsigned>(code <= 57 ? code - 48 : code - 87) & 0xffu;
}
unsigned Pair(std::string_view s, std::size_t p) { return (Value(s[p]) * 16 + Value(s[p + 1])) & 0xffu; }

bool LowerHex(std::string_view s) {
  for (char c : s)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (std::size_t p = 0; p + 2 <= size; ++p) {
    FUZZ_CHECK(HexToByte(text, p) == Pair(text, p));
    if (p + 4 <= size) {
      const std::uint16_t word = HexToWord(text, p);
      FUZZ_CHECK(word == (Pair(text, p) << 8 | Pair(text, p + 2)));
      if (LowerHex(text.substr(p, 4))) FUZZ_CHECK(word == std::stoul(std::string(text.substr(p, 4)), nullptr, 16));
    }
    if (p + 8 <= size) {
      const std::uint32_t dword = HexToDword(text, p);
      FUZZ_CHECK(dword == (std::uint32_t{HexToWord(text, p)} << 16 | HexToWord(text, p + 4)));
      if (LowerHex(text.substr(p, 8))) FUZZ_CHECK(dword == std::stoul(std::string(text.substr(p, 8)), nullptr, 16));
    }
  }
  // Writing as the program writes ("%8.8x") and reading back is exact.
  if (size >= 4) {
    std::uint32_t n = 0;
    for (std::size_t i = 0; i < 4; ++i) n = n << 8 | data[i];
    char written[9];
    std::snprintf(written, sizeof written, "%8.8x", n);
    FUZZ_CHECK(HexToDword(std::string_view(written, 8), 0) == n);
    FUZZ_CHECK(HexToWord(std::string_view(written, 8), 4) == (n & 0xffffu));
    FUZZ_CHECK(HexToByte(std::string_view(written, 8), 6) == (n & 0xffu));
  }
  return 0;
}
