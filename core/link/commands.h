#pragma once
// The link commands: "$", mnemonic, fixed-width arguments, CR.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace riventar::link {

inline std::string NopCommand() { return "$NOP\r"; }
inline std::string TripCountCommand() { return "$TN\r"; }
inline std::string TripCounterResetCommand() { return "$TC\r"; }
inline std::string TripReadCommand(std::uint8_t index) {
  char b[8];
  std::snprintf(b, sizeof b, "$TR%2.2x\r", unsigned{index});
  return b;
}

// Whether a reply echoes "TR" and `index` at positions 1..4 (hexadecimal,
// either case). A late reply to an earlier "$TR" must not pass for the next
// trip: it would be stored twice and the last trip dropped.
inline bool TripReplyMatches(std::string_view reply, std::uint8_t index) {
  if (reply.size() < 5 || reply.substr(1, 2) != "TR") return false;
  const auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  const int high = digit(reply[3]), low = digit(reply[4]);
  return high >= 0 && low >= 0 && high * 16 + low == index;
}

// Reply positions: the trip count stands at 3..4 of the reply to "$TN".
inline constexpr std::size_t TripCountPosition = 3;

}  // namespace riventar::link
