#include "core/config/device_exchange.h"

namespace riventar::config {

link::Reply Exchange(link::Exchange& link, std::string_view command, const link::ReplyForm& form) {
  if (!link.CommandExchange(command, {}, form)) throw LinkFailure{};
  return link.LastReply();
}

}  // namespace riventar::config
