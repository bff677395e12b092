#include "cli/port.h"

#include <QFile>

#include "adapters/ports/binding.h"

namespace riventar::cli {

std::string DevicePathFor(const std::string& port) {
  const auto settings = ports::OpenUserSettings();
  const ports::SystemDevices system;
  const QString path = ports::ResolvePortArgument(QString::fromStdString(port), *settings, system);
  return QFile::encodeName(path).toStdString();
}

}  // namespace riventar::cli
