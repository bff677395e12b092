#pragma once
// The logbook for the server's worker threads. A Qt SQL connection belongs
// to the thread that opened it, so each worker opens its own on its first
// request and keeps it; a connection that failed is closed, and the next
// request on that thread opens a new one, so the server recovers on its own
// when the database comes back.
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "core/logbook/logbook.h"
#include "core/services/logbook_session.h"

namespace riventar::web {

class StorePool {
 public:
  using Opener = std::function<std::unique_ptr<logbook::Store>()>;
  explicit StorePool(Opener open) : open_(std::move(open)) {}

  // Runs `work` with this thread's store. Throws what `work` or the opening
  // throws; a StoreError closes the thread's store first.
  template <class Work>
  auto With(Work&& work) {
    try {
      return work(ThisThread());
    } catch (const logbook::StoreError&) {
      Drop();
      throw;
    }
  }

 private:
  logbook::Store& ThisThread();
  void Drop();

  Opener open_;
  std::mutex mutex_;  // guards the map, never a store: each is used by its own thread only
  std::map<std::thread::id, std::unique_ptr<logbook::Store>> stores_;
};

// The logbook at `location` as the session's stores open it to be browsed:
// only read, a store per thread. `stores` outlives every store opened.
inline StorePool::Opener BrowseOpener(services::LogbookStores& stores, std::string location) {
  return [&stores, location = std::move(location)] { return stores.Open(location, {services::StoreUse::Browse}); };
}

}  // namespace riventar::web
