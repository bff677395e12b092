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

// Reply positions: the trip count stands at 3..4 of the reply to "$TN".
inline constexpr std::size_t TripCountPosition = 3;

}  // namespace riventar::link
