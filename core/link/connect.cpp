#include "core/link/connect.h"

#include "core/link/commands.h"

namespace riventar::link {

bool Handshake(Exchange& exchange) {
  exchange.SetEchoCheck(false);
  const std::string nop = NopCommand();
  if (!exchange.RetryingExchange(nop)) return false;
  exchange.SetEchoCheck(EchoMatches(nop, View(exchange.LastReply())));
  return true;
}

std::optional<ConnectFailure> Connect(Link& link, const std::string& devicePath) {
  if (auto failure = link.Start(devicePath)) return ConnectFailure{std::move(failure)};
  if (Handshake(link)) return std::nullopt;
  link.Stop();
  return ConnectFailure{};
}

}  // namespace riventar::link
