#pragma once
// HTML made by appending: text is escaped unless it is a literal of the
// program's own markup, so nothing read from the logbook or a request reaches
// a page as markup.
#include <string>
#include <string_view>

namespace riventar::web {

// & < > " ' as character references; everything else as it is (UTF-8).
std::string Escape(std::string_view text);

class Html {
 public:
  // The program's own markup: only string literals, never data.
  template <std::size_t N>
  Html& Raw(const char (&markup)[N]) {
    out_.append(markup, N - 1);
    return *this;
  }
  // Data of any origin, escaped.
  Html& Text(std::string_view text) {
    out_ += Escape(text);
    return *this;
  }
  Html& Number(long long value) {
    out_ += std::to_string(value);
    return *this;
  }
  // Another piece built the same way.
  Html& Append(const Html& other) {
    out_ += other.out_;
    return *this;
  }
  const std::string& Str() const { return out_; }

 private:
  std::string out_;
};

// A query parameter's value, percent-encoded (UTF-8 bytes).
std::string UrlEncode(std::string_view text);

}  // namespace riventar::web
