#pragma once
// One copy per user, on X11 and Wayland alike: a lock file in the XDG
// runtime folder, held for the program's life. A copy that died leaves a
// stale file that the next start takes over (the holder's PID is checked).
#include <QLockFile>
#include <QString>

namespace riventar::desktop {

class InstanceLock {
 public:
  // $XDG_RUNTIME_DIR/riventar.lock
  static QString DefaultPath();

  explicit InstanceLock(const QString& path = DefaultPath());
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // False only when another running copy holds the lock. A lock that cannot
  // be made at all (no runtime folder, no space) lets the program start: the
  // window-title guard still stands.
  bool TryLock();

 private:
  QLockFile lock_;
};

}  // namespace riventar::desktop
