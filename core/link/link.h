#pragma once
// The serial link to the device: port, receiver thread, shared exchange buffer
// and the command exchange with its retry rule.
//
// Threads: every member function is called from one thread only (the UI
// thread). The receiver thread exists while the link is up; it reads the port
// one byte at a time into the exchange buffer and signals the reply event
// when a line that starts with '!' ends with a CR.
#include <array>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace riventar::link {

inline constexpr std::chrono::milliseconds ReplyTimeout{200};
inline constexpr int RetryLimit = 5;
inline constexpr std::size_t ExchangeBufferSize = 100;

// A copy of the exchange buffer, taken after an answered exchange: position 0
// holds '!', the reply's fields stand at their fixed positions.
using Reply = std::array<char, ExchangeBufferSize>;
inline std::string_view View(const Reply& r) { return {r.data(), r.size()}; }

// Sees every byte on the wire, for support logs. Threads: the receiver thread
// calls it for each incoming byte as it is read, the thread that calls
// CommandExchange for each command just before it is written; the two may
// overlap.
enum class TraceDirection { Out, In };
using TraceHook = std::function<void(TraceDirection direction, std::string_view bytes)>;

struct OpenFailure {
  enum class Step { OpenPort, CreateEvent };
  Step step;
  std::string detail;  // device path, system reason, hints (several lines)
};

class Link {
 public:
  Link();
  ~Link();  // stops the link if it is up
  Link(const Link&) = delete;
  Link& operator=(const Link&) = delete;

  // Opens and configures the device at `devicePath`, purges it and starts the
  // receiver. Nothing stays open on failure.
  std::optional<OpenFailure> Start(const std::string& devicePath);
  // Stop request, wait for the receiver's end, close event and port.
  // Sends nothing. Harmless when the link is down.
  void Stop();
  bool IsUp() const;

  // Whether a completed reply line (the exchange buffer from its '!') answers
  // this exchange. Without one, any reply does, late ones for an earlier
  // command included.
  using ReplyCheck = std::function<bool(std::string_view reply)>;
  // Runs on the calling thread once a command's bytes are written, while its
  // reply is on the wire: work done here costs no link time.
  using WhileWaiting = std::function<void()>;

  // One attempt: reset the reply event, format the command into the exchange
  // buffer, write exactly its bytes, wait up to the reply timeout. A reply
  // that `answers` refuses is passed over and the wait goes on.
  bool CommandExchange(std::string_view command, const ReplyCheck& answers = {},
                       const WhileWaiting& whileWaiting = {});
  // Up to RetryLimit attempts; answered if any attempt is.
  bool RetryingExchange(std::string_view command, const ReplyCheck& answers = {},
                        const WhileWaiting& whileWaiting = {});

  // The exchange buffer as it stands now (read it after an answered exchange).
  Reply LastReply() const;

  // Runs on the receiver thread, once per connection, when the port hangs up
  // (the adapter was pulled out): keep it short and thread-safe, e.g. post
  // to the UI thread. Set it while the link is down.
  void SetHangUpHandler(std::function<void()> handler);
  // True once the current connection's port has hung up; any thread.
  bool HungUp() const;

  // Set while the link is down; it serves every later Start.
  void SetTrace(TraceHook hook);

  // Tests shorten the wait; the program keeps ReplyTimeout.
  void SetReplyTimeout(std::chrono::milliseconds timeout);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace riventar::link
