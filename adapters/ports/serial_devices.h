#pragma once
// The serial devices present on this machine, named and ordered the way the
// port chooser shows them. Qt Core and Qt Serial Port only: the window and
// the command line list the same devices under the same names.
//
//   ports::SystemDevices system;
//   for (const ports::SerialDevice& d : ports::ListDevices(system)) ...
#include <QString>
#include <vector>

namespace riventar::ports {

struct SerialDevice {
  QString path;        // "/dev/ttyUSB0"
  QString stablePath;  // "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", or empty
  QString name;        // "FTDI FT232R USB UART (A50285BI)"; the port's file name when nothing better is known
  bool usb = false;

  // What a choice is saved as: the stable name survives replugging, which
  // may turn ttyUSB0 into ttyUSB1.
  QString BindingPath() const { return stablePath.isEmpty() ? path : stablePath; }
  bool Matches(const QString& p) const { return p == path || (!stablePath.isEmpty() && p == stablePath); }
  friend bool operator==(const SerialDevice&, const SerialDevice&) = default;
};

// One port as the system reports it, before naming, ordering and filtering.
struct PortReport {
  QString path;
  QString stablePath;
  QString manufacturer;  // "FTDI"
  QString product;       // "FT232R USB UART"
  QString serialNumber;  // "A50285BI"
  bool usb = false;
  bool hardware = true;  // false: a legacy port (ttyS) with no UART behind it
};

class DeviceSource {
 public:
  virtual ~DeviceSource() = default;
  virtual std::vector<PortReport> Ports() const = 0;
};

// The real enumeration: QSerialPortInfo, stable names from /dev/serial/by-id.
// Cheap enough to ask again whenever a list is shown.
class SystemDevices final : public DeviceSource {
 public:
  std::vector<PortReport> Ports() const override;
};

// USB adapters first, then legacy ports that have hardware, then the rest
// (other drivers' ports); each group in natural path order (ttyUSB2 before
// ttyUSB10). Legacy ports without hardware are left out.
std::vector<SerialDevice> ListDevices(const DeviceSource& source);

// Maker, product and serial number as a person recognises the adapter,
// without repeating the maker when the product names it already.
QString DeviceName(const PortReport& port);

}  // namespace riventar::ports
