#include "adapters/ports/binding.h"

#include <QFile>
#include <algorithm>

#include "base/settings/user_settings.h"

namespace riventar::ports {
namespace {

QString Key(int com) { return QStringLiteral("ports/") + ComName(com); }

QString Saved(int com, const QSettings& settings) { return settings.value(Key(com)).toString(); }

bool NothingSaved(const QSettings& settings) {
  for (int com = 1; com <= ComCount; ++com)
    if (!Saved(com, settings).isEmpty()) return false;
  return true;
}

// Binding from the environment or the settings, if either names a device.
std::optional<Binding> Configured(int com, const QSettings& settings) {
  const QString fromEnvironment = qEnvironmentVariable(EnvironmentVariable(com).toLatin1().constData());
  if (!fromEnvironment.isEmpty()) return Binding{fromEnvironment, Binding::Source::Environment};
  const QString saved = Saved(com, settings);
  if (!saved.isEmpty()) return Binding{saved, Binding::Source::Saved};
  return std::nullopt;
}

bool FirstStartApplies(int com, const QSettings& settings) { return com == 1 && NothingSaved(settings); }

}  // namespace

QString ComName(int com) { return QStringLiteral("COM%1").arg(com); }

std::optional<int> ComNumber(QStringView name) {
  for (int com = 1; com <= ComCount; ++com)
    if (name.compare(ComName(com), Qt::CaseInsensitive) == 0) return com;
  return std::nullopt;
}

QString DefaultPath(int com) { return QStringLiteral("/dev/ttyS%1").arg(com - 1); }

QString EnvironmentVariable(int com) { return QStringLiteral("RIVENTAR_COM%1").arg(com); }

QString UserSettingsPath() { return QFile::decodeName(settings::UserSettingsPath().c_str()); }

std::unique_ptr<QSettings> OpenUserSettings(const QString& file) {
  return std::make_unique<QSettings>(file, QSettings::IniFormat);
}

Binding ResolveBinding(int com, const QSettings& settings, const std::vector<SerialDevice>& devices) {
  if (auto configured = Configured(com, settings)) return *configured;
  if (FirstStartApplies(com, settings) && !FindDevice(devices, DefaultPath(1)) &&
      std::count_if(devices.begin(), devices.end(), [](const SerialDevice& d) { return d.usb; }) == 1) {
    const auto adapter = std::find_if(devices.begin(), devices.end(), [](const SerialDevice& d) { return d.usb; });
    return {adapter->BindingPath(), Binding::Source::FirstStart};
  }
  return {DefaultPath(com), Binding::Source::Default};
}

Binding ResolveBinding(int com, const QSettings& settings, const DeviceSource& source) {
  if (auto configured = Configured(com, settings)) return *configured;
  if (!FirstStartApplies(com, settings)) return {DefaultPath(com), Binding::Source::Default};
  return ResolveBinding(com, settings, ListDevices(source));
}

QString BoundPath(int com, const QSettings& settings, const DeviceSource& source) {
  return ResolveBinding(com, settings, source).path;
}

QString ResolvePortArgument(const QString& argument, const QSettings& settings, const DeviceSource& source) {
  const auto com = ComNumber(argument);
  return com ? BoundPath(*com, settings, source) : argument;
}

void SaveBinding(int com, const QString& path, QSettings& settings) {
  settings.setValue(Key(com), path);
  settings.sync();
}

void ForgetBinding(int com, QSettings& settings) {
  settings.remove(Key(com));
  settings.sync();
}

const SerialDevice* FindDevice(const std::vector<SerialDevice>& devices, const QString& path) {
  const auto found =
      std::find_if(devices.begin(), devices.end(), [&](const SerialDevice& d) { return d.Matches(path); });
  return found == devices.end() ? nullptr : &*found;
}

}  // namespace riventar::ports
