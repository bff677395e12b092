#include "ui/logbook/logbook_texts.h"

#include <QDir>

#include "core/logbook/server_location.h"
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

QString ShownLocation(const QString& location) {
  const std::string raw = location.toStdString();
  if (logbook::IsServerLocation(raw)) return QString::fromStdString(logbook::RedactedLocation(raw));
  return QDir::toNativeSeparators(location);
}

QString ScrubbedFor(const QString& text, const QString& location) {
  const std::string raw = location.toStdString();
  if (!logbook::IsServerLocation(raw)) return text;
  return QString::fromStdString(logbook::Scrubbed(text.toStdString(), raw));
}

QString TripsText(std::int64_t count) {
  const std::int64_t tens = count % 100, ones = count % 10;
  const char* word = "маршрутов";
  if (ones == 1 && tens != 11)
    word = "маршрут";
  else if (ones >= 2 && ones <= 4 && (tens < 12 || tens > 14))
    word = "маршрута";
  return QStringLiteral("%1 %2").arg(count).arg(QString::fromUtf8(word));
}

QString ServerProblemText(const logbook::SharingStatus& status) {
  if (status.problem.empty()) return {};
  return ServerProblemText(status.problemKind.value_or(logbook::StoreError::Kind::Other), status.problemDetail);
}

QString ServerProblemText(logbook::StoreError::Kind kind, const std::string& detail) {
  using Kind = logbook::StoreError::Kind;
  QString words;
  switch (kind) {
    case Kind::CannotOpen:
      words = QStringLiteral("сервер недоступен");
      break;
    case Kind::Newer:
      words = QStringLiteral("журнал на сервере записан более новой версией программы");
      break;
    case Kind::Corrupt:
      words = QStringLiteral("на сервере не журнал маршрутов");
      break;
    case Kind::ReadOnly:
      words = QStringLiteral("нет права записи в журнал на сервере");
      break;
    default:
      words = QStringLiteral("ошибка сервера");
      break;
  }
  const QString theirs = QString::fromStdString(detail).simplified();  // one line
  return theirs.isEmpty() ? words : words + QStringLiteral(" (") + theirs + QStringLiteral(")");
}

static QString Tenths(std::uint64_t value, std::uint64_t perUnit) {
  return QStringLiteral("%1.%2").arg(value / perUnit).arg(value / (perUnit / 10) % 10);
}

QString KmText(std::uint64_t distance) { return Tenths(distance, trips::DistancePerKm); }

QString LitresText(std::uint64_t fuel) { return Tenths(fuel, trips::FuelPerLitre); }

}  // namespace riventar::ui
