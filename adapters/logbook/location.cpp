#include "adapters/logbook/location.h"

#include <QFile>
#include <QStandardPaths>
#include <filesystem>

#include "base/settings/user_settings.h"
#include "core/logbook/logbook.h"
#include "core/logbook/server_location.h"

namespace riventar::logbook {
namespace {

const QString Key = QStringLiteral("logbook/location");

// The file the COM port binding is kept in too.
QSettings UserSettings() { return {QFile::decodeName(settings::UserSettingsPath().c_str()), QSettings::IniFormat}; }

}  // namespace

std::string DefaultLogbookLocation() {
  // Not AppDataLocation: riventar-cli may run without an application name.
  return (QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
          QStringLiteral("/riventar/logbook.sqlite"))
      .toStdString();
}

std::string LogbookLocation(const std::optional<std::string>& commandLine) {
  return LogbookLocation(commandLine, UserSettings());
}

std::string LogbookLocation(const std::optional<std::string>& commandLine, const QSettings& settings) {
  if (commandLine && !commandLine->empty()) return *commandLine;
  std::string fromEnvironment = qEnvironmentVariable(LocationVariable).toStdString();
  if (!fromEnvironment.empty()) {
    // Relative, it would name another file in every folder a command runs in.
    if (!IsServerLocation(fromEnvironment) && !std::filesystem::path(fromEnvironment).is_absolute())
      throw StoreError(StoreError::Kind::CannotOpen, fromEnvironment,
                       std::string(LocationVariable) + " must be an absolute path");
    return fromEnvironment;
  }
  const QString saved = settings.value(Key).toString();
  if (!saved.isEmpty()) return saved.toStdString();
  return DefaultLogbookLocation();
}

void SaveLogbookLocation(const std::string& location) {
  QSettings settings = UserSettings();
  SaveLogbookLocation(location, settings);
}

void SaveLogbookLocation(const std::string& location, QSettings& settings) {
  if (location.empty())
    settings.remove(Key);
  else
    settings.setValue(Key, QString::fromStdString(location));
  settings.sync();
}

}  // namespace riventar::logbook
