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
// server is reached only over TLS that proves it, whatever brought its host
// (the URI, a service file, the environment), unless the URI says
// sslmode=disable (TlsFor). Several computers may record at once: each trip is kept once
// and every vehicle's totals stay exact. RecordAll is one transaction, and
// records no second time a Queued whose id the server already holds.
//
// The role that records needs only SELECT and EXECUTE: what changes rows
// (totals, a held unassigned trip's vehicle, corrections) is done by
// functions and triggers that the owner's first connection made
// (docs/fleet.md). Corrections (Move, EditVehicle, Merge, DeleteVehicle,
// Undo, Tag) are the administrator's (riventar_admin): another role gets a
// StoreError (ReadOnly) saying so. A recording or correction the server
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
// Version 4 records through one function (riventar_record), keeps which
// trips each reading holds, the trips' tags and a history of corrections,
// which only riventar_admin may make.
// Version 5 keeps each vehicle's totals by month.
inline constexpr int ServerSchemaVersion = 5;

// The server `location` names, as a computer's queue keys what waits for it:
// "host:port/database" (libpq's defaults and environment filling what the
// URI leaves out), or "service NAME[/database]". No user, no password: one
// logbook whoever sends.
std::string ServerQueueKey(const std::string& location);

// How long a server may keep this program waiting.
struct ServerTimeouts {
  // To connect, across every host the location names (a URI's own
  // connect_timeout, per host as libpq has it, is kept when there is one host).
  std::chrono::seconds connect{5};
  // Any one statement (the server's statement_timeout), and any wait for a
  // lock within it (lock_timeout).
  std::chrono::milliseconds statement{30000};
  std::chrono::milliseconds lock{10000};
  // A server that has not answered a statement this long after it was sent
  // (stopped, or the network gone) is given up: the connection is closed.
  std::chrono::milliseconds silence{35000};
};

// Connects, then creates or brings up to date the schema, one computer at a
// time. Throws StoreError: CannotOpen when the server cannot be reached or
// refuses, Newer, ReadOnly without the right to write, Locked when a lock
// was not had within the timeout.
std::unique_ptr<Store> OpenServerLogbook(const std::string& location, const ServerTimeouts& timeouts);
std::unique_ptr<Store> OpenServerLogbook(const std::string& location,
                                         std::chrono::seconds connectTimeout = std::chrono::seconds{5});

// For a signal handler (async-signal-safe, returns at once): asks the server
// of every open connection of this process to cancel what it is doing, from
// a child process, so that a server that does not answer keeps nobody.
void CancelServerStatements();

}  // namespace riventar::logbook
