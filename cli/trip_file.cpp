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

namespace riventar::cli {
namespace {

constexpr char NotRegular[] = "not a regular file";

std::string ReadFailure(const std::string& path, int error) {
  // ReadWholeFile's EINVAL: a device, a FIFO, a socket.
  return "cannot read " + path + ": " + (error == EINVAL ? NotRegular : posix::ErrnoText(error));
}

files::ReadResult ReadTripFile(const std::string& path) {
  files::ReadResult read = files::ReadWholeFile(path, trips::MaxDatFileBytes);
  // As the window: a file that large is of another format.
  if (!read.ok && read.error == EFBIG) throw Failure{ExitStatus::NotTripFile, path + " is not in the trip file format"};
  return read;
}

trips::DatContents Parsed(const std::string& path, std::string_view bytes) {
  auto parsed = trips::ParseDatFile(bytes);
  if (const auto* problem = std::get_if<trips::DatProblem>(&parsed)) {
    throw Failure{ExitStatus::NotTripFile, *problem == trips::DatProblem::WrongFormat
                                               ? path + " is not in the trip file format"
                                               : path + " holds no trips"};
  }
  return std::get<trips::DatContents>(std::move(parsed));
}

}  // namespace

std::optional<trips::DatContents> LoadTripFile(const std::string& path, bool missingIsEmpty) {
  files::ReadResult read = ReadTripFile(path);
  if (!read.ok) {
    if (missingIsEmpty && read.error == ENOENT) return std::nullopt;
    throw Failure{ExitStatus::FileIo, ReadFailure(path, read.error)};
  }
  return Parsed(path, read.bytes);
}

std::optional<std::string> LoadAppendTarget(const std::string& path) {
  files::ReadResult read = ReadTripFile(path);
  if (!read.ok && read.error == ENOENT) return std::nullopt;
  if (!read.ok) throw Failure{ExitStatus::FileIo, ReadFailure(path, read.error)};
  if (read.bytes.empty()) return std::nullopt;
  // Trip lines are only found by counting 46-byte lines after the third LF:
  // the vehicle lines must be whole for the new lines to be read as trips.
  const bool headerOnly = std::count(read.bytes.begin(), read.bytes.end(), '\n') == 3 && read.bytes.back() == '\n';
  if (!headerOnly) Parsed(path, read.bytes);
  return std::move(read.bytes);
}

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

void WriteTripFile(const std::string& path, const std::string& bytes) {
  const files::WriteResult written = files::ReplaceFileAtomically(path, bytes);
  if (written.ok()) return;
  struct stat st {};
  // Refused for anything but a plain file, with EISDIR.
  const bool notRegular = written.error == EISDIR && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
  throw Failure{ExitStatus::FileIo,
                (written.status == files::WriteResult::Status::CreateFailed ? "cannot create " : "cannot write ") +
                    path + ": " + (notRegular ? NotRegular : posix::ErrnoText(written.error)) +
                    (written.status == files::WriteResult::Status::WriteFailed ? "; the file as it was is kept" : "")};
}

}  // namespace riventar::cli
