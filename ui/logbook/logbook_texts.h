#pragma once
// The window's words for what the logbook store reports.
#include <QString>

#include "core/logbook/logbook.h"

namespace riventar::ui {

inline const QString LogbookCaption = QStringLiteral("Журнал маршрутов");

// Why the logbook could not be opened or written, in one line with the
// system's or the database's own words.
QString LogbookFailureReason(const logbook::StoreError& error);
// The file could not be opened as the logbook: where, why, what to do.
QString LogbookOpenFailureText(const QString& path, const logbook::StoreError& error);
// "1/6000 km" and "1/16000 l" with one truncated decimal, as the table shows them.
QString KmText(std::uint64_t distance);
QString LitresText(std::uint64_t fuel);
// The computer's local time as the logbook keeps it, "YYYY-MM-DD HH:MM:SS".
std::string LogbookNow();

}  // namespace riventar::ui
