#pragma once
// Which device COM1 and COM2 stand for. In this order:
//   1. the environment: RIVENTAR_COM1 / RIVENTAR_COM2 (scripts, the simulator, tests);
//   2. the user's saved choice, key "ports/COM1" in the settings file
//      ($XDG_CONFIG_HOME/riventar/riventar.conf, i.e. ~/.config/riventar/riventar.conf);
//   3. first start: nothing saved for either port, COM1 not in the
//      environment, exactly one USB adapter present and no UART behind
//      /dev/ttyS0 -> COM1 is that adapter (by its stable name);
//   4. /dev/ttyS0 for COM1, /dev/ttyS1 for COM2.
// A command line resolves "--port COM1" with BoundPath() exactly as the window does.
//
//   auto settings = ports::OpenUserSettings();
//   ports::SystemDevices system;
//   QString path = ports::BoundPath(1, *settings, system);
#include <QSettings>
#include <QString>
#include <QStringView>
#include <memory>
#include <optional>
#include <vector>

#include "adapters/ports/serial_devices.h"

namespace riventar::ports {

inline constexpr int ComCount = 2;  // COM1 and COM2

QString ComName(int com);                        // 1 -> "COM1"
std::optional<int> ComNumber(QStringView name);  // "COM2" or "com2" -> 2; anything else -> nullopt
QString DefaultPath(int com);                    // 1 -> "/dev/ttyS0"
QString EnvironmentVariable(int com);            // 1 -> "RIVENTAR_COM1"

struct Binding {
  enum class Source { Environment, Saved, FirstStart, Default };
  QString path;
  Source source = Source::Default;
};

// $XDG_CONFIG_HOME/riventar/riventar.conf (settings::UserSettingsPath(), shared with the logbook)
QString UserSettingsPath();
// The settings in `file` (INI format); the user's own by default. Tests pass a scratch file.
std::unique_ptr<QSettings> OpenUserSettings(const QString& file = UserSettingsPath());

// The binding of COM`com` from the current devices (see the order above).
Binding ResolveBinding(int com, const QSettings& settings, const std::vector<SerialDevice>& devices);
// The same, listing the devices only when the first-start rule could apply.
Binding ResolveBinding(int com, const QSettings& settings, const DeviceSource& source);
QString BoundPath(int com, const QSettings& settings, const DeviceSource& source);

// A command line's port argument: "COM1"/"COM2" (any case) resolved as the
// window resolves them, anything else taken as a device path as it is.
QString ResolvePortArgument(const QString& argument, const QSettings& settings, const DeviceSource& source);

// Remembers `path` for COM`com`; Forget goes back to the default. Both write through at once.
void SaveBinding(int com, const QString& path, QSettings& settings);
void ForgetBinding(int com, QSettings& settings);

// The device among `devices` that `path` names (by its path or stable name), if present.
const SerialDevice* FindDevice(const std::vector<SerialDevice>& devices, const QString& path);

}  // namespace riventar::ports
