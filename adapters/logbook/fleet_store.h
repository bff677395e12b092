#pragma once
// The logbook where the front ends find it: a file, or a fleet's logbook on a
// PostgreSQL server with this computer's own SQLite logbook in front of it.
//
// The shared logbook's policy is the core's (core/logbook/shared_logbook.h,
// included here for the front ends); this opens it over the SQLite file and
// the PostgreSQL server.
#include <memory>
#include <string>

#include "adapters/logbook/sqlite_store.h"
#include "core/logbook/logbook.h"
#include "core/logbook/shared_logbook.h"

namespace riventar::logbook {

// A server location (see server_location.h): the shared logbook, whose local
// half is DefaultLogbookLocation(); the server is not contacted yet. Anything
// else: the SQLite logbook in that file, opened for `access` (the local half
// of a server's always for writing). Throws StoreError for the local file.
std::unique_ptr<Store> OpenLogbookAt(const std::string& location, const LogbookOptions& options = {},
                                     Access access = Access::Write, bool pagesChecked = false);

}  // namespace riventar::logbook
