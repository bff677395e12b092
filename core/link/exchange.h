#pragma once
// The protocol's side of a link: a command and its answer. The serial Link
// implements the transport beneath it, and the tests' scripted fakes do too,
// so every protocol rule above this line runs the same over both.
//
// Threads: one thread owns an Exchange and calls all of its members.
#include <array>
#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace riventar::link {

inline constexpr std::chrono::milliseconds ReplyTimeout{200};
inline constexpr int RetryLimit = 5;
inline constexpr std::size_t ExchangeBufferSize = 100;

// One whole reply line as received: position 0 holds '!', the reply's fields
// stand at their fixed positions; past its CR, what earlier lines left there.
using Reply = std::array<char, ExchangeBufferSize>;
inline std::string_view View(const Reply& r) { return {r.data(), r.size()}; }
// The reply line itself, without its CR: what lies past the first CR was left
// there by earlier lines and belongs to no reply.
inline std::string_view Line(const Reply& r) { return View(r).substr(0, View(r).find('\r')); }

// What a line must be to answer its command whole: exactly `length`
// characters before the CR, and hexadecimal digits (either case) from
// `hexFrom` up to it. The default takes any line, for commands whose answer
// only has to arrive. A line cut short on the wire fails it, however much an
// earlier, longer line left in the buffer past its CR.
struct ReplyForm {
  static constexpr std::size_t Any = ExchangeBufferSize;
  std::size_t length = Any;
  std::size_t hexFrom = Any;  // Any: no digits are checked
  bool Fits(std::string_view line) const;
};

// Whether `reply` echoes `command`: the mnemonic after the '!', and for "$TR"
// the trip index too (hexadecimal, either case). A device that echoes puts
// the command's text where the reply layout leaves room for it.
bool EchoMatches(std::string_view command, std::string_view reply);

class Exchange {
 public:
  // Runs on the calling thread once a command's bytes are written, while its
  // reply is on the wire: work done here costs no link time.
  using WhileWaiting = std::function<void()>;

  virtual ~Exchange() = default;

  // One attempt: send the command and wait up to the reply timeout for its
  // answer. With the echo check on, a reply that does not echo the command
  // (a late answer to an earlier one) is passed over and the wait goes on;
  // so is a line that does not fit `form` (garbled or cut short).
  bool CommandExchange(std::string_view command, const WhileWaiting& whileWaiting = {}, const ReplyForm& form = {});
  // Up to RetryLimit attempts; answered if any attempt is.
  bool RetryingExchange(std::string_view command, const WhileWaiting& whileWaiting = {}, const ReplyForm& form = {});
  // The answer of the last answered exchange.
  const Reply& LastReply() const { return last_; }
  // The latest exchange's command, without its CR, and whether, if it
  // failed, some attempt got a line that echoed it but did not fit its form:
  // a garbled answer rather than none.
  const std::string& LastCommand() const { return command_; }
  bool LastFailureGarbled() const { return garbled_; }

  // On only for a device known to echo (learnt at the handshake); off, any
  // reply line answers the command that waits.
  void SetEchoCheck(bool on) { echoCheck_ = on; }
  bool EchoCheck() const { return echoCheck_; }

  // Tests shorten the wait; the program keeps ReplyTimeout.
  void SetReplyTimeout(std::chrono::milliseconds timeout) { replyTimeout_ = timeout; }

 protected:
  Exchange() = default;
  Exchange(const Exchange&) = default;
  Exchange& operator=(const Exchange&) = default;

  // Writes exactly `command`. A line begun before this call is no answer to
  // it. False when nothing could be sent (the link is down).
  virtual bool Send(std::string_view command) = 0;
  // The next complete reply line begun after the last Send, or nothing once
  // `deadline` has passed.
  virtual std::optional<Reply> NextReply(std::chrono::steady_clock::time_point deadline) = 0;

 private:
  bool Attempt(std::string_view command, const WhileWaiting& whileWaiting, const ReplyForm& form);

  Reply last_{};
  std::string command_;
  bool garbled_ = false;
  bool echoCheck_ = false;
  std::chrono::milliseconds replyTimeout_ = ReplyTimeout;
};

}  // namespace riventar::link
