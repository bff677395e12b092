// riventar-web: the logbook in a browser, read-only. It opens the logbook
// chosen as everywhere else and serves its pages until SIGINT or SIGTERM.
#include <pthread.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <QCoreApplication>
#include <csignal>
#include <iostream>
#include <thread>

#include "adapters/logbook/session_stores.h"
#include "core/services/logbook_session.h"
#include "web/access.h"
#include "web/listen.h"
#include "web/server.h"

namespace {

using namespace riventar;

constexpr int Usage = 2, Failed = 1;

int Fail(const std::string& message, int status = Failed) {
  std::cerr << "riventar-web: " << message << "\n";
  return status;
}

// The password from standard input: its first line, without its line end.
std::string ReadPassword() {
  std::string line;
  std::getline(std::cin, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

int Serve(const std::optional<std::string>& logbookOption, const std::string& listen, const std::string& cert,
          const std::string& key, int threads) {
  web::ServerOptions options;
  const std::optional<web::ListenAddress> address = web::ParseListen(listen);
  if (!address) return Fail("--listen takes HOST:PORT, e.g. 127.0.0.1:8470 or [::1]:8470", Usage);
  options.listen = *address;
  options.certFile = cert;
  options.keyFile = key;
  options.threads = threads;
  try {
    options.users = web::LoadUsers(web::UsersFile());
  } catch (const std::exception& e) {
    return Fail(e.what());
  }
  if (const std::string refusal = web::Refusal(options); !refusal.empty()) return Fail(refusal, Usage);
  options.token = web::RandomToken();

  // Found as the window and riventar-cli find it. The server's own role needs
  // only SELECT (docs/fleet.md); a file is opened read-only.
  logbook::SessionStores stores;
  services::LogbookSession logbook(stores, {.use = services::StoreUse::Browse});
  if (const services::Status located = logbook.Locate(logbookOption); !located)
    return Fail(located.failure().message, Usage);
  options.fleet = logbook.AtServer();
  const web::StorePool::Opener open = web::BrowseOpener(stores, logbook.Location());
  // Checked once now, so that a wrong location is said at start; the pages
  // open their own connections.
  try {
    open();
  } catch (const logbook::StoreError& e) {
    std::cerr << "riventar-web: the logbook " << e.path() << " cannot be read now (" << e.what()
              << "); its pages answer 503 until it can\n";
  }

  // The signals are taken by one thread of ours, not by whichever thread runs.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  if (const int error = pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr); error != 0)
    return Fail("cannot block the stop signals");

  try {
    web::WebServer http(options, open);
    options.listen.port = http.Bind();
    std::cout << web::BaseUrl(options.listen, !cert.empty()) << "/?token=" << options.token << std::endl;
    std::thread waiter([&http, stopSignals] {
      int signal = 0;
      sigwait(&stopSignals, &signal);
      http.Stop();
    });
    http.Run();
    // Run may end without a signal (the socket failed): the waiter is woken
    // by one to this process, which only it takes.
    ::kill(::getpid(), SIGTERM);
    waiter.join();
  } catch (const std::exception& e) {
    return Fail(e.what());
  }
  return 0;
}

int Run(int argc, char** argv) {
  QCoreApplication qt(argc, argv);
  CLI::App app{"The logbook in a browser, read-only.", "riventar-web"};
  app.set_version_flag("--version", std::string(RIVENTAR_VERSION));
  std::optional<std::string> logbookOption;
  std::string listen = web::DefaultListen, cert, key;
  int threads = 16;
  app.add_option("--logbook", logbookOption, "the logbook: a file, or a postgresql:// URI")->type_name("PATH|URI");
  app.add_option("--listen", listen, "the address to serve on (default 127.0.0.1:8470)")->type_name("HOST:PORT");
  app.add_option("--tls-cert", cert, "the certificate (PEM) for HTTPS")->type_name("FILE");
  app.add_option("--tls-key", key, "its private key (PEM)")->type_name("FILE");
  app.add_option("--threads", threads, "worker threads (default 16)")->check(CLI::Range(2, 256));
  CLI::App* user = app.add_subcommand("user", "the users who may log in with a password");
  std::string name;
  CLI::App* add =
      user->add_subcommand("add", "add a user, or set a password: the password is read from standard input");
  add->add_option("NAME", name)->required();
  CLI::App* remove = user->add_subcommand("remove", "remove a user");
  remove->add_option("NAME", name)->required();
  CLI::App* list = user->add_subcommand("list", "list the users");
  user->require_subcommand(1);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : Usage;
  }
  const std::string file = web::UsersFile();
  try {
    if (add->parsed()) {
      web::AddUser(file, name, ReadPassword());
      std::cerr << "riventar-web: user " << name << " saved in " << file << "\n";
      return 0;
    }
    if (remove->parsed()) {
      if (!web::RemoveUser(file, name)) return Fail("no user " + name);
      return 0;
    }
    if (list->parsed()) {
      for (const auto& [known, hash] : web::LoadUsers(file)) std::cout << known << "\n";
      return 0;
    }
  } catch (const std::exception& e) {
    return Fail(e.what());
  }
  return Serve(logbookOption, listen, cert, key, threads);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::cerr << "riventar-web: " << e.what() << "\n";
  }
  return 70;  // EX_SOFTWARE
}
