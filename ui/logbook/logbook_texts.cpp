#include "ui/logbook/logbook_texts.h"

#include <QDateTime>
#include <QDir>

#include "core/trips/trip_record.h"

namespace riventar::ui {

QString LogbookFailureReason(const logbook::StoreError& error) {
  using Kind = logbook::StoreError::Kind;
  QString reason;
  switch (error.kind()) {
    case Kind::CannotOpen:
      reason = QStringLiteral("файл журнала не удается открыть или создать");
      break;
    case Kind::Corrupt:
      reason = QStringLiteral("файл поврежден или не является журналом маршрутов");
      break;
    case Kind::Newer:
      reason = QStringLiteral("файл записан более новой версией программы");
      break;
    case Kind::Locked:
      reason = QStringLiteral("файл журнала занят другой программой");
      break;
    case Kind::ReadOnly:
      reason = QStringLiteral("файл журнала или его папка недоступны для записи");
      break;
    case Kind::Full:
      reason = QStringLiteral("диск заполнен");
      break;
    case Kind::Other:
      reason = QStringLiteral("ошибка базы данных");
      break;
  }
  const QString detail = QString::fromUtf8(error.what());
  return detail.isEmpty() ? reason : reason + QStringLiteral(" (") + detail + QStringLiteral(")");
}

QString LogbookOpenFailureText(const QString& path, const logbook::StoreError& error) {
  using Kind = logbook::StoreError::Kind;
  QString advice;
  if (error.kind() == Kind::Corrupt || error.kind() == Kind::Newer)
    advice = QStringLiteral(
        "Файл оставлен как есть. Переместите его в другое место (тогда будет заведен новый "
        "журнал) или выберите другой файл кнопкой \"Другой файл журнала...\" в окне \"Журнал\".");
  else
    advice = QStringLiteral(
        "Проверьте права на файл и его папку или выберите другой файл кнопкой "
        "\"Другой файл журнала...\" в окне \"Журнал\".");
  return QStringLiteral(
             "Журнал маршрутов не открыт:\n%1\n%2.\n\n%3\nПока журнал не открыт, маршруты в него не "
             "записываются; все остальное работает как обычно.")
      .arg(QDir::toNativeSeparators(path), LogbookFailureReason(error), advice);
}

static QString Tenths(std::uint64_t value, std::uint64_t perUnit) {
  return QStringLiteral("%1.%2").arg(value / perUnit).arg(value / (perUnit / 10) % 10);
}

QString KmText(std::uint64_t distance) { return Tenths(distance, trips::DistancePerKm); }

QString LitresText(std::uint64_t fuel) { return Tenths(fuel, trips::FuelPerLitre); }

std::string LogbookNow() {
  return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString();
}

}  // namespace riventar::ui
