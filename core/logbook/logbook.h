#pragma once
// The logbook: every trip ever read from the device or brought in from a
// file, kept once. The rules (a trip's identity, a vehicle's identity, what
// is new) live here, pure C++; the storage sits behind Store, implemented
// with Qt SQL in adapters/logbook.
//
// Texts are UTF-8 throughout.
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/trips/dat_file.h"
#include "core/trips/trip_record.h"

namespace riventar::logbook {

// ---- Rules ----

// A trip's identity is its content: the 44 characters of its ".dat" line
// without CR LF (date, start time and the four measured values).
std::string TripKey(const trips::TripRecord& trip);

// A registration number compared as a person reads a plate: spaces and
// hyphens ignored, letters case-insensitive, and the Latin look-alikes of the
// twelve plate letters (A B E K M H O P C T Y X) taken as the Cyrillic ones,
// so "a123bc 77" and "А123ВС77" give the same key. Empty for no number.
std::string PlateKey(std::string_view registration);

// Trips filed under no vehicle yet (plate key empty): a reading nobody said
// the car of. Not a vehicle: shown as such, and moved from with Move.
inline constexpr std::string_view UnassignedName = "не назначены";
// Kept for the old name of the same row: a file written before unassigned
// trips had their own name called them so.
inline constexpr std::string_view NoPlateName = "без номера";

// How a vehicle is named to people: its registration, or UnassignedName for
// the row whose registration has no plate key. Every front end names vehicles so.
std::string DisplayName(const trips::VehicleInfo& vehicle);

// How many devices a device path remembers (Store::DeviceMemories).
inline constexpr int DevicesPerPath = 8;

// ---- What is stored ----

enum class Origin {
  Device,  // a reading of the device ("Из БК", riventar-cli download)
  File,    // a ".dat" file brought in ("Импорт...", riventar-cli log import)
  Saved,   // the table saved to a ".dat" file ("В файл")
};

// The computer's local time now, as a Recording's `at`.
std::string RecordingTimeNow();

// One reading or one file: recorded in one transaction, durable on return.
struct Recording {
  Origin origin = Origin::Device;
  std::string source;  // the device path, or the file's path
  std::string at;      // the computer's local time, "YYYY-MM-DD HH:MM:SS"
  trips::VehicleInfo vehicle;
  // A reading: the trips the device holds that its rules accept, in the
  // device's order. A file: its trips in order.
  trips::TripList trips;
  // A reading: the device's record at each index, rejected ones included
  // (trips::ReadDeviceRecords), so that records[i] is its record i; what is
  // remembered of the device (DeviceMemories). Empty: `trips` stand for them.
  trips::TripList records = {};
};

// A recording as Record (`saved` false) or RecordSaved would take it, sent on
// from a computer's queue.
struct Queued {
  Recording recording;
  bool saved = false;
  // Unique per recording: a store that keeps it records a recording sent
  // twice (after a crash, or a lost answer) once.
  std::string id;
};

struct Recorded {
  int read = 0;              // trips in the recording
  int added = 0;             // of them, not in the logbook before
  std::vector<bool> wasNew;  // per trip of the recording
};

struct VehicleSummary {
  std::string plateKey;      // empty: "без номера"
  trips::VehicleInfo texts;  // those last saved (or first seen)
  std::int64_t trips = 0;
  std::string firstDate;  // "YYYY-MM-DD" of the earliest trip, empty when none
  std::string lastDate;
  std::uint64_t distance = 0;  // 1/6000 km, summed
  // Of `trips`, those recorded on this computer and not yet on the shared
  // server; always 0 for a logbook that is only a file.
  std::int64_t pending = 0;
};

struct MonthSummary {  // one vehicle's trips in one month
  int year = 0;        // 2000 + the trip's year
  int month = 1;       // 1..12
  std::int64_t trips = 0;
  std::uint64_t distance = 0;  // 1/6000 km
  std::uint64_t fuel = 0;      // 1/16000 l
};

struct PeriodTotals {  // one vehicle's trips within a period
  std::string plateKey;
  std::int64_t trips = 0;
  std::uint64_t distance = 0;  // 1/6000 km
  std::uint64_t fuel = 0;      // 1/16000 l
};

struct ImportRow {
  std::int64_t id = 0;
  Origin origin = Origin::Device;
  std::string at;
  std::string source;
  int read = 0;
  int added = 0;
};

// Which trips: one vehicle's (by plate key), within dates "YYYY-MM-DD"
// inclusive when given. Trips come back in date and time order.
struct TripQuery {
  std::optional<std::string> plateKey;
  std::optional<std::string> from;
  std::optional<std::string> to;
};

// What a trip was for: kept in the logbook only (a ".dat" line has no room).
// Empty: not said.
struct TripTags {
  std::string purpose;  // «служебная», «личная», or the user's own word
  std::string driver;
  std::string note;
  friend bool operator==(const TripTags&, const TripTags&) = default;
};

// A trip as the logbook holds it.
struct LoggedTrip {
  trips::TripRecord trip;
  std::string plateKey;  // the vehicle it is filed under; empty: unassigned
  TripTags tags;
};

// Which trips a correction takes: those a reading or import holds (`import`),
// or those of `query`, narrowed to `keys` (TripKey) when any are given.
struct TripSelection {
  std::optional<std::int64_t> import;
  TripQuery query;
  std::vector<std::string> keys;
};

// Tags to set; an unset one is left as it is, an empty one cleared.
struct TagChange {
  std::optional<std::string> purpose, driver, note;
};

// One change to the logbook, newest first in History(): readings and imports
// (with their ImportRow id) and every correction, with the computer it came
// from.
struct HistoryRow {
  enum class Kind { Reading, Import, Saved, Move, Edit, Merge, Delete, Undo, Tag };
  Kind kind = Kind::Reading;
  std::int64_t id = 0;  // a reading, import or saving: its ImportRow id; else the change's own
  std::string at;       // the computer's local time, "YYYY-MM-DD HH:MM:SS"
  std::string computer;
  std::string plateKey;    // the vehicle it filed under or changed; empty: unassigned
  std::string vehicle;     // that vehicle's name as shown at the time
  std::string from;        // Move, Merge: where the trips came from; Edit: the old name
  std::string source;      // a reading or import: the device path or file
  std::int64_t read = 0;   // a reading or import: its trips
  std::int64_t trips = 0;  // the trips it added, moved, removed or tagged
  bool undone = false;     // a reading or import taken back by Undo
};

// Why the logbook could not be opened or written. `detail` is the system's
// or the database's own words; the front ends say the rest.
class StoreError : public std::runtime_error {
 public:
  enum class Kind {
    CannotOpen,  // missing folder that cannot be made, no permission
    Corrupt,     // not a logbook, or damaged: never touched
    Newer,       // written by a newer program: never touched
    Locked,      // busy for longer than the busy timeout
    ReadOnly,    // the file or its folder cannot be written
    Full,        // the disk is full
    Other,
  };
  StoreError(Kind kind, std::string path, const std::string& detail)
      : std::runtime_error(detail), kind_(kind), path_(std::move(path)) {}
  Kind kind() const { return kind_; }
  const std::string& path() const { return path_; }

