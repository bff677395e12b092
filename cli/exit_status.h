#pragma once
// The program's exit statuses and the error that carries one to main.
#include <string>

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

}  // namespace riventar::cli
