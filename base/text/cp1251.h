#pragma once
// Text on disk (data-file headers, the spreadsheet export) is Windows-1251;
// the program works in UTF-8.
#include <string>
#include <string_view>

namespace riventar::text {

// A character Windows-1251 cannot hold (or malformed UTF-8) becomes one '?'
// byte, so a line never changes length unexpectedly or breaks the file.
std::string ToCp1251(std::string_view utf8);
// Whether every character of `utf8` has a Windows-1251 byte.
bool FitsCp1251(std::string_view utf8);
// The one byte Windows-1251 leaves undefined (0x98) becomes '?'.
std::string FromCp1251(std::string_view bytes);

}  // namespace riventar::text
