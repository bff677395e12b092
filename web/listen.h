#pragma once
// Where the server listens, and which addresses are this computer's own.
#include <optional>
#include <string>
#include <string_view>

namespace riventar::web {

inline constexpr char DefaultListen[] = "127.0.0.1:8470";

struct ListenAddress {
  std::string host;  // an IPv4 or IPv6 address (without brackets) or a name
  int port = 0;      // 0..65535; 0: any free port
};

// "HOST:PORT" or "[V6]:PORT"; nothing when it is not of that shape.
std::optional<ListenAddress> ParseListen(std::string_view text);

// Loopback only: 127.0.0.0/8, ::1 and "localhost". Anything else, a name
// included, may be reached from the network.
bool IsLoopback(const std::string& host);

// "http://127.0.0.1:8470", with brackets around an IPv6 address.
std::string BaseUrl(const ListenAddress& address, bool tls);

// A calendar date "YYYY-MM-DD" of years 2000..2255 (the trips' own range).
bool IsIsoDate(std::string_view text);

}  // namespace riventar::web
