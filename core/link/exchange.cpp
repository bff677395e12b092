#include "core/link/exchange.h"

#include <cctype>

namespace riventar::link {

bool EchoMatches(std::string_view command, std::string_view reply) {
  if (command.empty() || command.front() != '$' || reply.empty() || reply.front() != '!') return false;
  command.remove_prefix(1);
  reply.remove_prefix(1);
  std::size_t letters = 0;
  while (letters < command.size() && std::isupper(static_cast<unsigned char>(command[letters]))) ++letters;
  // "$TR" echoes its index too: the answer to another trip is the costliest
  // mix-up, a trip stored twice and another dropped.
  const std::size_t echoed = command.substr(0, letters) == "TR" ? letters + 2 : letters;
  if (echoed > command.size() || reply.size() < echoed) return false;
  for (std::size_t i = 0; i < echoed; ++i) {
    const auto lower = [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); };
    if (i < letters ? reply[i] != command[i] : lower(reply[i]) != lower(command[i])) return false;
  }
  return true;
}

bool ReplyForm::Fits(std::string_view line) const {
  if (length == Any) return true;
  if (line.size() != length) return false;
  for (std::size_t i = hexFrom; i < line.size(); ++i)
    if (!std::isxdigit(static_cast<unsigned char>(line[i]))) return false;
  return true;
}

bool Exchange::Attempt(std::string_view command, const WhileWaiting& whileWaiting, const ReplyForm& form) {
  if (!Send(command)) return false;
  // One wait from the write: the hook and refused replies eat into it.
  const auto deadline = std::chrono::steady_clock::now() + replyTimeout_;
  if (whileWaiting) whileWaiting();
  while (const auto reply = NextReply(deadline)) {
    if (echoCheck_ && !EchoMatches(command, Line(*reply))) continue;
    if (!form.Fits(Line(*reply))) {
      garbled_ = true;
      continue;
    }
    last_ = *reply;
    return true;
  }
  return false;
}

bool Exchange::CommandExchange(std::string_view command, const WhileWaiting& whileWaiting, const ReplyForm& form) {
  command_.assign(command.substr(0, command.find('\r')));
  garbled_ = false;
  return Attempt(command, whileWaiting, form);
}

bool Exchange::RetryingExchange(std::string_view command, const WhileWaiting& whileWaiting, const ReplyForm& form) {
  command_.assign(command.substr(0, command.find('\r')));
  garbled_ = false;
  for (int attempt = 0; attempt < RetryLimit; ++attempt)
    if (Attempt(command, whileWaiting, form)) return true;
  return false;
}

}  // namespace riventar::link
