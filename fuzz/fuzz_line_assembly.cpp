// The receiver's line assembly and hand-over fed arbitrary byte streams, with
// commands written between bytes as the exchanging thread does. Checks: the
// line index never leaves the line; a reply is published only for a CR that
// ends a line begun with '!' after the latest command, below position 99;
// the line handed over is exactly the bytes received since the line began;
// and no such line is missed.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/link/exchange_buffer.h"
#include "fuzz/check.h"

using namespace riventar::link;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ExchangeBuffer buffer;
  LineAssembler assembler(buffer);
  std::string line;            // bytes taken since the index last returned to 0
  bool commandInLine = false;  // a command went out while this line was under way
  for (std::size_t i = 0; i < size; ++i) {
    // 0xfe followed by 0xfe stands for the exchanging thread writing a
    // command; any other pair is one byte from the line.
    if (data[i] == 0xfe && i + 1 < size && data[i + 1] == 0xfe) {
      buffer.CommandWritten();
      commandInLine = !line.empty();
      ++i;
      continue;
    }
    const char byte = static_cast<char>(data[i]);
    const std::uint8_t index = assembler.Index();
    FUZZ_CHECK(index < ExchangeBufferSize);
    line += byte;
    const bool published = assembler.Take(byte);
    FUZZ_CHECK(assembler.Index() < ExchangeBufferSize);
    const auto handed = buffer.Take();
    FUZZ_CHECK(handed.has_value() == published);
    const bool wellFormed = byte == '\r' && line.size() <= LineLimit && line[0] == '!' && !commandInLine;
    FUZZ_CHECK(published == wellFormed);
    if (handed) {
      for (std::size_t k = 0; k < line.size(); ++k) FUZZ_CHECK((*handed)[k] == line[k]);
    }
    if (assembler.Index() == 0) {
      line.clear();
      commandInLine = false;
    } else {
      FUZZ_CHECK(assembler.Index() == index + 1);
    }
  }
  return 0;
}
