#pragma once
// A file's bytes, read or written whole, for tests that look at what a
// program wrote or give it a file.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace riventar::testing {

// Empty for a file that cannot be read.
inline std::string Contents(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void Write(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// How a run of a program ended: its status and what it printed.
struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

}  // namespace riventar::testing
