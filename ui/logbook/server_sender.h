#pragma once
// Sends what waits for a shared logbook's server on a thread of its own, so
// that the window never waits for the network (a server out of reach costs
// the connect timeout, a locked table much longer). The thread opens the
// logbook again, with connections of its own: a Store belongs to one thread.
// One send at a time; asked during one, it sends once more afterwards. The
// outcome comes back on the owner's (the window's) thread.
#include <QObject>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "adapters/logbook/fleet_store.h"

namespace riventar::ui {

struct SendOutcome {
  logbook::SyncResult result;
  logbook::SharingStatus status;               // what waits after the attempt, and the server's problem
  std::optional<logbook::StoreError> failure;  // this computer's file could not be used
};

class ServerSender final : public QObject {
 public:
  using Done = std::function<void(const SendOutcome&)>;
  // `done` runs on the thread that made the sender, after each send.
  explicit ServerSender(Done done);
  // Waits for a send under way: the thread must not outlive what it reports to.
  ~ServerSender() override;
  ServerSender(const ServerSender&) = delete;
  ServerSender& operator=(const ServerSender&) = delete;

  // Sends what waits for the shared logbook at `location` (a server location).
  void Send(const std::string& location);
  bool Busy() const { return running_; }

 private:
  void Finished(const SendOutcome& outcome);

  Done done_;
  // The owner's thread only.
  bool running_ = false;
  std::optional<std::string> again_;  // a location asked for during the send
  std::thread thread_;
};

}  // namespace riventar::ui
