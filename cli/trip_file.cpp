#include "cli/trip_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <variant>

#include "base/files/file_io.h"
#include "base/posix/errno_text.h"
#include "cli/exit_status.h"
#include "core/services/trip_document.h"

namespace riventar::cli {
namespace {

constexpr char NotRegular[] = "not a regular file";

}  // namespace

std::optional<trips::DatContents> LoadTripFile(const std::string& path, bool missingIsEmpty) {
  services::Result<services::TripFile> read = services::ReadTripFile(path);
  if (!read && missingIsEmpty && read.failure().systemError == ENOENT) return std::nullopt;
  return Take(std::move(read)).contents;
}

std::optional<std::string> LoadAppendTarget(const std::string& path) { return Take(services::ReadAppendTarget(path)); }

void CheckOutputFile(const std::string& path) {
  // The folder is that of the file a symbolic link leads to, as the write follows it.
  std::string target = path;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) {
      throw Failure{ExitStatus::FileIo,
                    "cannot write " + path + ": " + (S_ISDIR(st.st_mode) ? posix::ErrnoText(EISDIR) : NotRegular)};
    }
    if (::access(path.c_str(), W_OK) != 0) {
      throw Failure{ExitStatus::FileIo, "cannot write " + path + ": " + posix::ErrnoText(errno)};
    }
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved)) target = resolved;
  } else if (errno != ENOENT) {
    throw Failure{ExitStatus::FileIo, "cannot create " + path + ": " + posix::ErrnoText(errno)};
  }
  std::string folder = std::filesystem::path(target).parent_path().string();
  if (folder.empty()) folder = ".";
  // The new file is made in the folder, then renamed over the old one.
  if (::access(folder.c_str(), W_OK | X_OK) != 0) {
    throw Failure{ExitStatus::FileIo, "cannot create " + path + ": " + posix::ErrnoText(errno)};
  }
}

void WriteTripFile(const std::string& path, const std::string& bytes) { Take(services::WriteTripFile(path, bytes)); }

}  // namespace riventar::cli
