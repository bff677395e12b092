#pragma once
// The real logbook store on a file, for tests that look into it.
#include <QFile>
#include <QString>
#include <memory>

#include "core/logbook/logbook.h"

namespace riventar::testing {

std::unique_ptr<logbook::Store> OpenStore(const QString& path);

}  // namespace riventar::testing
