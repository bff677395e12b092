#pragma once
// How the receiver cuts the byte stream into lines, one byte at a time.
//
// Each byte is stored in the receiver's line at the line index before this
// runs. A line counts only if its CR lies among its first 99 characters: the
// byte that lands at position 99 is not examined and the next one starts a
// new line at 0. A completed line is a reply only if it begins with '!' and
// no command was written since its first byte: a line that was under way
// when the command went out is never taken as a reply.
#include <cstdint>

namespace riventar::link {

inline constexpr std::uint8_t LineLimit = 99;

struct LineStep {
  std::uint8_t nextIndex;  // where the next byte goes
  bool replyComplete;      // signal the reply event
};

// `index`: where `byte` was stored; `atZero`: the line's first character, or
// '$' once a command has been written since it arrived.
constexpr LineStep AssembleLine(std::uint8_t index, char byte, char atZero) {
  if (index >= LineLimit) return {0, false};
  if (byte == '\r') return {0, atZero == '!'};
  return {static_cast<std::uint8_t>(index + 1), false};
}

}  // namespace riventar::link
