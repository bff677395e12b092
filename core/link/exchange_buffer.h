#pragma once
// The hand-over of reply lines from the receiver to the waiting side.
//
// The receiver assembles each line in storage of its own and, at the line's
// CR, publishes a copy of the whole line; the waiting side checks and decodes
// that one copy, so a line is never read while the next one is stored over
// it. Every command written counts: a line carries the count at its first
// byte, and one begun before the latest command is no answer to it.
//
// Threads: CommandWritten and Take on the thread that exchanges, Commands and
// Publish on the receiver.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>

#include "core/link/exchange.h"
#include "core/link/line_assembly.h"

namespace riventar::link {

class ExchangeBuffer {
 public:
  // Before a command's bytes are written: every line published so far, and
  // every line under way, is void for it.
  void CommandWritten() {
    commands_.fetch_add(1, std::memory_order_acq_rel);
    std::lock_guard lock(mutex_);
    lines_.clear();
  }
  std::uint64_t Commands() const { return commands_.load(std::memory_order_acquire); }

  // A complete reply line, begun when the count stood at `commandsAtStart`.
  void Publish(const Reply& line, std::uint64_t commandsAtStart) {
    std::lock_guard lock(mutex_);
    // Only a device gone wild sends this many lines to one command.
    if (lines_.size() == MaxLines) lines_.pop_front();
    lines_.push_back({line, commandsAtStart});
  }

  // The oldest line begun after the latest command, taken out.
  std::optional<Reply> Take() {
    const std::uint64_t current = Commands();
    std::lock_guard lock(mutex_);
    while (!lines_.empty()) {
      const Line line = lines_.front();
      lines_.pop_front();
      if (line.commandsAtStart == current) return line.text;
    }
    return std::nullopt;
  }

 private:
  static constexpr std::size_t MaxLines = 16;
  struct Line {
    Reply text;
    std::uint64_t commandsAtStart;
  };
  std::atomic<std::uint64_t> commands_{0};
  std::mutex mutex_;
  std::deque<Line> lines_;
};

// The receiver's work on each byte: the line under way in storage of its
// own (past its CR it keeps what earlier lines left, as one buffer would),
// and each complete reply line published. Receiver thread only.
class LineAssembler {
 public:
  explicit LineAssembler(ExchangeBuffer& buffer) : buffer_(buffer) {}

  // True when `byte` completed a reply line, now published.
  bool Take(char byte) {
    if (index_ == 0) lineCommands_ = buffer_.Commands();
    line_[index_] = byte;
    const bool commandSince = buffer_.Commands() != lineCommands_;
    const LineStep step = AssembleLine(index_, byte, commandSince ? '$' : line_[0]);
    index_ = step.nextIndex;
    if (step.replyComplete) buffer_.Publish(line_, lineCommands_);
    return step.replyComplete;
  }
  std::uint8_t Index() const { return index_; }

 private:
  ExchangeBuffer& buffer_;
  Reply line_{};
  std::uint8_t index_ = 0;
  std::uint64_t lineCommands_ = 0;  // the command count at the line's first byte
};

}  // namespace riventar::link
