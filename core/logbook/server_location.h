#pragma once
// A logbook on a PostgreSQL server is named by a libpq connection URI:
//   postgresql://[user[:password]@][host][:port][,...][/dbname][?name=value&...]
// (or postgres://), including the service form postgresql:///?service=fleet.
//
// Riventar keeps no password of its own: libpq finds one in ~/.pgpass,
// PGPASSFILE or a service file, or needs none (peer or certificate
// authentication). A password written into the URI still works, and these
// rules keep it out of every text that names the location.
#include <string>
#include <string_view>
#include <vector>

namespace riventar::logbook {

bool IsServerLocation(std::string_view location);

// The password written into `uri` (user info or a "password" parameter),
// percent-decoded; empty when there is none.
std::string PasswordIn(std::string_view uri);

// `uri` as it may be shown: a password, in either place, becomes "***".
std::string RedactedLocation(std::string_view uri);

// Any text about `uri` (a database's message may echo the connection
// string): the password, as written and percent-decoded, becomes "***",
// as does the value of any "password=" in it.
std::string Scrubbed(std::string_view text, std::string_view uri);

// A host libpq reaches without the network: a Unix-socket folder (starting
// with '/' or '@'), "localhost", 127.0.0.0/8 or ::1. An empty host is libpq's
// default socket.
bool IsLocalHost(std::string_view host);

// The sslmode to connect with, given the hosts the connection may go to (a
// "host" or "hostaddr" list split at commas; none: unknown, e.g. a service's),
// the sslmode the URI states (empty: none) and PGSSLMODE's (empty: unset).
// Empty: connect as stated. Otherwise the mode to set.
//
// A remote server without TLS would see the password and every trip in plain
// text, so anything weaker than "require" becomes "require" unless the URI
// says "disable" in so many words. Raised rather than refused: a URI copied
// from a server's page seldom names a mode, and "verify-full" (what the fleet
// guide advises) needs the server's root certificate on every computer, which
// only its owner can put there.
std::string SslModeFor(const std::vector<std::string>& hosts, std::string_view stated, std::string_view environment);

// After connecting: may a session to `host` without TLS go on? Only to a
// local host, or when the URI stated sslmode=disable.
bool PlainTextAllowed(std::string_view host, std::string_view stated);

}  // namespace riventar::logbook
