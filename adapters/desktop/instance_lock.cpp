#include "adapters/desktop/instance_lock.h"

#include <QStandardPaths>

namespace riventar::desktop {

QString InstanceLock::DefaultPath() {
  return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) + QStringLiteral("/riventar.lock");
}

InstanceLock::InstanceLock(const QString& path) : lock_(path) {
  // Stale by a dead holder only: a copy may run for days.
  lock_.setStaleLockTime(0);
}

bool InstanceLock::TryLock() { return lock_.tryLock(0) || lock_.error() != QLockFile::LockFailedError; }

}  // namespace riventar::desktop
