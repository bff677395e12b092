#pragma once
// Connecting, as every front end does it: open the port, then the handshake.
#include <optional>
#include <string>

#include "core/link/exchange.h"
#include "core/link/port_link.h"

namespace riventar::link {

// The retried "$NOP". Its answer, a line of exactly four characters ("!NOP"
// or '!' and three others), also tells whether the device echoes each
// command after the '!': only then is every later reply checked against its
// command; a device that does not echo is taken at its word.
bool Handshake(Exchange& exchange);

struct ConnectFailure {
  std::optional<OpenFailure> open;  // nothing: the port opened, the handshake went unanswered
};

// Start, then Handshake; on failure the link is down again.
std::optional<ConnectFailure> Connect(PortLink& link, const std::string& devicePath);

}  // namespace riventar::link
