#pragma once
// Event handlers run through Guarded(): an error that escapes a handler is
// shown in the application's standard error box (stop icon, the error's text)
// and the program goes on. Exceptions never unwind through Qt's own frames.
#include <exception>
#include <utility>

#include "ui/common/dialogs.h"

namespace riventar::ui {

inline void ShowException(Dialogs& dialogs, const char* what) {
  dialogs.Error(nullptr, QStringLiteral("Ривентар"), QString::fromUtf8(what));
}

template <typename Handler>
void Guarded(Dialogs& dialogs, Handler&& handler) {
  try {
    std::forward<Handler>(handler)();
  } catch (const std::exception& e) {
    ShowException(dialogs, e.what());
  }
}

}  // namespace riventar::ui
