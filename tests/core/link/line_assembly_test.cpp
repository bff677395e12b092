#include "core/link/line_assembly.h"

#include <gtest/gtest.h>

#include <string>

using riventar::link::AssembleLine;
using riventar::link::LineStep;

TEST(LineAssembly, OneByteAtATime) {
  struct Case {
    const char* name;
    std::uint8_t index;
    char byte;
    char atZero;
    LineStep expected;
  };
  const Case cases[] = {
      {"a byte moves the index on", 0, 'x', 'x', {1, false}},
      {"a reply's CR signals", 5, '\r', '!', {0, true}},
      {"a CR at position 0 ends an empty line", 0, '\r', '\r', {0, false}},
      {"a line without '!' is dropped at its CR", 7, '\r', '#', {0, false}},
      {"a command over position 0 hides the line", 9, '\r', '$', {0, false}},
      {"a CR at position 98 still counts", 98, '\r', '!', {0, true}},
      {"position 98 moves on to 99", 98, 'x', '!', {99, false}},
      {"the byte at position 99 is not examined", 99, '\r', '!', {0, false}},
      {"nor is any other byte there", 99, 'x', '!', {0, false}},
  };
  for (const Case& c : cases) {
    const LineStep got = AssembleLine(c.index, c.byte, c.atZero);
    EXPECT_EQ(got.nextIndex, c.expected.nextIndex) << c.name;
    EXPECT_EQ(got.replyComplete, c.expected.replyComplete) << c.name;
  }
}

// Feeds a stream through a 100-character buffer the way the receiver does;
// returns how many replies were signalled and what position 0 holds.
struct Fed {
  int replies = 0;
  std::string buffer;
};

Fed Feed(const std::string& stream) {
  Fed out{0, std::string(100, '\0')};
  std::uint8_t index = 0;
  for (char c : stream) {
    out.buffer[index] = c;
    const LineStep step = AssembleLine(index, c, out.buffer[0]);
    index = step.nextIndex;
    out.replies += step.replyComplete;
  }
  return out;
}

TEST(LineAssembly, Streams) {
  struct Case {
    const char* name;
    std::string stream;
    int replies;
  };
  const Case cases[] = {
      {"one reply in a burst", "!TN03\r", 1},
      {"noise line, then a reply", "#E1\r!TN03\r", 1},
      {"noise without CR hides the reply", "abc!TN03\r", 0},
      {"98 characters and CR", "!" + std::string(97, 'a') + "\r", 1},
      {"99 characters and CR", "!" + std::string(98, 'a') + "\r", 0},
      // The 100th byte is dropped at 99, the 101st starts at 0.
      {"99 without CR push the '!' onto 99", std::string(99, 'x') + "!TN03\r", 0},
      {"100 without CR let the '!' start at 0", std::string(100, 'x') + "!TN03\r", 1},
      {"an over-long line, then a reply", std::string(120, 'x') + "\r!TN03\r", 1},
  };
  for (const Case& c : cases) EXPECT_EQ(Feed(c.stream).replies, c.replies) << c.name;
}

TEST(LineAssembly, ANewLineOverwritesFromPositionZeroOnly) {
  const Fed fed = Feed("!TR00abcdef\r!NOP\r");
  EXPECT_EQ(fed.replies, 2);
  // Characters beyond the new line's CR stay from earlier traffic.
  EXPECT_EQ(fed.buffer.substr(0, 12), "!NOP\rabcdef\r");
}
