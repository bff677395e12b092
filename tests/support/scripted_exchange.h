#pragma once
// A device on cue, in-process: the protocol's rules tested without a port or
// a clock. For each command sent, `device` gives the lines it sends back, in
// order (none: silence); a line is no answer once the next command is sent.
#include <algorithm>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/link/exchange.h"

namespace riventar::testing {

class ScriptedExchange final : public link::Exchange {
 public:
  using Device = std::function<std::vector<std::string>(std::string_view command)>;
  explicit ScriptedExchange(Device device) : device_(std::move(device)) {}

  // Every command sent, without its CR.
  const std::vector<std::string>& Sent() const { return sent_; }

 protected:
  bool Send(std::string_view command) override {
    sent_.emplace_back(command.substr(0, command.find('\r')));
    const std::vector<std::string> lines = device_(command);
    pending_.assign(lines.begin(), lines.end());
    return true;
  }
  std::optional<link::Reply> NextReply(std::chrono::steady_clock::time_point) override {
    if (pending_.empty()) return std::nullopt;
    // Over the previous line, as the receiver stores it: past a short line's
    // CR the buffer still holds what longer lines before it left there.
    const std::string& line = pending_.front();
    std::copy_n(line.begin(), std::min(line.size(), buffer_.size()), buffer_.begin());
    pending_.pop_front();
    return buffer_;
  }

 private:
  Device device_;
  std::vector<std::string> sent_;
  std::deque<std::string> pending_;
  link::Reply buffer_{};
};

}  // namespace riventar::testing
