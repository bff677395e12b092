#pragma once
// The device as every front end works it: connect, read the stored trips,
// have them recorded, and let the device forget them only once they are on
// disk. The port link is the caller's choice (the serial one, or a test's);
// the logbook is the caller's too, reached through the recorder it passes.
//
// Threads: one thread owns a session and calls all of its members; the link's
// hang-up handler runs on the link's own thread (PortLink).
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/link/port_link.h"
#include "core/logbook/new_trips.h"
#include "core/services/result.h"
#include "core/trips/trip_record.h"

namespace riventar::services {

// Where the trips of a reading are on disk.
struct Kept {
  bool file = false;     // written whole to a file
  bool logbook = false;  // committed to the logbook
};

// Whether the device may forget the trips it holds (the counter reset): only
// once they are on disk somewhere. Refused, saying why, when they are not.
// Both the plan (before the device is asked) and the outcome are judged by it.
Status MayForget(Kept kept);

struct Reading {
  int count = 0;  // the trips the device said it holds ("$TN")
  logbook::NewTripsReading trips;
};

class DeviceSession {
 public:
  // Runs while a request is on the wire: `index` of `count` trips asked.
  using Progress = std::function<void(int index, int count)>;
  // Records a reading in the caller's logbook: Ok once it is committed there.
  using Recorder = std::function<Status(const Reading& reading)>;

  explicit DeviceSession(std::unique_ptr<link::PortLink> link);
  ~DeviceSession();  // the link down
  DeviceSession(const DeviceSession&) = delete;
  DeviceSession& operator=(const DeviceSession&) = delete;

  link::PortLink& Link() { return *link_; }
  const link::PortLink& Link() const { return *link_; }

  // Opens the port and makes the handshake; on failure the link is down.
  // PortOpen (the open failure's lines, as users of the device know them;
  // how to choose another device is the front end's to add) or NoAnswer.
  Status Connect(const std::string& devicePath);
  // Sends nothing. Harmless when not connected.
  void Disconnect();
  bool Connected() const { return link_->IsUp(); }
  // The device connected to last, as given to Connect.
  const std::string& DevicePath() const { return devicePath_; }

  // How many trips the device holds, then each one not among `memories` (what
  // the logbook remembers of devices read through this path; none: all).
  // NoAnswer when an exchange goes unanswered: the device keeps its trips.
  Result<Reading> Read(const std::vector<trips::TripList>& memories = {}, const Progress& progress = {});
  // Has `reading` recorded; what the recorder answers. Kept in mind for MayForget.
  Status Record(const Reading& reading, const Recorder& recorder);
  // The last reading's trips were written whole to a file.
  void FileWritten() { kept_.file = true; }
  const Kept& KeptNow() const { return kept_; }
  // MayForget for the last reading.
  Status MayForgetTrips() const { return MayForget(kept_); }
  // The counter reset, one attempt: an unanswered reset must not pass for a
  // done one. NoAnswer when unanswered.
  Status ForgetTrips();

  // For an exchange that went unanswered: that the device did not answer,
  // or that the adapter was pulled out, or which request got only garbled
  // lines.
  Failure Unanswered() const;

 private:
  std::unique_ptr<link::PortLink> link_;
  std::string devicePath_;
  Kept kept_;
};

}  // namespace riventar::services
