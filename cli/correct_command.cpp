#include "cli/correct_command.h"

#include <algorithm>
#include <iostream>
#include <set>

#include "cli/exit_status.h"
#include "cli/logbook_access.h"
#include "cli/output.h"
#include "core/logbook/json_text.h"
#include "core/logbook/logbook.h"

namespace riventar::cli {
namespace {

using logbook::VehicleSummary;

std::string TripsText(std::int64_t n) { return std::to_string(n) + (n == 1 ? " trip" : " trips"); }

Failure Refused(const std::string& why) { return {ExitStatus::Usage, why}; }

Failure NoVehicle(const std::string& typed) {
  return Refused("no vehicle " + Echoed(typed) + " in the logbook; 'riventar-cli log vehicles' lists them");
}

// A change to the logbook, in one transaction of the store's. The store's
// refusal (what it holds forbids the change, or it cannot make changes) is a
// wrong request, in its own words; anything else, a logbook failure.
template <class Change>
void Correct(const GlobalOptions& global, Change change) {
  CommandLogbook book(global, {});
  try {
    change(*book.Store());
  } catch (const logbook::RecordingRefused& e) {
    throw Refused(e.what());
  } catch (const logbook::StoreError& e) {
    if (e.kind() == logbook::StoreError::Kind::Other) throw Refused(e.what());
    throw LogbookFailure(e);
  }
}

const VehicleSummary& Known(const std::vector<VehicleSummary>& vehicles, const std::string& typed,
                            std::optional<VehicleSummary>& found) {
  found = logbook::FindVehicle(vehicles, typed);
  if (!found) throw NoVehicle(typed);
  return *found;
}

// A vehicle to change, not the unassigned trips.
VehicleSummary AVehicle(const std::vector<VehicleSummary>& vehicles, const std::string& typed) {
  if (logbook::NamesUnassigned(typed)) {
    throw Refused("the unassigned trips are no vehicle: 'riventar-cli log move' files them under one");
  }
  std::optional<VehicleSummary> found;
  return Known(vehicles, typed, found);
}

logbook::TripSelection Selection(logbook::Store& store, const SelectionOptions& o,
                                 const std::vector<VehicleSummary>& vehicles) {
  const int ways = (o.import ? 1 : 0) + (o.vehicle ? 1 : 0) + (o.keys.empty() ? 0 : 1);
  if (ways != 1) throw Refused("say which trips with one of --import N, --vehicle REG or --trip KEY");
  if ((o.from || o.until) && !o.vehicle) throw Refused("--from and --until go with --vehicle");
  if (o.from && o.until && *o.from > *o.until) throw Refused("--from " + *o.from + " is after --until " + *o.until);
  logbook::TripSelection which;
  if (o.import) {
    const std::vector<logbook::ImportRow> imports = store.Imports();
    if (std::none_of(imports.begin(), imports.end(), [&](const auto& r) { return r.id == *o.import; })) {
      throw Refused("no reading or import " + std::to_string(*o.import) +
                    " in the logbook; 'riventar-cli log history' lists them");
    }
    which.import = *o.import;
  } else if (o.vehicle) {
    std::optional<VehicleSummary> found;
    which.query = {Known(vehicles, *o.vehicle, found).plateKey, o.from, o.until};
  } else {
    std::set<std::string> held;
    for (const logbook::LoggedTrip& t : store.LoggedTrips({})) held.insert(logbook::TripKey(t.trip));
    for (const std::string& key : o.keys) {
      if (!held.contains(key)) {
        throw Refused("no trip " + Echoed(key) + " in the logbook; 'riventar-cli --json log trips' gives each key");
      }
    }
    which.keys = o.keys;
  }
  return which;
}

std::string KindName(logbook::HistoryRow::Kind kind) {
  using Kind = logbook::HistoryRow::Kind;
  switch (kind) {
    case Kind::Reading:
      return "reading";
    case Kind::Import:
      return "import";
    case Kind::Saved:
      return "saved";
    case Kind::Move:
      return "move";
    case Kind::Edit:
      return "edit";
    case Kind::Merge:
      return "merge";
    case Kind::Delete:
      return "delete";
    case Kind::Undo:
      return "undo";
    case Kind::Tag:
      return "tag";
  }
  return "";
}

bool IsRecording(logbook::HistoryRow::Kind kind) {
  using Kind = logbook::HistoryRow::Kind;
  return kind == Kind::Reading || kind == Kind::Import || kind == Kind::Saved;
}

// A vehicle's name as the history keeps it, in this program's words.
std::string HistoryName(const std::string& name) { return logbook::NamesUnassigned(name) ? "unassigned" : name; }

}  // namespace

void MoveTrips(const GlobalOptions& global, const MoveOptions& options) {
  Correct(global, [&](logbook::Store& store) {
    const std::vector<VehicleSummary> vehicles = store.Vehicles();
    const logbook::TripSelection which = Selection(store, options.which, vehicles);
    trips::VehicleInfo to;
    if (!logbook::NamesUnassigned(options.to)) {
      const std::string key = logbook::PlateKey(options.to);
      if (key.empty()) throw Refused(Echoed(options.to) + " is no registration number");
      const auto known =
          std::find_if(vehicles.begin(), vehicles.end(), [&](const auto& v) { return v.plateKey == key; });
      if (known != vehicles.end() && (options.model || options.owner)) {
        throw Refused(Echoed(options.to) + " is known: its texts change with 'riventar-cli log vehicle " +
                      known->texts.RegId + " --model M --owner O'");
      }
      to = known != vehicles.end()
               ? known->texts
               : trips::VehicleInfo{options.model.value_or(""), options.to, options.owner.value_or("")};
    } else if (options.model || options.owner) {
      throw Refused("the unassigned trips have no model or owner");
    }
    const std::int64_t moved = store.Move(which, to);
    std::cerr << "riventar-cli: " << TripsText(moved) << " moved to " << Printable(VehicleWords(to)) << "\n";
  });
}

void ChangeVehicle(const GlobalOptions& global, const VehicleOptions& options) {
  const bool edit = options.rename || options.model || options.owner;
  if ((edit ? 1 : 0) + (options.mergeInto ? 1 : 0) + (options.remove ? 1 : 0) != 1) {
    throw Refused("say one change: --rename, --model and --owner; --merge-into; or --delete");
  }
  Correct(global, [&](logbook::Store& store) {
    const std::vector<VehicleSummary> vehicles = store.Vehicles();
    const VehicleSummary vehicle = AVehicle(vehicles, options.vehicle);
    const std::string name = VehicleWords(vehicle.texts);
    if (options.remove) {
      if (vehicle.trips > 0) {
        throw Refused(name + " has " + TripsText(vehicle.trips) +
                      ": 'riventar-cli log move' or '--merge-into' files them elsewhere first");
      }
      store.DeleteVehicle(vehicle.plateKey);
      std::cerr << "riventar-cli: " << Printable(name) << " deleted\n";
    } else if (options.mergeInto) {
      const VehicleSummary into = AVehicle(vehicles, *options.mergeInto);
      if (into.plateKey == vehicle.plateKey) throw Refused(name + " cannot be merged into itself");
      const std::int64_t moved = store.Merge(vehicle.plateKey, into.plateKey);
      std::cerr << "riventar-cli: " << Printable(name) << " merged into " << Printable(VehicleWords(into.texts)) << ": "
                << TripsText(moved) << " moved\n";
    } else {
      trips::VehicleInfo texts = vehicle.texts;
      if (options.rename) {
        const std::string key = logbook::NamesUnassigned(*options.rename) ? "" : logbook::PlateKey(*options.rename);
        if (key.empty()) throw Refused(Echoed(*options.rename) + " is no registration number");
        const auto other = std::find_if(vehicles.begin(), vehicles.end(),
                                        [&](const auto& v) { return v.plateKey == key && key != vehicle.plateKey; });
        if (other != vehicles.end()) {
          throw Refused(Echoed(*options.rename) + " is " + VehicleWords(other->texts) +
                        "'s number: '--merge-into' joins the two");
        }
        texts.RegId = *options.rename;
      }
      if (options.model) texts.Model = *options.model;
      if (options.owner) texts.Owner = *options.owner;
      store.EditVehicle(vehicle.plateKey, texts);
      std::cerr << "riventar-cli: " << Printable(name) << " is now " << Printable(VehicleWords(texts))
                << (texts.Owner.empty() ? std::string() : ", " + Printable(texts.Owner)) << "\n";
    }
  });
}

void UndoRecording(const GlobalOptions& global, std::int64_t id) {
  Correct(global, [&](logbook::Store& store) {
    const std::vector<logbook::HistoryRow> history = store.History();
    const auto row =
        std::find_if(history.begin(), history.end(), [&](const auto& r) { return IsRecording(r.kind) && r.id == id; });
    const std::string what = row == history.end() ? "" : KindName(row->kind) + " " + std::to_string(id);
    if (row == history.end()) {
      throw Refused("no reading or import " + std::to_string(id) +
                    " in the logbook; 'riventar-cli log history' lists them");
    }
    if (row->undone) throw Refused(what + " is undone already");
    const std::int64_t removed = store.Undo(id);
    std::cerr << "riventar-cli: " << what << " undone: " << TripsText(removed) << " removed\n";
  });
}

void TagTrips(const GlobalOptions& global, const TagOptions& options) {
  if (!options.purpose && !options.driver && !options.note) {
    throw Refused("say what to set: --purpose, --driver or --note (empty clears it)");
  }
  Correct(global, [&](logbook::Store& store) {
    const logbook::TripSelection which = Selection(store, options.which, store.Vehicles());
    const std::int64_t tagged = store.Tag(which, {options.purpose, options.driver, options.note});
    std::cerr << "riventar-cli: " << TripsText(tagged) << " tagged\n";
  });
}

void PrintHistory(const GlobalOptions& global) {
  CommandLogbook book(global, {services::StoreUse::Read});
  const std::vector<logbook::HistoryRow> history =
      book.Store() ? Take(book.Session().With([](logbook::Store& s) { return s.History(); }))
                   : std::vector<logbook::HistoryRow>{};
  if (global.json) {
    std::string out = "[";
    for (std::size_t i = 0; i < history.size(); ++i) {
      const logbook::HistoryRow& r = history[i];
      out += (i == 0 ? "\n" : ",\n") + std::string("  {\"id\": ") + std::to_string(r.id) +
             ", \"at\": " + JsonString(r.at) + ", \"change\": " + JsonString(KindName(r.kind)) +
             ", \"vehicle\": " + JsonString(r.plateKey.empty() ? "unassigned" : r.vehicle) +
             ", \"from\": " + (r.from.empty() ? std::string("null") : JsonString(HistoryName(r.from))) +
             ", \"source\": " + JsonString(r.source) + ", \"read\": " + std::to_string(r.read) +
             ", \"trips\": " + std::to_string(r.trips) + ", \"computer\": " + JsonString(r.computer) +
             ", \"undone\": " + (r.undone ? "true" : "false") + "}";
    }
    std::cout << out << (history.empty() ? "]\n" : "\n]\n");
    return;
  }
  if (history.empty()) return;
  std::vector<std::vector<std::string>> rows{
      {"id", "at", "change", "vehicle", "from", "source", "read", "trips", "computer"}};
  for (const logbook::HistoryRow& r : history) {
    // Only a reading's or an import's number is used again (log move --import, log undo).
    rows.push_back({IsRecording(r.kind) ? std::to_string(r.id) : "", r.at,
                    KindName(r.kind) + (r.undone ? " (undone)" : ""), r.plateKey.empty() ? "unassigned" : r.vehicle,
                    HistoryName(r.from), r.source, IsRecording(r.kind) ? std::to_string(r.read) : "",
                    std::to_string(r.trips), r.computer});
  }
  std::cout << Printable(AlignedTable(rows));
}

}  // namespace riventar::cli
