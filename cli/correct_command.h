#pragma once
// riventar-cli log move, vehicle, undo, tag and history: the logbook's
// corrections, each one change recorded in its history.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/session.h"

namespace riventar::cli {

// Which trips: exactly one of a reading or import, a vehicle's (within dates),
// or trips named by their keys.
struct SelectionOptions {
  std::optional<std::int64_t> import;      // --import N
  std::optional<std::string> vehicle;      // --vehicle REG, or "unassigned"
  std::optional<std::string> from, until;  // "YYYY-MM-DD", inclusive; with --vehicle
  std::vector<std::string> keys;           // --trip KEY
};

struct MoveOptions {
  SelectionOptions which;
  std::string to;                           // a registration, or "unassigned"
  std::optional<std::string> model, owner;  // a vehicle new to the logbook
};

struct VehicleOptions {
  std::string vehicle;
  std::optional<std::string> rename, model, owner;
  std::optional<std::string> mergeInto;
  bool remove = false;
};

struct TagOptions {
  SelectionOptions which;
  std::optional<std::string> purpose, driver, note;
};

// Each throws Failure: a refusal (by the command's checks or the store's) is
// ExitStatus::Usage with the reason, and the logbook is left as it was.
void MoveTrips(const GlobalOptions& global, const MoveOptions& options);
void ChangeVehicle(const GlobalOptions& global, const VehicleOptions& options);
void UndoRecording(const GlobalOptions& global, std::int64_t id);
void TagTrips(const GlobalOptions& global, const TagOptions& options);
void PrintHistory(const GlobalOptions& global);

}  // namespace riventar::cli
