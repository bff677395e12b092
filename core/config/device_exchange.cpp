#include "core/config/device_exchange.h"

namespace riventar::config {

link::Reply Exchange(link::Exchange& link, std::string_view command) {
  if (!link.CommandExchange(command)) throw LinkFailure{};
  return link.LastReply();
}

}  // namespace riventar::config
