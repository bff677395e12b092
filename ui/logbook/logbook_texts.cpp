#include "ui/logbook/logbook_texts.h"

#include <QDir>

#include "core/logbook/server_location.h"
#include "core/stats/figures.h"
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
  const QString detail = LogbookDetailText(error.what());
  return detail.isEmpty() ? reason : reason + QStringLiteral(" (") + detail + QStringLiteral(")");
}

QString LogbookDetailText(const std::string& detail) {
  // The phrases SQLite and the logbook's store use, longest first where one holds another.
  static const struct {
    const char* english;
    const char* russian;
  } Phrases[] = {
      {"database disk image is malformed", "структура файла базы данных нарушена"},
      {"file is not a database", "файл не является базой данных"},
      {"database or disk is full", "база данных или диск заполнены"},
      {"disk I/O error", "ошибка чтения или записи диска"},
      {"database is locked", "база данных занята другой программой"},
      {"database table is locked", "таблица базы данных занята"},
      {"attempt to write a readonly database", "попытка записи в базу данных, открытую только для чтения"},
      {"unable to open database file", "не удается открыть файл базы данных"},
      {"a damaged logbook", "журнал поврежден"},
      {"an SQLite database of another program, not a logbook",
       "база данных SQLite другой программы, а не журнал маршрутов"},
      {"an SQLite database, but not a logbook", "база данных SQLite, но не журнал маршрутов"},
      {"not a logbook: no SQLite database header", "не журнал маршрутов: нет заголовка базы данных SQLite"},
      {"no schema version", "нет версии схемы"},
      {"this program knows up to", "эта программа знает версии до"},
      {"schema version", "версия схемы"},
      {"opened read-only", "открыт только для чтения"},
      {"the file cannot be written", "в файл нельзя писать"},
      {"its folder cannot be written", "в его папку нельзя писать"},
      {"a change was cut off in the middle", "изменение было прервано на середине"},
      {"and only a program that may write the file can undo it",
       "и отменить его может только программа с правом записи в файл"},
      {"the file", "файл"},
      {"an empty file that cannot be made a logbook", "пустой файл, который нельзя сделать журналом"},
      {"an empty database that cannot be made a logbook", "пустая база данных, которую нельзя сделать журналом"},
      {"no such folder", "нет такой папки"},
      {"no file name", "не указано имя файла"},
      {"not a file", "это не файл"},
      {"the logbook cannot keep a write-ahead log here", "SQLite не может вести здесь журнал упреждающей записи (WAL)"},
      {"RIVENTAR_LOGBOOK must be an absolute path", "в RIVENTAR_LOGBOOK должен быть полный путь"},
  };
  QString text = QString::fromUtf8(detail.data(), static_cast<qsizetype>(detail.size()));
  if (text.isEmpty()) return text;
  bool known = false;
  for (const auto& phrase : Phrases) {
    const QString english = QString::fromUtf8(phrase.english);
    if (!text.contains(english)) continue;
    text.replace(english, QString::fromUtf8(phrase.russian));
    known = true;
  }
  return known ? text : QStringLiteral("сообщение базы данных: «%1»").arg(text);
}

QString LogbookOpenFailureText(const QString& path, const logbook::StoreError& error) {
  using Kind = logbook::StoreError::Kind;
  QString advice;
  if (error.kind() == Kind::Corrupt || error.kind() == Kind::Newer)
    advice = QStringLiteral(
        "Файл оставлен как есть. Переместите его в другое место (тогда будет заведен новый "
        "журнал) или выберите другой файл кнопкой \"Другой файл журнала...\" в окне \"Журнал\".");
  else if (error.kind() == Kind::Locked)
    advice = QStringLiteral(
        "Повторите, когда другая программа закончит работу с файлом, или выберите другой файл кнопкой "
        "\"Другой файл журнала...\" в окне \"Журнал\".");
  else if (error.kind() == Kind::Full)
    advice = QStringLiteral(
        "Освободите место на диске или выберите файл на другом диске кнопкой "
        "\"Другой файл журнала...\" в окне \"Журнал\".");
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

QString ServerProblemText(const services::SharingStatus& status) {
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

QString KmText(std::uint64_t distance) { return QString::fromStdString(stats::KilometresText(distance)); }

QString LitresText(std::uint64_t fuel) { return QString::fromStdString(stats::LitresText(fuel)); }

}  // namespace riventar::ui