 private:
  Kind kind_;
  std::string path_;
};

// A store refused a recording for what it holds (a value out of range, a
// text it cannot keep), not for the connection or the rights: sent again, it
// would be refused again.
class RecordingRefused : public StoreError {
 public:
  using StoreError::StoreError;
};

class QueuingStore;   // outbox.h
class SharedLogbook;  // shared_logbook.h

// The storage. Every member throws StoreError; a failed write changes
// nothing that was committed. One Store per thread.
class Store {
 public:
  virtual ~Store() = default;

  // Stores the trips not yet held, each under the recording's vehicle, and
  // the recording as an import. Trips already held keep their vehicle and
  // their first import, except unassigned ones: a recording that names a
  // vehicle files them under it (someone has now said the car). For Origin::Device, its records are also remembered
  // as what a device at `source` held (DeviceMemories).
  virtual Recorded Record(const Recording& recording) = 0;

  // Saving to a ".dat" file: the trips not yet held are added under the
  // recording's vehicle, as an import of Origin::Saved only when any is new.
  // Saving never moves a trip the logbook holds, nor changes a known
  // vehicle's texts: that is Move and EditVehicle.
  virtual Recorded RecordSaved(const Recording& recording) = 0;

  virtual std::vector<VehicleSummary> Vehicles() = 0;
  virtual std::vector<MonthSummary> Months(const std::string& plateKey) = 0;
  virtual trips::TripList Trips(const TripQuery& query) = 0;
  virtual std::vector<ImportRow> Imports() = 0;

