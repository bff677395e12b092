#pragma once
// The HTTP server: its routes, who may use them, and the limits every request
// meets. Read-only: no route writes to the logbook.
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "web/access.h"
#include "web/listen.h"
#include "web/store_pool.h"

namespace httplib {
class Server;
}

namespace riventar::web {

struct ServerOptions {
  ListenAddress listen;
  std::string certFile, keyFile;             // both or neither: TLS
  std::string token;                         // what the address printed at start carries
  std::map<std::string, std::string> users;  // name -> Argon2id hash; may log in with a password
  int threads = 16;
  bool fleet = false;  // a fleet's server: the vehicles page says what waits on this computer
};

// Why the server may not start with these options; empty when it may. An
// address other than loopback needs TLS and at least one user.
std::string Refusal(const ServerOptions& options);

class WebServer {
 public:
  WebServer(ServerOptions options, StorePool::Opener open);
  ~WebServer();
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  // Binds the address (port 0: any free one); the port bound, or throws
  // std::runtime_error.
  int Bind();
  // Serves until Stop, from the worker threads. Call after Bind.
  void Run();
  // From any thread.
  void Stop();

 private:
  void Routes();

  ServerOptions options_;
  StorePool stores_;
  Access access_;
  // One password hashed at a time: each check takes 64 MiB for a moment.
  std::mutex hashing_;
  std::unique_ptr<httplib::Server> http_;
};

}  // namespace riventar::web
