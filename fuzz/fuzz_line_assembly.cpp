// The receiver's line assembly fed arbitrary byte streams, with commands
// written into the same buffer between bytes as the UI thread does. Checks:
// the line index never leaves the buffer; a signal comes only for a CR while
// position 0 holds '!'; when it comes the line received since the last line
// start stands at the start of the buffer, its CR below position 99; and no
// line of at most 99 characters that starts with '!' is missed.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/link/commands.h"
#include "core/link/exchange_buffer.h"
#include "core/link/line_assembly.h"
#include "fuzz/check.h"

using namespace riventar::link;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ExchangeBuffer buffer;
  std::uint8_t index = 0;
  std::string line;            // bytes stored since the index last returned to 0
  bool commandInLine = false;  // a command went out while this line was under way
  for (std::size_t i = 0; i < size; ++i) {
    // 0xfe followed by 0xfe stands for the UI thread writing a command; any
    // other pair is one byte from the line.
    if (data[i] == 0xfe && i + 1 < size && data[i + 1] == 0xfe) {
      buffer.Put(TripReadCommand(static_cast<std::uint8_t>(i)));
      commandInLine = !line.empty();  // at index 0 the next byte overwrites the '$'
      ++i;
      continue;
    }
    const char byte = static_cast<char>(data[i]);
    FUZZ_CHECK(index < ExchangeBufferSize);
    buffer.Store(index, byte);
    line += byte;
    const LineStep step = AssembleLine(index, byte, buffer.At(0));
    FUZZ_CHECK(step.nextIndex < ExchangeBufferSize);
    if (step.replyComplete) {
      FUZZ_CHECK(byte == '\r' && buffer.At(0) == '!');
      FUZZ_CHECK(line.size() <= LineLimit && !commandInLine);
      for (std::size_t k = 0; k < line.size(); ++k) FUZZ_CHECK(buffer.At(k) == line[k]);
    } else if (byte == '\r' && line.size() <= LineLimit && line[0] == '!' && !commandInLine) {
      FUZZ_CHECK(false);  // a well-formed reply was missed
    }
    if (step.nextIndex == 0) {
      line.clear();
      commandInLine = false;
    } else {
      FUZZ_CHECK(step.nextIndex == index + 1);
    }
    index = step.nextIndex;
  }
  return 0;
}
