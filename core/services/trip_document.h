#pragma once
// The trips a front end holds: the vehicle texts, the trips, and whether
// they are kept anywhere. Loaded from and saved to ".dat" files, exported as
// the file's name says.
#include <cstddef>
#include <optional>
#include <string>
#include <utility>

#include "core/services/result.h"
#include "core/trips/dat_file.h"
#include "core/trips/trip_record.h"

namespace riventar::services {

enum class TripFormat { Dat, Csv, Json };

// The format a file is written in: `given` ("dat", "csv", "json") if not
// empty, else its name's extension, either case. Usage when neither tells.
Result<TripFormat> FormatFor(const std::string& path, const std::string& given = {});

// A ".dat" file as read: parsed, and its bytes (to tell later whether it
// changed on disk).
struct TripFile {
  trips::DatContents contents;
  std::string bytes;
};

// Reads and parses a ".dat" file. FileIo when it cannot be read (errno in
// systemError; a device, FIFO or socket gives EINVAL), NotTripFile when it is
// not in the format (a file too large to be one included), NoTrips when it
// holds none.
Result<TripFile> ReadTripFile(const std::string& path);
// The bytes of the ".dat" file trips are to be appended to (TripDocument::
// AppendTo), checked as ReadTripFile checks them; a file of the three vehicle
// lines alone will do. Nothing when the file is missing or empty.
Result<std::optional<std::string>> ReadAppendTarget(const std::string& path);
// The vehicle lines of the ".dat" file at `path`, when it is one (or holds
// the three vehicle lines alone); empty texts otherwise.
trips::VehicleInfo FileVehicle(const std::string& path);

// Replaces the file at `path` with `bytes` atomically, synced before it takes
// the old one's place. FileCreate when it could not be made, FileIo when it
// could not be written whole (the old file is kept); errno in systemError.
Status WriteTripFile(const std::string& path, const std::string& bytes);

struct Appended {
  std::size_t added = 0;    // trips whose line was added
  std::size_t present = 0;  // trips left out, being there already
};

class TripDocument {
 public:
  const trips::TripList& Trips() const { return trips_; }
  const trips::VehicleInfo& Vehicle() const { return vehicle_; }
  bool Empty() const { return trips_.empty(); }

  // Changed since it was last loaded or saved: the user would lose something
  // if it were dropped, unless it is all in the logbook (InLogbook).
  bool Unsaved() const { return unsaved_; }
  // What makes it unsaved is all in the logbook: dropping it loses nothing.
  bool InLogbook() const { return inLogbook_; }
  // Needs asking about before it is dropped.
  bool AtRisk() const { return unsaved_ && !inLogbook_; }

  // The user typed into a vehicle text (even one that changes nothing).
  void VehicleTyped(trips::VehicleInfo vehicle);
  // The vehicle texts as the front end shows them now; nothing else changes.
  void SetVehicle(trips::VehicleInfo vehicle) { vehicle_ = std::move(vehicle); }
  // The trips read from the device join those shown; then Recorded tells
  // whether the logbook has them.
  void AppendReading(const trips::TripList& read);
  void ReadingRecorded(bool recorded);
  // Shows `trips` of `vehicle` in place of everything, as loaded from a file
  // or the logbook: nothing is unsaved.
  void Show(trips::VehicleInfo vehicle, trips::TripList trips);
  void MarkUnsaved();
  void Clear();

  // Reads the ".dat" file at `path` and shows it (ReadTripFile's failures).
  Status Load(const std::string& path);
  // The bytes of the document in `format`.
  std::string Bytes(TripFormat format) const;
  // Writes it to `path` in `format` (WriteTripFile's failures); saved once written.
  Status Save(const std::string& path, TripFormat format);
  // Adds to the ".dat" file at `path` (held as `base`, its bytes now; none:
  // no file yet, written whole) the trips it lacks, each once; a file that
  // holds them all is left as it is. WriteTripFile's failures.
  Result<Appended> AppendTo(const std::string& path, const std::optional<std::string>& base) const;

 private:
  trips::VehicleInfo vehicle_;
  trips::TripList trips_;
  bool unsaved_ = false;
  bool inLogbook_ = false;
  bool keptBeforeReading_ = false;
};

}  // namespace riventar::services
