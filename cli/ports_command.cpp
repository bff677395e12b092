#include "cli/ports_command.h"

#include <iostream>
#include <string>
#include <vector>

#include "adapters/ports/binding.h"
#include "adapters/ports/serial_devices.h"
#include "cli/output.h"

namespace riventar::cli {

void PrintPorts(bool json) {
  const ports::SystemDevices system;
  const std::vector<ports::SerialDevice> devices = ports::ListDevices(system);
  const auto settings = ports::OpenUserSettings();
  // Which of COM1 and COM2 each device stands behind, as the window would bind them now.
  std::vector<std::string> coms(devices.size());
  for (int com = 1; com <= ports::ComCount; ++com) {
    const QString path = ports::ResolveBinding(com, *settings, devices).path;
    for (std::size_t i = 0; i < devices.size(); ++i)
      if (devices[i].Matches(path)) coms[i] += (coms[i].empty() ? "" : ",") + ports::ComName(com).toStdString();
  }
  if (!json) {
    std::vector<std::vector<std::string>> rows;
    for (std::size_t i = 0; i < devices.size(); ++i)
      rows.push_back({devices[i].path.toStdString(), devices[i].name.toStdString(), coms[i]});
    std::cout << AlignedTable(rows);
    return;
  }
  std::string out = "[";
  for (std::size_t i = 0; i < devices.size(); ++i) {
    const ports::SerialDevice& d = devices[i];
    out += (i == 0 ? "\n" : ",\n") + std::string("  {\"path\": ") + JsonString(d.path.toStdString()) +
           ", \"name\": " + JsonString(d.name.toStdString()) +
           ", \"stable_path\": " + JsonString(d.stablePath.toStdString()) + ", \"usb\": " + (d.usb ? "true" : "false") +
           ", \"bound_to\": " + JsonString(coms[i]) + "}";
  }
  std::cout << out << (devices.empty() ? "]\n" : "\n]\n");
}

}  // namespace riventar::cli
