#pragma once
// Fixed-width lower-case hexadecimal fields, most significant pair first.
// Both device replies and data-file lines are decoded by these same functions,
// so both accept exactly the same text. Nothing is checked: any character
// decodes to some value (upper-case letters in the second place of a pair
// come out 32 lower, as the device and old files expect).
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace riventar::link {

// Precondition for all three: the field lies inside `text`.
std::uint8_t HexToByte(std::string_view text, std::size_t p);
std::uint16_t HexToWord(std::string_view text, std::size_t p);
std::uint32_t HexToDword(std::string_view text, std::size_t p);

}  // namespace riventar::link
