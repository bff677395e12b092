#include "ui/logbook/server_sender.h"

#include <exception>
#include <memory>
#include <utility>

namespace riventar::ui {
namespace {

// On the sending thread: everything it touches is its own.
SendOutcome SendFrom(const std::string& location) {
  SendOutcome outcome;
  try {
    const std::unique_ptr<logbook::Store> store = logbook::OpenLogbookAt(location);
    outcome.result = logbook::SendWaiting(*store);
    outcome.status = logbook::Sharing(*store);
  } catch (const logbook::StoreError& e) {
    outcome.failure = e;
  } catch (const std::exception& e) {
    outcome.failure = logbook::StoreError(logbook::StoreError::Kind::Other, location, e.what());
  }
  return outcome;
}

}  // namespace

ServerSender::ServerSender(Done done) : done_(std::move(done)) {}

ServerSender::~ServerSender() {
  if (thread_.joinable()) thread_.join();
}

void ServerSender::Send(const std::string& location) {
  if (running_) {
    again_ = location;
    return;
  }
  if (thread_.joinable()) thread_.join();  // done: its outcome has come back
  running_ = true;
  thread_ = std::thread([this, location] {
    SendOutcome outcome = SendFrom(location);
    // Queued to this object: dropped, never run, if it is gone by then.
    QMetaObject::invokeMethod(
        this, [this, outcome = std::move(outcome)] { Finished(outcome); }, Qt::QueuedConnection);
  });
}

void ServerSender::Finished(const SendOutcome& outcome) {
  running_ = false;
  done_(outcome);
  if (again_) {
    const std::string location = std::move(*again_);
    again_.reset();
    Send(location);
  }
}

}  // namespace riventar::ui
