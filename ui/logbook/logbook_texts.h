#pragma once
// The window's words for what the logbook store reports.
#include <QString>

#include "core/logbook/logbook.h"
#include "core/services/logbook_session.h"

namespace riventar::ui {

inline const QString LogbookCaption = QStringLiteral("Журнал маршрутов");

// Why the logbook could not be opened or written, in one line with the
// system's or the database's own words.
QString LogbookFailureReason(const logbook::StoreError& error);
// The database's or the store's own English words about the logbook, in Russian
// where they are known; others are marked as the database's.
QString LogbookDetailText(const std::string& detail);
// The file could not be opened as the logbook: where, why, what to do.
QString LogbookOpenFailureText(const QString& path, const logbook::StoreError& error);
// The logbook's location as any text may show it: a server's without its
// password, a file's with the system's separators.
QString ShownLocation(const QString& location);
// Any text about `location` (a database's words): no password of it left.
QString ScrubbedFor(const QString& text, const QString& location);
// "1 маршрут", "3 маршрута", "5 маршрутов".
QString TripsText(std::int64_t count);
// The last server problem of `status`, one line; empty when there is none.
QString ServerProblemText(const services::SharingStatus& status);
// A server problem of this kind with the server's own words (already without a password).
QString ServerProblemText(logbook::StoreError::Kind kind, const std::string& detail);
// "1/6000 km" and "1/16000 l" with one truncated decimal, as the table shows them.
QString KmText(std::uint64_t distance);
QString LitresText(std::uint64_t fuel);

}  // namespace riventar::ui
