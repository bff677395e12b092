#include "cli/ports_command.h"

#include <QSerialPortInfo>
#include <QStringList>
#include <iostream>
#include <string>
#include <vector>

#include "cli/output.h"

namespace riventar::cli {

void PrintPorts(bool json) {
  std::vector<std::vector<std::string>> rows;
  for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts()) {
    // Maker, product and serial number as a person recognises the adapter.
    QStringList parts;
    for (const QString& part : {port.manufacturer(), port.description()})
      if (!part.isEmpty() && !parts.contains(part)) parts << part;
    QString name = parts.join(QLatin1Char(' '));
    if (!port.serialNumber().isEmpty()) name += QStringLiteral(" (%1)").arg(port.serialNumber());
    if (name.isEmpty()) name = port.portName();
    rows.push_back({port.systemLocation().toStdString(), name.trimmed().toStdString()});
  }
  if (!json) {
    std::cout << AlignedTable(rows);
    return;
  }
  std::string out = "[";
  for (std::size_t i = 0; i < rows.size(); ++i)
    out += (i == 0 ? "\n  {\"path\": " : ",\n  {\"path\": ") + JsonString(rows[i][0]) + ", \"name\": " + JsonString(rows[i][1]) + "}";
  std::cout << out << (rows.empty() ? "]\n" : "\n]\n");
}

}  // namespace riventar::cli
