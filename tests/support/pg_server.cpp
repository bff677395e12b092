#include "tests/support/pg_server.h"

#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

namespace riventar::testing {
namespace {

namespace fs = std::filesystem;

const std::string Bin = "/usr/lib/postgresql/15/bin/";

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// A TCP port of 127.0.0.1 free a moment ago.
int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    throw std::system_error(errno, std::generic_category(), "a free port");
  ::close(fd);
  return ntohs(address.sin_port);
}

}  // namespace

int RunProgram(const std::vector<std::string>& args, std::string* output, bool asPostgres) {
  const passwd* postgres = nullptr;
  if (asPostgres && ::geteuid() == 0) {
    postgres = ::getpwnam("postgres");
    if (postgres == nullptr) throw std::runtime_error("no postgres user: install the package postgresql-15");
  }
  int pipeFds[2] = {-1, -1};
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) throw std::system_error(errno, std::generic_category(), "pipe");
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) throw std::system_error(errno, std::generic_category(), "fork");
  if (pid == 0) {
    ::dup2(pipeFds[1], STDOUT_FILENO);
    ::dup2(pipeFds[1], STDERR_FILENO);
    const int null = ::open("/dev/null", O_RDONLY);
    ::dup2(null, STDIN_FILENO);
    if (postgres != nullptr &&
        (::setgroups(0, nullptr) != 0 || ::setgid(postgres->pw_gid) != 0 || ::setuid(postgres->pw_uid) != 0))
      ::_exit(126);
    if (postgres != nullptr) ::setenv("HOME", postgres->pw_dir, 1);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(pipeFds[1]);
  std::string text;
  char buffer[4096];
  for (ssize_t got; (got = ::read(pipeFds[0], buffer, sizeof buffer)) != 0;) {
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) break;
    text.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(pipeFds[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (output != nullptr) *output = std::move(text);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

PgServer::PgServer() : PgServer(Options{}) {}

PgServer::PgServer(const Options& options) : owner_(::getpid()) {
  std::string pattern = "/tmp/riventar-pg-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) throw std::system_error(errno, std::generic_category(), "mkdtemp");
  folder_ = pattern;
  try {
    if (::geteuid() == 0) {
      const passwd* postgres = ::getpwnam("postgres");
      if (postgres == nullptr) throw std::runtime_error("no postgres user: install the package postgresql-15");
      if (::chown(folder_.c_str(), postgres->pw_uid, postgres->pw_gid) != 0)
        throw std::system_error(errno, std::generic_category(), "chown " + folder_.string());
    }
    const std::string data = (folder_ / "data").string();
    std::string out;
    if (RunProgram({Bin + "initdb", "-D", data, "-U", "postgres", "--auth=trust", "-E", "UTF8", "--locale=C.UTF-8",
                    "--no-sync"},
                   &out, true) != 0)
      throw std::runtime_error("initdb failed:\n" + out);
    if (!options.tcpRules.empty())
      std::ofstream(folder_ / "data" / "pg_hba.conf") << "local all all trust\n" << options.tcpRules << "\n";
    if (!options.tlsName.empty()) MakeCertificate(options.tlsName, Certificate(), folder_ / "server.key", true);
    if (options.tcp) port_ = FreePort();
    settings_ = "-c listen_addresses='" + std::string(options.tcp ? "127.0.0.1" : "") +
                "' -c unix_socket_directories='" + folder_.string() + "' -c port=" + std::to_string(port_) +
                " -c max_connections=120";
    settings_ += options.durable ? " -c shared_buffers=1GB" : " -c fsync=off -c synchronous_commit=off";
    if (!options.tlsName.empty())
      settings_ += " -c ssl=on -c ssl_cert_file='" + Certificate().string() + "' -c ssl_key_file='" +
                   (folder_ / "server.key").string() + "'";
    if (options.logConnections) settings_ += " -c log_connections=on";
    Start();
  } catch (...) {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
    throw;
  }
}

PgServer::~PgServer() {
  if (::getpid() != owner_) return;
  if (running_)
    RunProgram({Bin + "pg_ctl", "stop", "-w", "-m", "immediate", "-D", (folder_ / "data").string()}, nullptr, true);
  std::error_code ignored;
  fs::remove_all(folder_, ignored);
}

void PgServer::Start() {
  if (running_) return;
  std::string out;
  if (RunProgram({Bin + "pg_ctl", "start", "-w", "-t", "60", "-D", (folder_ / "data").string(), "-l",
                  (folder_ / "log").string(), "-o", settings_},
                 &out, true) != 0)
    throw std::runtime_error("the server did not start:\n" + out + Slurp(folder_ / "log"));
  running_ = true;
}

void PgServer::Stop() {
  if (!running_) return;
  std::string out;
  if (RunProgram({Bin + "pg_ctl", "stop", "-w", "-t", "60", "-m", "fast", "-D", (folder_ / "data").string()}, &out,
                 true) != 0)
    throw std::runtime_error("the server did not stop:\n" + out + Slurp(folder_ / "log"));
  running_ = false;
}

std::string PgServer::Log() const { return Slurp(folder_ / "log"); }

TableLock::TableLock(const PgServer& server, std::string database, const std::string& table)
    : server_(server), database_(std::move(database)) {
  holder_ = std::thread([this, table] {
    try {
      server_.Sql(database_, "BEGIN; LOCK TABLE riventar." + table +
                                 " IN ACCESS EXCLUSIVE MODE; SELECT pg_sleep(600) /* riventar-lock */; COMMIT");
    } catch (const std::runtime_error&) {  // ended by the destructor
    }
  });
  const std::string granted =
      "SELECT COUNT(*) FROM pg_locks l JOIN pg_class c ON c.oid = l.relation WHERE c.relname = '" + table +
      "' AND l.mode = 'AccessExclusiveLock' AND l.granted";
  for (int i = 0; i < 500 && server_.Sql(database_, granted) != "1\n"; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

TableLock::~TableLock() {
  try {
    server_.Sql(
        database_,
        "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE query LIKE '%riventar-lock */%' AND pid <> "
        "pg_backend_pid()");
  } catch (const std::runtime_error&) {
  }
  holder_.join();
}

void MakeCertificate(const std::string& name, const std::filesystem::path& certificate,
                     const std::filesystem::path& key, bool asPostgres) {
  std::string out;
  if (RunProgram(
          {"/usr/bin/openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=" + name,
           "-addext", "subjectAltName=DNS:" + name, "-keyout", key.string(), "-out", certificate.string()},
          &out, asPostgres) != 0)
    throw std::runtime_error("openssl: " + out);
  // The server refuses a key others may read.
  fs::permissions(key, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace);
}

std::string PgServer::Uri(const std::string& database) const {
  return "postgresql:///" + database + "?host=" + folder_.string() +
         (port_ == 5432 ? std::string() : "&port=" + std::to_string(port_)) + "&user=postgres";
}

std::string PgServer::CreateDatabase(const std::string& name) {
  std::string out;
  if (RunProgram({Bin + "createdb", "-h", folder_.string(), "-p", std::to_string(port_), "-U", "postgres", name},
                 &out) != 0)
    throw std::runtime_error("createdb " + name + ": " + out);
  return Uri(name);
}

std::string PgServer::Sql(const std::string& database, const std::string& sql, const std::string& user) const {
  std::string out;
  if (RunProgram({Bin + "psql", "-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1", "-h", folder_.string(), "-p",
                  std::to_string(port_), "-U", user, "-d", database, "-c", sql},
                 &out) != 0)
    throw std::runtime_error("psql: " + out);
  return out;
}

PgServer& PgServer::Shared() {
  static PgServer server;
  return server;
}

SilentServer::SilentServer(const std::filesystem::path& folder, int port) : fd_(::socket(AF_UNIX, SOCK_STREAM, 0)) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  (folder / (".s.PGSQL." + std::to_string(port))).string().copy(address.sun_path, sizeof address.sun_path - 1);
  if (fd_ < 0 || ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd_, 16) != 0) {
    const int error = errno;
    if (fd_ >= 0) ::close(fd_);
    throw std::system_error(error, std::generic_category(), "silent server");
  }
}

SilentServer::~SilentServer() { ::close(fd_); }

}  // namespace riventar::testing