  // The records of the device last read at `path`, by index. Empty from a
  // fleet's server: a device is one computer's.
  virtual trips::TripList DeviceMemory(const std::string& path) = 0;

  // Every device remembered at `path` (several cars may be read through one
  // adapter in turn), the most recently read first, each with its records by
  // index as its last reading found them (Recording::records). A device read
  // again is known by its record 0; a path keeps the DevicesPerPath most
  // recently read. By default the one of DeviceMemory.
  virtual std::vector<trips::TripList> DeviceMemories(const std::string& path);

  // Several recordings in one transaction where the store can (all or
  // nothing), in order. By default each on its own, one after the other.
  // The trips the store did not hold before.
  virtual std::int64_t RecordAll(const std::vector<Queued>& batch);

  // Of Trips(query), those recorded on this computer and not yet on the
  // shared server, in the same order. Empty for a logbook that is only a file.
  virtual trips::TripList Unsent(const TripQuery& query);

  // Every vehicle's sums over the trips within `query`'s dates (its plate
  // key is not looked at), by plate key; vehicles without such trips are
  // left out. Exact: summed in the device's units. By default from Trips();
  // a database sums them itself in one pass.
  virtual std::vector<PeriodTotals> SumsByVehicle(const TripQuery& query);

  // ---- Which car, and corrections ----
  // Each of these is one transaction, recorded in History() with the time and
  // this computer's name. A store that cannot make them (a fleet's logbook
  // through a recording role) throws StoreError saying who can; by default
  // Kind::Other, "not in this logbook".

  // The vehicle a trip the logbook holds is filed under (plate key, empty:
  // unassigned); nothing for a trip it does not hold.
  virtual std::optional<std::string> VehicleOf(const trips::TripRecord& trip);

  // The trips of `query` with their vehicle and tags, in date and time order.
  // By default from Trips(), untagged, each under the query's vehicle.
  virtual std::vector<LoggedTrip> LoggedTrips(const TripQuery& query);

  // Files the selected trips under `to` (its plate key; a vehicle not yet
  // known is made with its texts, a known one keeps its own). The trips moved.
  virtual std::int64_t Move(const TripSelection& which, const trips::VehicleInfo& to);

  // A vehicle's texts, its plate too. Refused (RecordingRefused) when the new
  // plate key is another vehicle's: that is a Merge.
  virtual void EditVehicle(const std::string& plateKey, const trips::VehicleInfo& texts);

  // Every trip of `from` filed under `into`, and `from` gone. The trips moved.
  virtual std::int64_t Merge(const std::string& from, const std::string& into);

  // A vehicle without trips, gone. Refused (RecordingRefused) while it has any.
  virtual void DeleteVehicle(const std::string& plateKey);

  // Takes back a reading or import (ImportRow id): its trips go, except those
  // another reading or import also holds. The trips removed.
  virtual std::int64_t Undo(std::int64_t importId);

  // Sets the selected trips' tags. The trips tagged.
  virtual std::int64_t Tag(const TripSelection& which, const TagChange& tags);

  // Readings, imports and corrections, newest first. By default from Imports().
  virtual std::vector<HistoryRow> History();

  // What this store is besides, for those that send and show what waits
  // for a fleet's server: a fleet's shared logbook, or a logbook that keeps
  // an outbox. Null by default.
  virtual SharedLogbook* AsShared() { return nullptr; }
  virtual QueuingStore* AsOutbox() { return nullptr; }
};

// The vehicle (plate key) a device is in, as the logbook knows it: the one
// its record 0 is filed under, when its last record, if held, is filed there
// too. The device cannot say which car it is in; a device first read, or read
// only into unassigned trips, is not known.
std::optional<std::string> RecogniseDevice(Store& store, const trips::TripList& records);

}  // namespace riventar::logbook
