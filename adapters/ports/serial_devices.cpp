#include "adapters/ports/serial_devices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <algorithm>
#include <tuple>

namespace riventar::ports {
namespace {

bool IsLegacyPort(const QString& path) { return path.startsWith(QLatin1String("/dev/ttyS")); }

// "/dev/ttyUSB10" -> ("/dev/ttyUSB", 10); a path without a trailing number gets -1.
std::tuple<QString, long long> Split(const QString& path) {
  qsizetype digits = path.size();
  while (digits > 0 && path.at(digits - 1).isDigit()) --digits;
  if (digits == path.size()) return {path, -1};
  return {path.left(digits), path.mid(digits).toLongLong()};
}

int Group(const SerialDevice& d) {
  if (d.usb) return 0;
  return IsLegacyPort(d.path) ? 1 : 2;
}

// The 8250 driver makes a ttyS node for every possible port; its "type"
// attribute is 0 (PORT_UNKNOWN) when no UART answered at boot. Reading it
// needs no access to the device, unlike opening it.
bool LegacyPortHasUart(const QString& path) {
  QFile type(QStringLiteral("/sys/class/tty/%1/type").arg(QFileInfo(path).fileName()));
  if (!type.open(QIODevice::ReadOnly)) return true;  // cannot tell: keep it listed
  return type.readAll().trimmed() != "0";
}

}  // namespace

std::vector<PortReport> SystemDevices::Ports() const {
  // udev's stable names, by the device they point at.
  QHash<QString, QString> stable;
  const QDir byId(QStringLiteral("/dev/serial/by-id"));
  for (const QFileInfo& link : byId.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name))
    stable.insert(link.canonicalFilePath(), link.absoluteFilePath());

  std::vector<PortReport> ports;
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
    PortReport r;
    r.path = info.systemLocation();
    r.stablePath = stable.value(QFileInfo(r.path).canonicalFilePath());
    r.manufacturer = info.manufacturer().trimmed();
    r.product = info.description().trimmed();
    r.serialNumber = info.serialNumber().trimmed();
    const QString node = info.portName();
    r.usb = info.hasVendorIdentifier() || node.startsWith(QLatin1String("ttyUSB")) ||
            node.startsWith(QLatin1String("ttyACM"));
    r.hardware = !IsLegacyPort(r.path) || LegacyPortHasUart(r.path);
    ports.push_back(std::move(r));
  }
  return ports;
}

QString DeviceName(const PortReport& port) {
  QString name = port.product;
  if (!port.manufacturer.isEmpty() && !name.startsWith(port.manufacturer, Qt::CaseInsensitive))
    name = name.isEmpty() ? port.manufacturer : port.manufacturer + QLatin1Char(' ') + name;
  if (!port.serialNumber.isEmpty())
    name += name.isEmpty() ? port.serialNumber : QStringLiteral(" (%1)").arg(port.serialNumber);
  return name.isEmpty() ? QFileInfo(port.path).fileName() : name;
}

std::vector<SerialDevice> ListDevices(const DeviceSource& source) {
  std::vector<SerialDevice> devices;
  for (const PortReport& port : source.Ports())
    if (port.hardware) devices.push_back({port.path, port.stablePath, DeviceName(port), port.usb});
  std::sort(devices.begin(), devices.end(), [](const SerialDevice& a, const SerialDevice& b) {
    return std::tuple(Group(a), Split(a.path)) < std::tuple(Group(b), Split(b.path));
  });
  return devices;
}

}  // namespace riventar::ports
