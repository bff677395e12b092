#include "tests/ui/logbook/open_store.h"

#include "adapters/logbook/sqlite_store.h"

namespace riventar::testing {

std::unique_ptr<logbook::Store> OpenStore(const QString& path) {
  return logbook::OpenLogbook(QFile::encodeName(path).toStdString());
}

}  // namespace riventar::testing
