#include "web/store_pool.h"

namespace riventar::web {

logbook::Store& StorePool::ThisThread() {
  const std::thread::id self = std::this_thread::get_id();
  {
    const std::lock_guard lock(mutex_);
    const auto found = stores_.find(self);
    if (found != stores_.end()) return *found->second;
  }
  // Opened outside the lock: a server that does not answer holds up only this thread.
  std::unique_ptr<logbook::Store> store = open_();
  const std::lock_guard lock(mutex_);
  return *(stores_[self] = std::move(store));
}

void StorePool::Drop() {
  std::unique_ptr<logbook::Store> gone;
  {
    const std::lock_guard lock(mutex_);
    const auto found = stores_.find(std::this_thread::get_id());
    if (found == stores_.end()) return;
    gone = std::move(found->second);
    stores_.erase(found);
  }
}

}  // namespace riventar::web
