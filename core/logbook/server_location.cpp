#include "core/logbook/server_location.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <cctype>

namespace riventar::logbook {
namespace {

constexpr std::string_view Hidden = "***";

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), s.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
         });
}

std::size_t PrefixLength(std::string_view uri) {
  for (std::string_view prefix : {"postgresql://", "postgres://"})
    if (StartsWithNoCase(uri, prefix)) return prefix.size();
  return 0;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Decoded(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && HexValue(s[i + 1]) >= 0 && HexValue(s[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(s[i + 1]) * 16 + HexValue(s[i + 2]));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

// Where the passwords of `uri` are written: [first, last) ranges of the raw text.
struct Span {
  std::size_t first = 0, last = 0;
};

std::vector<Span> PasswordSpans(std::string_view uri) {
  std::vector<Span> spans;
  const std::size_t start = PrefixLength(uri);
  if (start == 0) return spans;
  // libpq's user info ends at the first '@' met before any '/'; a password
  // holding an unencoded '/' is then none to libpq, but the text still shows
  // it, so the last '@' before the query ends it as well.
  std::size_t end = uri.find_first_of("@/", start);
  if (end != std::string_view::npos && uri[end] != '@') end = std::string_view::npos;
  const std::size_t lastAt = uri.substr(0, uri.find('?', start)).rfind('@');
  if (lastAt != std::string_view::npos && lastAt >= start && (end == std::string_view::npos || lastAt > end))
    end = lastAt;
  if (end != std::string_view::npos) {
    const std::size_t colon = uri.find(':', start);
    if (colon < end) spans.push_back({colon + 1, end});
  }
  const std::size_t query = uri.find('?', end == std::string_view::npos ? start : end);
  if (query == std::string_view::npos) return spans;
  for (std::size_t at = query + 1; at <= uri.size();) {
    std::size_t next = uri.find('&', at);
    if (next == std::string_view::npos) next = uri.size();
    const std::string_view pair = uri.substr(at, next - at);
    const std::size_t equals = pair.find('=');
    if (equals != std::string_view::npos && Decoded(pair.substr(0, equals)) == "password")
      spans.push_back({at + equals + 1, next});
    at = next + 1;
  }
  return spans;
}

void ReplaceAll(std::string& text, std::string_view what) {
  if (what.empty()) return;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + Hidden.size()))
    text.replace(at, what.size(), Hidden);
}

}  // namespace

bool IsServerLocation(std::string_view location) { return PrefixLength(location) > 0; }

std::string PasswordIn(std::string_view uri) {
  const std::vector<Span> spans = PasswordSpans(uri);
  // libpq takes the parameter over the user info.
  return spans.empty() ? std::string()
                       : Decoded(uri.substr(spans.back().first, spans.back().last - spans.back().first));
}

std::string RedactedLocation(std::string_view uri) {
  std::string out(uri);
  const std::vector<Span> spans = PasswordSpans(uri);
  // From the back, so the spans before stay where they were.
  for (auto span = spans.rbegin(); span != spans.rend(); ++span)  // NOLINT(modernize-loop-convert)
    out.replace(span->first, span->last - span->first, Hidden);
  return out;
}

std::string Scrubbed(std::string_view text, std::string_view uri) {
  std::string out(text);
  for (const Span& span : PasswordSpans(uri)) {
    const std::string_view raw = uri.substr(span.first, span.last - span.first);
    ReplaceAll(out, raw);
    ReplaceAll(out, Decoded(raw));
  }
  // A connection string echoed back: password=secret or password='se cret'.
  static constexpr std::string_view Key = "password=";
  for (std::size_t at = out.find(Key); at != std::string::npos; at = out.find(Key, at + 1)) {
    const std::size_t value = at + Key.size();
    std::size_t end = value;
    if (end < out.size() && out[end] == '\'') {
      for (++end; end < out.size() && out[end] != '\''; ++end)
        if (out[end] == '\\') ++end;
      end = std::min(end + 1, out.size());
    } else {
      while (end < out.size() && !std::isspace(static_cast<unsigned char>(out[end])) && out[end] != '&') ++end;
    }
    out.replace(value, end - value, Hidden);
  }
  return out;
}

bool IsLocalHost(std::string_view host) {
  if (host.empty() || host.front() == '/' || host.front() == '@') return true;
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  if (StartsWithNoCase(host, "localhost") && host.size() == 9) return true;
  const std::string text(host);
  std::array<unsigned char, 16> address{};
  if (::inet_pton(AF_INET, text.c_str(), address.data()) == 1) return address[0] == 127;
  if (::inet_pton(AF_INET6, text.c_str(), address.data()) == 1) {
    static constexpr std::array<unsigned char, 16> Loopback = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    static constexpr std::array<unsigned char, 12> Mapped = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    return address == Loopback || (std::equal(Mapped.begin(), Mapped.end(), address.begin()) && address[12] == 127);
  }
  return false;
}

bool IsRemote(const ServerEndpoint& endpoint) { return !IsLocalHost(endpoint.host) || !IsLocalHost(endpoint.address); }

std::vector<ServerEndpoint> EndpointsOf(std::string_view hosts, std::string_view addresses) {
  const auto split = [](std::string_view list) {
    std::vector<std::string> items;
    if (list.empty()) return items;
    for (std::size_t at = 0;;) {
      const std::size_t comma = list.find(',', at);
      items.emplace_back(list.substr(at, comma == std::string_view::npos ? std::string_view::npos : comma - at));
      if (comma == std::string_view::npos) return items;
      at = comma + 1;
    }
  };
  const std::vector<std::string> names = split(hosts), numbers = split(addresses);
  std::vector<ServerEndpoint> endpoints(std::max<std::size_t>({names.size(), numbers.size(), 1}));
  for (std::size_t i = 0; i < names.size(); ++i) endpoints[i].host = names[i];
  for (std::size_t i = 0; i < numbers.size(); ++i) endpoints[i].address = numbers[i];
  return endpoints;
}

TlsSettings TlsFor(const std::vector<ServerEndpoint>& endpoints, std::string_view stated, std::string_view inEffect,
                   std::string_view rootCertificate) {
  if (stated == "disable" || std::none_of(endpoints.begin(), endpoints.end(), IsRemote)) return {};
  const bool verifying = inEffect == "verify-ca" || inEffect == "verify-full";
  if (!rootCertificate.empty())
    return {verifying ? std::string(inEffect) : "verify-full", std::string(), std::string(rootCertificate)};
  // verify-* without a root certificate: libpq refuses to connect, as it should.
  return {verifying ? std::string(inEffect) : "require", "require", std::string()};
}

bool PlainTextAllowed(const ServerEndpoint& connected, std::string_view stated) {
  return !IsRemote(connected) || stated == "disable";
}

}  // namespace riventar::logbook
