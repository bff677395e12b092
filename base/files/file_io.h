#pragma once
// Whole-file reading and crash-safe replacing of the files the user chooses.
#include <cstddef>
#include <cstdint>
#include <string>

namespace riventar::files {

struct ReadResult {
  bool ok = false;
  std::string bytes;
  int error = 0;  // errno when !ok
};

// Reads the whole of a plain file; EINTR is retried. Anything else (a
// folder, a FIFO, a device) is refused at once: EISDIR or EINVAL; a file
// longer than `maxBytes` with EFBIG, before its contents are read.
ReadResult ReadWholeFile(const std::string& path, std::size_t maxBytes = SIZE_MAX);

struct WriteResult {
  enum class Status { Ok, CreateFailed, WriteFailed };
  Status status = Status::Ok;
  int error = 0;  // errno of the failing call
  bool ok() const { return status == Status::Ok; }
};

// Writes `bytes` to a new file beside `path` and renames it over `path` only
// once every byte is written and synced, so a failed save (disk full, I/O
// error, file-size limit) never destroys the file that was there. A replaced
// file keeps its permissions; a symbolic link is followed, not replaced.
// On failure the temporary file is removed.
WriteResult ReplaceFileAtomically(const std::string& path, const std::string& bytes);

}  // namespace riventar::files
