#include "core/services/trip_document.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <utility>
#include <variant>

#include "base/files/file_io.h"
#include "base/posix/errno_text.h"
#include "core/logbook/json_text.h"

namespace riventar::services {
namespace {

using Kind = Failure::Kind;

constexpr char NotRegular[] = "not a regular file";

Failure NotInFormat(const std::string& path) { return {Kind::NotTripFile, path + " is not in the trip file format"}; }

// Only the three vehicle lines: trips may be appended to it.
bool HeaderOnly(const std::string& bytes) {
  return std::count(bytes.begin(), bytes.end(), '\n') == 3 && bytes.back() == '\n';
}

}  // namespace

Result<TripFormat> FormatFor(const std::string& path, const std::string& given) {
  std::string name = given;
  if (name.empty()) {
    const auto dot = path.rfind('.');
    if (dot != std::string::npos && path.find('/', dot) == std::string::npos) name = path.substr(dot + 1);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  if (name == "dat") return TripFormat::Dat;
  if (name == "csv") return TripFormat::Csv;
  if (name == "json") return TripFormat::Json;
  return Failure{Kind::Usage, given.empty() ? "cannot tell the format from the name " + path + "; use --format"
                                            : "unknown format " + given + "; dat, csv or json"};
}

Result<TripFile> ReadTripFile(const std::string& path) {
  files::ReadResult read = files::ReadWholeFile(path, trips::MaxDatFileBytes);
  // A file that large is of another format.
  if (!read.ok && read.error == EFBIG) return NotInFormat(path);
  if (!read.ok) {
    // ReadWholeFile's EINVAL: a device, a FIFO, a socket.
    return Failure{Kind::FileIo,
                   "cannot read " + path + ": " + (read.error == EINVAL ? NotRegular : posix::ErrnoText(read.error)),
                   read.error};
  }
  auto parsed = trips::ParseDatFile(read.bytes);
  if (const auto* problem = std::get_if<trips::DatProblem>(&parsed)) {
    if (*problem == trips::DatProblem::WrongFormat) return NotInFormat(path);
    return Failure{Kind::NoTrips, path + " holds no trips"};
  }
  return TripFile{std::get<trips::DatContents>(std::move(parsed)), std::move(read.bytes)};
}

Result<std::optional<std::string>> ReadAppendTarget(const std::string& path) {
  files::ReadResult read = files::ReadWholeFile(path, trips::MaxDatFileBytes);
  if (!read.ok && read.error == ENOENT) return std::optional<std::string>();
  if (read.ok && read.bytes.empty()) return std::optional<std::string>();
  if (read.ok && HeaderOnly(read.bytes)) return std::optional<std::string>(std::move(read.bytes));
  // Trip lines are only found by counting 46-byte lines after the third LF:
  // the vehicle lines must be whole for the new lines to be read as trips.
  Result<TripFile> parsed = ReadTripFile(path);
  if (!parsed) return parsed.failure();
  return std::optional<std::string>(std::move(parsed->bytes));
}

trips::VehicleInfo FileVehicle(const std::string& path) {
  // A file that cannot be read or is no trip file has no vehicle to keep.
  const files::ReadResult read = files::ReadWholeFile(path, trips::MaxDatFileBytes);
  if (!read.ok) return {};
  if (!HeaderOnly(read.bytes) && !std::holds_alternative<trips::DatContents>(trips::ParseDatFile(read.bytes)))
    return {};
  return trips::ParseDatVehicle(read.bytes);
}

Status WriteTripFile(const std::string& path, const std::string& bytes) {
  const files::WriteResult written = files::ReplaceFileAtomically(path, bytes);
  if (written.ok()) return Ok();
  struct stat st {};
  // Refused for anything but a plain file, with EISDIR.
  const bool notRegular = written.error == EISDIR && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
  const bool created = written.status == files::WriteResult::Status::WriteFailed;
  return Failure{created ? Kind::FileIo : Kind::FileCreate,
                 (created ? "cannot write " : "cannot create ") + path + ": " +
                     (notRegular ? NotRegular : posix::ErrnoText(written.error)) +
                     (created ? "; the file as it was is kept" : ""),
                 written.error};
}

void TripDocument::VehicleTyped(trips::VehicleInfo vehicle) {
  vehicle_ = std::move(vehicle);
  unsaved_ = true;
  inLogbook_ = false;  // the texts typed are in no logbook
}

void TripDocument::AppendReading(const trips::TripList& read) {
  keptBeforeReading_ = !unsaved_ || inLogbook_;
  trips_.insert(trips_.end(), read.begin(), read.end());
  unsaved_ = true;
  inLogbook_ = false;
}

void TripDocument::ReadingRecorded(bool recorded) { inLogbook_ = keptBeforeReading_ && recorded; }

void TripDocument::Show(trips::VehicleInfo vehicle, trips::TripList trips) {
  vehicle_ = std::move(vehicle);
  trips_ = std::move(trips);
  unsaved_ = false;
  inLogbook_ = false;
}

void TripDocument::MarkUnsaved() {
  unsaved_ = true;
  inLogbook_ = false;
}

void TripDocument::Clear() { Show({}, {}); }

Status TripDocument::Load(const std::string& path) {
  Result<TripFile> read = ReadTripFile(path);
  if (!read) return read.failure();
  Show(std::move(read->contents.Vehicle), std::move(read->contents.Trips));
  return Ok();
}

std::string TripDocument::Bytes(TripFormat format) const {
  switch (format) {
    case TripFormat::Csv:
      return trips::SerializeCsv(trips_);
    case TripFormat::Json:
      return logbook::TripsJson(trips_);
    case TripFormat::Dat:
      break;
  }
  return trips::SerializeDatFile(vehicle_, trips_);
}

Status TripDocument::Save(const std::string& path, TripFormat format) {
  Status written = WriteTripFile(path, Bytes(format));
  if (written) {
    unsaved_ = false;
    inLogbook_ = false;
  }
  return written;
}

Result<Appended> TripDocument::AppendTo(const std::string& path, const std::optional<std::string>& base) const {
  if (!base) {
    Status written = WriteTripFile(path, Bytes(TripFormat::Dat));
    if (!written) return written.failure();
    return Appended{trips_.size(), 0};
  }
  // The file's bytes as they are, whatever they hold, then the lines it lacks
  // (a rerun after an interrupted one adds nothing twice).
  const trips::AppendedLines lines = trips::LinesToAppend(*base, trips_);
  if (lines.count > 0) {
    Status written = WriteTripFile(path, *base + lines.bytes);
    if (!written) return written.failure();
  }
  return Appended{lines.count, lines.present};
}

}  // namespace riventar::services
