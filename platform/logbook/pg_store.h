#pragma once
// The logbook on a PostgreSQL server, shared by a fleet of computers, through
// Qt SQL's PostgreSQL driver (the plugin comes with libqt6sql6-psql). The same
// rules and the same tables as the SQLite file, so that both hold a trip once
// by its identity.
//
// A QCoreApplication must exist before OpenServerLogbook and outlive every
// Store (Qt SQL loads its drivers as plugins).
//
// `location` is a libpq connection URI (IsServerLocation), used as libpq reads
// it. Its password, if it holds one, appears in no text: StoreError's path and
// detail name the location through RedactedLocation and Scrubbed. A remote
// server is reached over TLS only, unless the URI says sslmode=disable
// (SslModeFor). Several computers may record at once: each trip is kept once
// and every vehicle's totals stay exact. RecordAll is one transaction, and
// records no second time a Queued whose id the server already holds.
//
// The role that records needs only SELECT, INSERT and EXECUTE: what changes
// rows (totals, texts, a saved trip's vehicle) is done by functions and
// triggers that the owner's first connection made (docs/fleet.md). A saved
// table moves trips and sets texts only for a role that may (the
// administrator); for a recorder it adds what is new. A recording the server
// refuses for its content throws RecordingRefused. The server keeps no
// device's memory: DeviceMemory is always empty.
#include <chrono>
#include <memory>
#include <string>

#include "core/logbook/logbook.h"
#include "core/logbook/server_location.h"

namespace riventar::logbook {

// The schema this program writes on a server; a server of a higher version
// is Newer and left as it is. Version 2 added the recordings' ids and the
// owner's functions, and dropped the devices' memory. Version 3 moved
// everything into the schema riventar, split the functions by role
// (riventar_recorder, riventar_admin, riventar_reader: docs/fleet.md), bounded
// the trips' values, and keeps the texts PostgreSQL cannot hold as bytes.
inline constexpr int ServerSchemaVersion = 3;

// The server `location` names, as a computer's queue keys what waits for it:
// "host:port/database" (libpq's defaults and environment filling what the
// URI leaves out), or "service NAME[/database]". No user, no password: one
// logbook whoever sends.
std::string ServerQueueKey(const std::string& location);

// Connects (giving up after `connectTimeout`, unless the URI names its own
// connect_timeout), then creates or brings up to date the schema, one
// computer at a time. Throws StoreError: CannotOpen when the server cannot be
// reached or refuses, Newer, ReadOnly without the right to write.
std::unique_ptr<Store> OpenServerLogbook(const std::string& location,
                                         std::chrono::seconds connectTimeout = std::chrono::seconds{5});

}  // namespace riventar::logbook
