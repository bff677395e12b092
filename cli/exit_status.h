#pragma once
// The program's exit statuses and the error that carries one to main.
#include <string>
#include <utility>

#include "core/services/result.h"

namespace riventar::cli {

enum class ExitStatus : int {
  Done = 0,
  NoAnswer = 1,     // the device did not answer
  Usage = 2,        // a wrong command line or value
  PortOpen = 3,     // the port could not be opened
  FileIo = 4,       // a file could not be read or written
  NotTripFile = 5,  // a file is no trip file
  Logbook = 6,      // the logbook could not be opened or written
};

// Thrown by a command; main prints the message on standard error and exits
// with the status. The message may span several lines.
struct Failure {
  ExitStatus status;
  std::string message;
  // Printed already by the command, where an interrupt could end the program
  // before main prints it.
  bool said = false;
};

// The one place a service's failure becomes an exit status.
inline ExitStatus StatusFor(services::Failure::Kind kind) {
  using Kind = services::Failure::Kind;
  switch (kind) {
    case Kind::Usage:
    case Kind::Refused:  // a rule said no before anything was done: as a wrong request
    case Kind::Cancelled:
      return ExitStatus::Usage;
    case Kind::PortOpen:
      return ExitStatus::PortOpen;
    case Kind::NoAnswer:
      return ExitStatus::NoAnswer;
    case Kind::NotTripFile:
    case Kind::NoTrips:
      return ExitStatus::NotTripFile;
    case Kind::Logbook:
      return ExitStatus::Logbook;
    case Kind::FileIo:
    case Kind::FileCreate:
      break;
  }
  return ExitStatus::FileIo;
}

inline Failure FromService(const services::Failure& failure) { return {StatusFor(failure.kind), failure.message}; }

// The value, or the failure thrown for main to say.
template <class T>
T Take(services::Result<T> result) {
  if (!result) throw FromService(result.failure());
  return std::move(result).value();
}
inline void Take(const services::Status& status) {
  if (!status) throw FromService(status.failure());
}

}  // namespace riventar::cli
