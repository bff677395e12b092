#pragma once
// Logbooks as earlier programs left them, made from one of today's by taking
// the later tables and columns away again.
#include <functional>

namespace riventar::testing {

// Back to version 4: what each trip was for, which trips each recording held,
// where it came from, and the corrections, gone; `exec` runs one statement.
inline void MakeVersionFour(const std::function<void(const char*)>& exec) {
  for (const char* sql : {
           "DROP TABLE changes",
           "DROP TABLE import_trips",
           "ALTER TABLE imports DROP COLUMN undone",
           "ALTER TABLE imports DROP COLUMN vehicle",
           "ALTER TABLE imports DROP COLUMN plate_key",
           "ALTER TABLE imports DROP COLUMN computer",
           "ALTER TABLE trips DROP COLUMN note",
           "ALTER TABLE trips DROP COLUMN driver",
           "ALTER TABLE trips DROP COLUMN purpose",
           "UPDATE schema_version SET version = 4",
       })
    exec(sql);
}

}  // namespace riventar::testing
