#pragma once
// The link commands: "$", mnemonic, fixed-width arguments, CR.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "core/link/exchange.h"

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

// Whole replies. Past the '!' each leaves room for the command's text (echoed
// or not), then its fields run up to the CR.
inline constexpr ReplyForm NopReplyForm{4};           // "!NOP"
inline constexpr ReplyForm TripCountReplyForm{5, 3};  // "!TN" and two digits
inline constexpr ReplyForm TripReplyForm{47, 5};      // "!TR", the index, 42 digits of fields

// The trip a "$TR" command asks for; nothing for any other command.
inline std::optional<int> RequestedTrip(std::string_view command) {
  command = command.substr(0, command.find('\r'));
  if (command.size() != 5 || command.substr(0, 3) != "$TR") return std::nullopt;
  const ReplyForm digits{2, 0};
  if (!digits.Fits(command.substr(3))) return std::nullopt;
  return std::stoi(std::string(command.substr(3)), nullptr, 16);
}

}  // namespace riventar::link
