#pragma once
// What the user is told about the link. One text serves every unanswered
// exchange; its caption says whether the link was being made or was up.
#include <string>
#include <string_view>

#include "core/link/commands.h"
#include "core/link/port_link.h"

namespace riventar::link {

inline constexpr std::string_view NoAnswerText =
    "БК не ответил на запрос программы.\nПроверьте подключение БК к RS232C\nи нахождение БК в режиме обмена.\n";
inline constexpr std::string_view ConnectFailureCaption = "Ошибка установления связи с БК";
inline constexpr std::string_view LinkFailureCaption = "Ошибка связи с БК";

// For an exchange that failed: NoAnswerText, or, when only lines that were
// no whole reply came, which request they answered (a trip by its place in
// the device counted from 1, and its command).
inline std::string ExchangeFailureText(const Exchange& exchange) {
  if (!exchange.LastFailureGarbled()) return std::string(NoAnswerText);
  const std::string& command = exchange.LastCommand();
  const std::optional<int> trip = RequestedTrip(command);
  return "БК прислал неполный или искажённый ответ на " +
         (trip ? "запрос маршрута " + std::to_string(*trip + 1) + " (" + command + ")" : "команду " + command) +
         ".\nДанные этого ответа не приняты.\n";
}

inline constexpr std::string_view PortOpenFailureCaption = "Error";
inline constexpr std::string_view PortOpenFailureFirstLine = "Не возможно открыть последовательный порт";

// The first line as users of the device know it, then the device path, the
// system's reason and what to do about it.
inline std::string OpenFailureMessage(const OpenFailure& failure) {
  std::string text(PortOpenFailureFirstLine);
  if (!failure.detail.empty()) text += "\n" + failure.detail;
  return text;
}

}  // namespace riventar::link
