#pragma once
// What the logbook window needs of the window that opens it: the logbook
// session it holds, its dialogs, its table, and the switching and sending
// whose outcome it shows too. The host outlives the logbook window (it
// deletes one still open at its shutdown); both live on the GUI thread.
#include <QString>
#include <functional>

#include "core/services/logbook_session.h"
#include "core/trips/trip_record.h"

namespace riventar::ui {

class Dialogs;

class LogbookHost {
 public:
  virtual Dialogs& UiDialogs() const = 0;
  virtual services::LogbookSession& LogbookService() = 0;
  // Opens the logbook at `location` (a file or a server; empty: the default
  // file) instead of the current one and remembers the choice; says why not
  // and keeps the current one when it cannot.
  virtual bool SwitchLogbook(const QString& location) = 0;
  // Logbook trips into the table as loading a data file puts them there; the host comes to the front.
  virtual void ShowTripsInTable(const trips::VehicleInfo& vehicle, trips::TripList trips) = 0;
  // What waits for a shared logbook's server goes there on the session's
  // thread; the host's status line says how it went, then `then` runs with
  // the outcome. Nothing for a file.
  virtual void SendToServer(std::function<void(const services::SendOutcome&)> then) = 0;

 protected:
  ~LogbookHost() = default;
};

}  // namespace riventar::ui
