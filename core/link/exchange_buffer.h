#pragma once
// The 100 characters shared by the outgoing command and the incoming line.
//
// The UI thread formats each command into it from position 0; the receiver
// stores each incoming byte at its line index. Both may touch it at once
// (a late or unexpected line), with the same outcome as one plain buffer:
// each character is an atomic accessed relaxed, and the reply event is what
// orders a reply's bytes before the UI thread reads them.
#include <array>
#include <atomic>
#include <cstddef>
#include <string_view>

#include "core/link/link.h"

namespace riventar::link {

class ExchangeBuffer {
 public:
  void Store(std::size_t position, char c) { chars_[position].store(c, std::memory_order_relaxed); }
  char At(std::size_t position) const { return chars_[position].load(std::memory_order_relaxed); }

  // Writes `command` from position 0; what lies beyond it stays as it was.
  void Put(std::string_view command) {
    for (std::size_t i = 0; i < command.size() && i < chars_.size(); ++i) Store(i, command[i]);
  }

  Reply Snapshot() const {
    Reply r{};
    for (std::size_t i = 0; i < r.size(); ++i) r[i] = At(i);
    return r;
  }

 private:
  std::array<std::atomic<char>, ExchangeBufferSize> chars_{};
};

}  // namespace riventar::link
