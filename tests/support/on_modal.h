#pragma once
// Runs an action on a modal window of type T once it is really shown. It
// polls rather than firing once: operations that show a progress window let
// timers run while they exchange with the device, before the modal window
// exists. A window that is never shown leaves the action unrun.
#include <QApplication>
#include <QTimer>
#include <functional>

namespace riventar::testing {

template <typename T>
class OnModal {
 public:
  explicit OnModal(std::function<void(T&)> action) : action_(std::move(action)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      auto* window = qobject_cast<T*>(QApplication::activeModalWidget());
      if (!window || !window->isVisible()) return;
      timer_.stop();
      ran_ = true;
      action_(*window);
    });
    timer_.start(5);
  }
  bool Ran() const { return ran_; }

 private:
  std::function<void(T&)> action_;
  QTimer timer_;
  bool ran_ = false;
};

}  // namespace riventar::testing
