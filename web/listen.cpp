#include "web/listen.h"

#include <arpa/inet.h>

#include <charconv>
#include <chrono>

namespace riventar::web {

std::optional<ListenAddress> ParseListen(std::string_view text) {
  const auto colon = text.rfind(':');
  if (colon == std::string_view::npos || colon == 0) return std::nullopt;
  std::string_view host = text.substr(0, colon);
  const std::string_view port = text.substr(colon + 1);
  if (host.front() == '[') {
    if (host.size() < 3 || host.back() != ']') return std::nullopt;
    host = host.substr(1, host.size() - 2);
  } else if (host.find(':') != std::string_view::npos) {
    return std::nullopt;  // an IPv6 address needs its brackets
  }
  int number = 0;
  const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), number);
  if (port.empty() || error != std::errc() || end != port.data() + port.size() || number < 0 || number > 65535)
    return std::nullopt;
  return ListenAddress{std::string(host), number};
}

bool IsLoopback(const std::string& host) {
  if (host == "localhost") return true;
  in_addr v4{};
  if (::inet_pton(AF_INET, host.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
  in6_addr v6{};
  if (::inet_pton(AF_INET6, host.c_str(), &v6) == 1) return IN6_IS_ADDR_LOOPBACK(&v6);
  return false;
}

std::string BaseUrl(const ListenAddress& address, bool tls) {
  const bool v6 = address.host.find(':') != std::string::npos;
  return std::string(tls ? "https://" : "http://") + (v6 ? "[" + address.host + "]" : address.host) + ":" +
         std::to_string(address.port);
}

bool IsIsoDate(std::string_view text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
  int parts[3] = {};
  const std::string_view fields[3] = {text.substr(0, 4), text.substr(5, 2), text.substr(8, 2)};
  for (int i = 0; i < 3; ++i) {
    for (const char c : fields[i])
      if (c < '0' || c > '9') return false;
    std::from_chars(fields[i].data(), fields[i].data() + fields[i].size(), parts[i]);
  }
  const std::chrono::year_month_day date{std::chrono::year{parts[0]},
                                         std::chrono::month{static_cast<unsigned>(parts[1])},
                                         std::chrono::day{static_cast<unsigned>(parts[2])}};
  return date.ok() && parts[0] >= 2000 && parts[0] <= 2255;
}

}  // namespace riventar::web
