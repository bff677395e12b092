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

// How the logbook names the vehicle of trips recorded without a number.
inline constexpr std::string_view NoPlateName = "без номера";

// How a vehicle is named to people: its registration, or NoPlateName for one
// whose registration has no plate key. Every front end names vehicles so.
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
  // their first import. For Origin::Device, its records are also remembered
  // as what a device at `source` held (DeviceMemories).
  virtual Recorded Record(const Recording& recording) = 0;

  // Saving to a ".dat" file: the trips (added when new, as an import of
  // Origin::Saved only when any is new) belong from now on to the vehicle of
  // `recording.vehicle`, whose texts become those shown.
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

  // What this store is besides, for those that send and show what waits
  // for a fleet's server: a fleet's shared logbook, or a logbook that keeps
  // an outbox. Null by default.
  virtual SharedLogbook* AsShared() { return nullptr; }
  virtual QueuingStore* AsOutbox() { return nullptr; }
};

}  // namespace riventar::logbook
