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

// One place a connection may go: libpq's host (a name or a socket folder) and
// the address it connects to instead of looking the name up; either may be
// empty. Remote when either is: a remote address under the name "localhost"
// still crosses the network, and a remote name is what a certificate proves.
struct ServerEndpoint {
  std::string host;
  std::string address;
};
bool IsRemote(const ServerEndpoint& endpoint);

// libpq's "host" and "hostaddr" lists (comma-separated, as in effect after
// the service file and the environment) as the endpoints they make; one
// empty endpoint (the default socket) when both are empty.
std::vector<ServerEndpoint> EndpointsOf(std::string_view hosts, std::string_view addresses);

// What the connection must be given so that a password and the trips cross
// the network only to a proven server. Empty strings: as configured.
struct TlsSettings {
  std::string sslMode;
  std::string channelBinding;
  std::string rootCertificate;
};

// For `endpoints` (all of them: one connection string serves every host, so
// a list that mixes local and remote ones is held to the remote rule), the
// sslmode the URI itself states (empty: none), the one in effect (the URI's,
// a service file's or PGSSLMODE) and a root certificate that can be used
// (a file that exists, or "system"; empty: none).
//
// Nothing for local endpoints, nor when the URI says sslmode=disable in so
// many words. Otherwise TLS that proves the server: with a root certificate,
// verify-full (verify-ca when so stated); without one, the server's TLS is
// not proven by its certificate, so channel_binding=require makes SCRAM
// prove that the server at the other end of the TLS session knows the
// password's verifier, and refuses any other way of sending the password.
TlsSettings TlsFor(const std::vector<ServerEndpoint>& endpoints, std::string_view stated, std::string_view inEffect,
                   std::string_view rootCertificate);

// After connecting: may a session to `connected` without TLS go on? Only to
// a local endpoint, or when the URI stated sslmode=disable.
bool PlainTextAllowed(const ServerEndpoint& connected, std::string_view stated);

}  // namespace riventar::logbook
