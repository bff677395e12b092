#pragma once
// What a service gives back: a value, or a failure with its kind and the
// words to show. The front ends decide how a kind is shown (a box, an exit
// status); the message is whole and needs nothing added.
#include <cassert>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace riventar::services {

struct Failure {
  enum class Kind {
    Usage,        // a wrong argument or value; nothing was tried
    PortOpen,     // the port could not be opened
    NoAnswer,     // the device did not answer, or answered garbled, or was pulled out
    FileIo,       // a file could not be read or written (a written one keeps what it held)
    FileCreate,   // a file could not be made: nothing was written
    NotTripFile,  // a file is no trip file
    NoTrips,      // a trip file that holds no trips
    Logbook,      // the logbook could not be opened or written
    Refused,      // a rule refused it (say, forgetting trips kept nowhere)
    Cancelled,    // the user or a signal stopped it
  };
  Kind kind = Kind::Usage;
  std::string message;  // may span lines; for people, never parsed
  int systemError = 0;  // errno, where the system said why; 0 when it did not
};

template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}            // NOLINT: implicit on purpose
  Result(Failure failure) : state_(std::in_place_index<1>, std::move(failure)) {}  // NOLINT

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }

  // Only when ok().
  T& value() & {
    assert(ok());
    return std::get<0>(state_);
  }
  const T& value() const& {
    assert(ok());
    return std::get<0>(state_);
  }
  T&& value() && {
    assert(ok());
    return std::get<0>(std::move(state_));
  }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

  // Only when !ok().
  const Failure& failure() const {
    assert(!ok());
    return std::get<1>(state_);
  }

 private:
  std::variant<T, Failure> state_;
};

// A service that gives nothing back but may fail.
struct Done {};
using Status = Result<Done>;
inline Status Ok() { return Done{}; }

}  // namespace riventar::services
