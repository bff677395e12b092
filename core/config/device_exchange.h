#pragma once
// The configuration window's exchanges: one attempt each, never retried.
// A command left unanswered throws LinkFailure, which each handler of the
// window catches around its exchanges; nothing else throws it.
#include <cstdint>
#include <string_view>

#include "core/link/exchange.h"

namespace riventar::config {

// Not derived from std::exception on purpose: the general error box must never
// take it for an ordinary error.
struct LinkFailure {
  std::uint8_t code = 255;
};

// One CommandExchange; the reply buffer when answered by a line of `form`,
// LinkFailure otherwise (the link says whether a garbled line came).
link::Reply Exchange(link::Exchange& link, std::string_view command, const link::ReplyForm& form = {});

}  // namespace riventar::config
