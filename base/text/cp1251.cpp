#include "base/text/cp1251.h"

#include <iconv.h>

#include <cerrno>
#include <stdexcept>
#include <string>

namespace riventar::text {
namespace {

class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1))  // NOLINT(performance-no-int-to-ptr): iconv's failure value
      throw std::runtime_error(std::string("iconv_open ") + from + " -> " + to + " failed");
  }
  ~Converter() { iconv_close(cd_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // `skip` tells how many input bytes an unconvertible sequence spans.
  template <typename Skip>
  std::string Convert(std::string_view in, Skip skip) {
    std::string out;
    out.reserve(in.size() * 2);
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char buffer[256];
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    while (srcLeft > 0) {
      char* dst = buffer;
      std::size_t dstLeft = sizeof buffer;
      const std::size_t rc = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
      out.append(buffer, static_cast<std::size_t>(dst - buffer));
      if (rc != static_cast<std::size_t>(-1)) continue;
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL: replace one character and go on.
      const std::size_t n = std::min(srcLeft, skip(std::string_view(src, srcLeft)));
      src += n;
      srcLeft -= n;
      out.push_back('?');
    }
    return out;
  }

 private:
  iconv_t cd_;
};

// Length of the UTF-8 sequence at the start of `s`, at least 1.
std::size_t Utf8Length(std::string_view s) {
  const auto lead = static_cast<unsigned char>(s[0]);
  std::size_t n = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xe ? 3 : (lead >> 3) == 0x1e ? 4 : 1;
  if (n > s.size()) return 1;
  for (std::size_t i = 1; i < n; ++i)
    if ((static_cast<unsigned char>(s[i]) & 0xc0) != 0x80) return 1;
  return n;
}

}  // namespace

std::string ToCp1251(std::string_view utf8) {
  Converter c("WINDOWS-1251", "UTF-8");
  return c.Convert(utf8, Utf8Length);
}

bool FitsCp1251(std::string_view utf8) { return FromCp1251(ToCp1251(utf8)) == utf8; }

std::string FromCp1251(std::string_view bytes) {
  Converter c("UTF-8", "WINDOWS-1251");
  return c.Convert(bytes, [](std::string_view) { return std::size_t{1}; });
}

}  // namespace riventar::text
