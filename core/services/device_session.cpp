#include "core/services/device_session.h"

#include <utility>

#include "core/link/commands.h"
#include "core/link/connect.h"
#include "core/link/messages.h"
#include "core/trips/device_reading.h"

namespace riventar::services {

Status MayForget(Kept kept) {
  if (kept.file || kept.logbook) return Ok();
  return Failure{Failure::Kind::Refused, "the trips are nowhere on disk"};
}

DeviceSession::DeviceSession(std::unique_ptr<link::PortLink> link) : link_(std::move(link)) {}

DeviceSession::~DeviceSession() { link_->Stop(); }

Status DeviceSession::Connect(const std::string& devicePath) {
  const auto failure = link::Connect(*link_, devicePath);
  if (!failure) {
    devicePath_ = devicePath;
    return Ok();
  }
  if (!failure->open) return Unanswered();
  return Failure{Failure::Kind::PortOpen, link::OpenFailureMessage(*failure->open)};
}

void DeviceSession::Disconnect() { link_->Stop(); }

Result<Reading> DeviceSession::Read(const std::vector<trips::TripList>& memories, const Progress& progress) {
  kept_ = {};
  const std::optional<int> count = trips::ReadTripCount(*link_);
  if (!count) return Unanswered();
  auto read = logbook::ReadNewTrips(*link_, *count, memories, [&](int index) {
    if (progress) progress(index, *count);
  });
  if (!read) return Unanswered();
  return Reading{*count, std::move(*read)};
}

Status DeviceSession::Record(const Reading& reading, const Recorder& recorder) {
  Status recorded = recorder(reading);
  if (recorded) kept_.logbook = true;
  return recorded;
}

Status DeviceSession::ForgetTrips() {
  if (link_->CommandExchange(link::TripCounterResetCommand())) return Ok();
  return Unanswered();
}

Failure DeviceSession::Unanswered() const {
  using Kind = Failure::Kind;
  if (!link_->HungUp() && link_->LastFailureGarbled()) {
    const std::string& command = link_->LastCommand();
    const std::optional<int> trip = link::RequestedTrip(command);
    return {Kind::NoAnswer,
            "the device's reply to " + (trip ? "trip " + std::to_string(*trip + 1) + " (" + command + ")" : command) +
                " was not a whole record: cut short, or characters that are no digits where its fields stand; "
                "nothing is taken from it"};
  }
  if (!link_->HungUp()) {
    return {Kind::NoAnswer,
            "the device did not answer: check its cable to the serial port and that it is in exchange mode"};
  }
  return {Kind::NoAnswer,
          "device disconnected: the serial adapter was unplugged and the link to the device is lost; "
          "plug it back in and run the command again"};
}

}  // namespace riventar::services
