// Placeholder until the serial engine lands.
#include "core/link/link.h"

namespace riventar::link {

struct Link::State {};
Link::Link() : state_(std::make_unique<State>()) {}
Link::~Link() = default;
std::optional<OpenFailure> Link::Start(const std::string& devicePath) {
  return OpenFailure{OpenFailure::Step::OpenPort, devicePath};
}
void Link::Stop() {}
bool Link::IsUp() const { return false; }
bool Link::CommandExchange(std::string_view) { return false; }
bool Link::RetryingExchange(std::string_view) { return false; }
Reply Link::LastReply() const { return {}; }
void Link::SetReplyTimeout(std::chrono::milliseconds) {}
std::string DevicePathForPort(std::string_view) { return {}; }

}  // namespace riventar::link
