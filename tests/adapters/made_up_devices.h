#pragma once
// A device list for tests: whatever ports the test says are plugged in.
#include <utility>
#include <vector>

#include "adapters/ports/serial_devices.h"

namespace riventar::testing {

class MadeUpDevices final : public ports::DeviceSource {
 public:
  explicit MadeUpDevices(std::vector<ports::PortReport> ports) : ports_(std::move(ports)) {}
  std::vector<ports::PortReport> Ports() const override { return ports_; }

 private:
  std::vector<ports::PortReport> ports_;
};

}  // namespace riventar::testing
