#pragma once
// The logbook in one SQLite file, through Qt SQL.
//
// Qt SQL loads its SQLite driver as a plugin: a QCoreApplication (or a
// QApplication) must exist before OpenLogbook and outlive every Store.
//
// The file is shared: the window and riventar-cli may hold it open at once.
// Writers queue for up to `busyTimeout`, then get StoreError::Kind::Locked.
// A file that is not a logbook, is damaged, or was written by a newer program
// is refused before anything is written to it.
#include <chrono>
#include <memory>
#include <string>

#include "core/logbook/logbook.h"

namespace riventar::logbook {

inline constexpr std::chrono::milliseconds DefaultBusyTimeout{5000};

// The schema this program writes; a file of a higher version is Newer.
inline constexpr int SchemaVersion = 1;

// Opens the logbook at `location`, creating it (and its folder) when missing.
// Throws StoreError. The Store belongs to the calling thread.
std::unique_ptr<Store> OpenLogbook(const std::string& location,
                                   std::chrono::milliseconds busyTimeout = DefaultBusyTimeout);

}  // namespace riventar::logbook
