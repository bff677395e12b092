#pragma once
// The logbook in one SQLite file, through Qt SQL.
//
// Qt SQL loads its SQLite driver as a plugin: a QCoreApplication (or a
// QApplication) must exist before OpenLogbook and outlive every Store.
//
// The file is shared: the window and riventar-cli may hold it open at once.
// Writers queue for up to `busyTimeout`, then get StoreError::Kind::Locked.
// A file is recognised as a logbook by its mark (SQLite's application id),
// or, written before the mark, by its exact tables, and every page of it is
// checked, all before anything may write to it: a file that is not a
// logbook, is damaged, or was written by a newer program is refused as it is,
// and no side file is left beside it. A new file appears whole or not at all.
// Every commit reaches the main file: the logbook is that one file.
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "core/logbook/logbook.h"
#include "core/logbook/outbox.h"

namespace riventar::logbook {

inline constexpr std::chrono::milliseconds DefaultBusyTimeout{5000};

// The schema this program writes; a file of a higher version is Newer.
// Version 2 added the outbox; 3 remembers several devices per path, each
// record by its index; 4 keeps the server each outbox entry is for, and the
// entries a server refused; 5 what each trip was for, which trips each
// recording holds, and the corrections made.
inline constexpr int SchemaVersion = 5;

// The mark a logbook carries from its creation: "RvLb".
inline constexpr std::int32_t LogbookApplicationId = 0x52764c62;

// What the opener will do with the logbook.
enum class Access {
  Write,        // recording: made (with its folder) when missing; ReadOnly when it cannot be written
  ReadOrWrite,  // the window: made when missing; opened read-only when it cannot be written
  Read,         // a listing: never made (CannotOpen); opened read-only when it cannot be written
};

// Opens the logbook at `location`. Opened read-only, every recording throws
// StoreError (ReadOnly) saying why. Throws StoreError. The Store belongs to
// the calling thread.
std::unique_ptr<Store> OpenLogbook(const std::string& location,
                                   std::chrono::milliseconds busyTimeout = DefaultBusyTimeout);  // Access::Write
// `pagesChecked`: CheckLogbookPages passed for this file just before.
std::unique_ptr<Store> OpenLogbook(const std::string& location, Access access,
                                   std::chrono::milliseconds busyTimeout = DefaultBusyTimeout,
                                   bool pagesChecked = false);

// The check of every page OpenLogbook makes (it takes a while on a big file),
// alone, for a front end that makes it on a thread of its own beforehand:
// true when the file was recognised and is sound, false when there was
// nothing to check yet (no file, an empty one, or a change cut off that
// OpenLogbook rolls back first). Writes nothing; throws the StoreError
// OpenLogbook would. Any thread; its connection is its own.
bool CheckLogbookPages(const std::string& location);

// Writes a consistent copy of the logbook at `location` to the file `copy`
// (replaced whole, or left as it was), with SQLite's online backup: others
// may record meanwhile. Throws StoreError; its path is the copy's when the
// copy failed.
void BackUpLogbook(const std::string& location, const std::string& copy);

// Opens a logbook that exists only to read it, as a server that shows it
// does: nothing is created, migrated or written (Record and RecordSaved throw
// ReadOnly). Throws StoreError; CannotOpen when the file is missing.
std::unique_ptr<Store> OpenLogbookReadOnly(const std::string& location,
                                           std::chrono::milliseconds busyTimeout = DefaultBusyTimeout);

// The same for a look at what waits in the logbook's outbox for `server` (a
// ServerQueueKey): nothing created, migrated or written.
std::unique_ptr<QueuingStore> OpenQueueReadOnly(const std::string& location, const std::string& server,
                                                std::chrono::milliseconds busyTimeout = DefaultBusyTimeout);

// `server`: the key of the server this computer sends to now (e.g.
// ServerQueueKey of its location).
std::unique_ptr<QueuingStore> OpenQueuingLogbook(const std::string& location,
                                                 std::chrono::milliseconds busyTimeout = DefaultBusyTimeout,
                                                 const std::string& server = {});

}  // namespace riventar::logbook
