#pragma once
// A throwaway PostgreSQL 15 server for tests and benchmarks: its own cluster
// in a fresh folder under /tmp, reachable only through a Unix socket in that
// folder, every local connection trusted. Stopped and removed with the
// object. Plain C++ (no Qt, no libpq): the server's own programs do the work.
//
// Running as root (as CI does), the cluster belongs to the `postgres` system
// user that Debian's postgresql package creates: the server refuses to run as
// root.
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace riventar::testing {

class PgServer {
 public:
  struct Options {
    bool durable = false;  // fsync on and larger buffers: for benchmarks; tests need no crash safety
    bool tcp = false;      // also listening on 127.0.0.1, at Port()
    // pg_hba.conf's lines for TCP, e.g. "host all all 127.0.0.1/32 scram-sha-256";
    // empty: every connection trusted. The socket is always trusted.
    std::string tcpRules{};
    // TLS with a new self-signed certificate for this name (its own root:
    // Certificate()); empty: no TLS.
    std::string tlsName{};
    bool logConnections = false;  // each attempt and each authorized session in Log()
  };
  // Throws std::runtime_error, with the server's log, when it cannot start.
  PgServer();
  explicit PgServer(const Options& options);
  ~PgServer();
  PgServer(const PgServer&) = delete;
  PgServer& operator=(const PgServer&) = delete;

  // The folder of the socket.
  const std::filesystem::path& Folder() const { return folder_; }
  int Port() const { return port_; }
  std::filesystem::path Certificate() const { return folder_ / "server.crt"; }
  std::string Log() const;
  // Stops the server (fast shutdown: sessions are ended) and starts it again
  // in the same folder, on the same socket and port. Each does nothing when
  // already done. Throw std::runtime_error, with the server's log.
  void Stop();
  void Start();

  // A new empty database; its URI, e.g. postgresql:///name?host=/tmp/…&user=postgres.
  std::string CreateDatabase(const std::string& name);
  std::string Uri(const std::string& database) const;
  // Runs `sql` with psql in `database` as `user`; its output, unaligned, one
  // row a line, columns separated by '|'. Throws std::runtime_error on an
  // error, with psql's message.
  std::string Sql(const std::string& database, const std::string& sql, const std::string& user = "postgres") const;

  // One server for the whole test executable, started on first use and
  // stopped at exit.
  static PgServer& Shared();

 private:
  std::filesystem::path folder_;
  std::string settings_;  // the server's options
  bool running_ = false;
  int port_ = 5432;
  int owner_;  // the process that started it: a forked child that exits leaves it alone
};

// Runs `args` (args[0] a full path) and waits; its exit status, its output
// into `output` when given. As root with `asPostgres`, as the postgres user.
int RunProgram(const std::vector<std::string>& args, std::string* output = nullptr, bool asPostgres = false);

// A session that holds the logbook's `table` (in the schema riventar) of
// `database` locked (ACCESS EXCLUSIVE) from
// construction, once the server granted it, until destruction.
class TableLock {
 public:
  TableLock(const PgServer& server, std::string database, const std::string& table);
  ~TableLock();
  TableLock(const TableLock&) = delete;
  TableLock& operator=(const TableLock&) = delete;

 private:
  const PgServer& server_;
  std::string database_;
  std::thread holder_;
};

// Makes a self-signed certificate for `name` and its key (openssl).
void MakeCertificate(const std::string& name, const std::filesystem::path& certificate,
                     const std::filesystem::path& key, bool asPostgres = false);

// A socket where a server would listen, in `folder` for `port`, that takes
// connections and never answers: the worst a network can do. Throws
// std::system_error.
class SilentServer {
 public:
  explicit SilentServer(const std::filesystem::path& folder, int port = 5432);
  ~SilentServer();
  SilentServer(const SilentServer&) = delete;
  SilentServer& operator=(const SilentServer&) = delete;

 private:
  int fd_;
};

}  // namespace riventar::testing
