#include "cli/trip_file.h"

#include <cerrno>
#include <variant>

#include "cli/exit_status.h"
#include "platform/files/file_io.h"
#include "platform/posix/errno_text.h"

namespace riventar::cli {

std::optional<trips::DatContents> LoadTripFile(const std::string& path, bool missingIsEmpty) {
  files::ReadResult read = files::ReadWholeFile(path, trips::MaxDatFileBytes);
  // As the window: a file that large is of another format.
  if (!read.ok && read.error == EFBIG) throw Failure{ExitStatus::NotTripFile, path + " is not in the trip file format"};
  if (!read.ok) {
    if (missingIsEmpty && read.error == ENOENT) return std::nullopt;
    throw Failure{ExitStatus::FileIo, "cannot read " + path + ": " + posix::ErrnoText(read.error)};
  }
  auto parsed = trips::ParseDatFile(read.bytes);
  if (const auto* problem = std::get_if<trips::DatProblem>(&parsed)) {
    throw Failure{ExitStatus::NotTripFile, *problem == trips::DatProblem::WrongFormat
                                               ? path + " is not in the trip file format"
                                               : path + " holds no trips"};
  }
  return std::get<trips::DatContents>(std::move(parsed));
}

void WriteTripFile(const std::string& path, const std::string& bytes) {
  const files::WriteResult written = files::ReplaceFileAtomically(path, bytes);
  if (written.ok()) return;
  throw Failure{ExitStatus::FileIo,
                (written.status == files::WriteResult::Status::CreateFailed ? "cannot create " : "cannot write ") +
                    path + ": " + posix::ErrnoText(written.error) +
                    (written.status == files::WriteResult::Status::WriteFailed ? "; the file as it was is kept" : "")};
}

}  // namespace riventar::cli
