#include "core/link/connect.h"

#include "core/link/commands.h"

namespace riventar::link {

bool Handshake(Exchange& exchange) {
  exchange.SetEchoCheck(false);
  const std::string nop = NopCommand();
  // Only a line of the answer's own form answers: a stray line that merely
  // starts with '!' would otherwise decide the echo check for the session.
  if (!exchange.RetryingExchange(nop, {}, NopReplyForm)) return false;
  exchange.SetEchoCheck(EchoMatches(nop, Line(exchange.LastReply())));
  return true;
}

std::optional<ConnectFailure> Connect(PortLink& link, const std::string& devicePath) {
  if (auto failure = link.Start(devicePath)) return ConnectFailure{std::move(failure)};
  if (Handshake(link)) return std::nullopt;
  link.Stop();
  return ConnectFailure{};
}

}  // namespace riventar::link
