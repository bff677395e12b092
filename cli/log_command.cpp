#include "cli/log_command.h"

#include <cctype>
#include <filesystem>
#include <iostream>

#include "cli/exit_status.h"
#include "cli/logbook_access.h"
#include "cli/output.h"
#include "cli/trip_file.h"
#include "core/logbook/json_text.h"
#include "core/trips/dat_file.h"
#include "platform/logbook/fleet_store.h"
#include "platform/logbook/location.h"

namespace riventar::cli {
namespace {

std::string OriginName(logbook::Origin origin) {
  switch (origin) {
    case logbook::Origin::Device:
      return "device";
    case logbook::Origin::File:
      return "file";
    case logbook::Origin::Saved:
      return "saved";
  }
  return "";
}

std::string TripsText(std::int64_t n) { return std::to_string(n) + (n == 1 ? " trip" : " trips"); }
std::string RecordingsText(std::int64_t n) { return std::to_string(n) + (n == 1 ? " recording" : " recordings"); }

std::string FormatFor(const GlobalOptions& global, const LogTripsOptions& options) {
  std::string name = options.format;
  if (name.empty() && !options.output.empty()) {
    const auto dot = options.output.rfind('.');
    if (dot != std::string::npos) name = options.output.substr(dot + 1);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (name != "dat" && name != "csv" && name != "json") {
      throw Failure{ExitStatus::Usage, "cannot tell the format from the name " + options.output + "; use --format"};
    }
  }
  if (name.empty()) return global.json ? "json" : "table";
  return name;
}

}  // namespace

void PrintVehicles(const GlobalOptions& global) {
  std::vector<logbook::VehicleSummary> vehicles;
  try {
    vehicles = OpenLogbookFor(global)->Vehicles();
  } catch (const logbook::StoreError& e) {
    throw LogbookFailure(e);
  }
  if (global.json) {
    std::cout << logbook::VehiclesJson(vehicles);
    return;
  }
  if (vehicles.empty()) return;
  std::vector<std::vector<std::string>> rows{{"registration", "model", "owner", "trips", "first", "last", "km"}};
  for (const logbook::VehicleSummary& v : vehicles) {
    rows.push_back({logbook::Registration(v), v.texts.Model, v.texts.Owner, std::to_string(v.trips), v.firstDate,
                    v.lastDate, JsonNumber(v.distance, trips::DistancePerKm, 1)});
  }
  std::cout << AlignedTable(rows);
}

void PrintLogTrips(const GlobalOptions& global, const LogTripsOptions& options) {
  const std::string format = FormatFor(global, options);
  if (!options.output.empty() && format == "table") {
    throw Failure{ExitStatus::Usage, "-o writes dat, csv or json; the table is for the terminal"};
  }
  if (!options.output.empty()) CheckOutputFile(options.output);
  logbook::TripQuery query{std::nullopt, options.from, options.to};
  trips::VehicleInfo vehicle;
  trips::TripList found;
  try {
    const auto store = OpenLogbookFor(global);
    if (options.vehicle) {
      const std::optional<logbook::VehicleSummary> known = logbook::FindVehicle(store->Vehicles(), *options.vehicle);
      if (!known) {
        throw Failure{ExitStatus::Usage, "no vehicle " + Echoed(*options.vehicle) +
                                             " in the logbook; 'riventar-cli log vehicles' lists them"};
      }
      vehicle = known->texts;
      query.plateKey = known->plateKey;
    }
    found = store->Trips(query);
  } catch (const logbook::StoreError& e) {
    throw LogbookFailure(e);
  }
  // The bytes the window's writers make of the same trips.
  const std::string bytes = format == "dat"    ? trips::SerializeDatFile(vehicle, found)
                            : format == "csv"  ? trips::SerializeCsv(found)
                            : format == "json" ? TripsJson(found)
                            : found.empty()    ? std::string()
                                               : TripTable(found);
  if (options.output.empty()) {
    std::cout << bytes;
    if (found.empty()) std::cerr << "riventar-cli: no trips\n";
    return;
  }
  if (found.empty()) {
    std::cerr << "riventar-cli: no trips, nothing written to " << options.output << "\n";
    return;
  }
  WriteTripFile(options.output, bytes);
  std::cerr << "riventar-cli: " << found.size() << (found.size() == 1 ? " trip" : " trips") << " written to "
            << options.output << "\n";
}

void PrintImports(const GlobalOptions& global) {
  std::vector<logbook::ImportRow> imports;
  try {
    imports = OpenLogbookFor(global)->Imports();
  } catch (const logbook::StoreError& e) {
    throw LogbookFailure(e);
  }
  if (global.json) {
    std::string out = "[";
    for (std::size_t i = 0; i < imports.size(); ++i) {
      const logbook::ImportRow& r = imports[i];
      out += (i == 0 ? "\n" : ",\n") + std::string("  {\"id\": ") + std::to_string(r.id) +
             ", \"at\": " + JsonString(r.at) + ", \"origin\": " + JsonString(OriginName(r.origin)) +
             ", \"source\": " + JsonString(r.source) + ", \"read\": " + std::to_string(r.read) +
             ", \"new\": " + std::to_string(r.added) + "}";
    }
    std::cout << out << (imports.empty() ? "]\n" : "\n]\n");
    return;
  }
  if (imports.empty()) return;
  std::vector<std::vector<std::string>> rows{{"id", "at", "origin", "source", "read", "new"}};
  for (const logbook::ImportRow& r : imports) {
    rows.push_back(
        {std::to_string(r.id), r.at, OriginName(r.origin), r.source, std::to_string(r.read), std::to_string(r.added)});
  }
  std::cout << AlignedTable(rows);
}

void ImportFiles(const GlobalOptions& global, const std::vector<std::string>& files) {
  const auto store = OpenLogbookFor(global);
  std::optional<ExitStatus> refused;
  int refusedCount = 0;
  std::string json;
  for (const std::string& file : files) {
    try {
      const trips::DatContents contents = *LoadTripFile(file);
      const std::string source = std::filesystem::absolute(file).lexically_normal().string();
      const logbook::Recorded recorded =
          store->Record({logbook::Origin::File, source, logbook::RecordingTimeNow(), contents.Vehicle, contents.Trips});
      if (global.json) {
        json += (json.empty() ? "[\n" : ",\n") + std::string("  {\"file\": ") + JsonString(file) +
                ", \"read\": " + std::to_string(recorded.read) + ", \"new\": " + std::to_string(recorded.added) + "}";
      } else {
        std::cout << file << ": " << recorded.read << (recorded.read == 1 ? " trip" : " trips") << " read, "
                  << recorded.added << " new\n";
      }
    } catch (const Failure& f) {
      std::cerr << "riventar-cli: " << f.message << "; not imported\n";
      if (!refused) refused = f.status;
      ++refusedCount;
    } catch (const logbook::StoreError& e) {
      // The logbook itself failed: the files after this one would fail the same way.
      if (global.json) std::cout << (json.empty() ? "[]\n" : json + "\n]\n");
      throw LogbookFailure(e);
    }
  }
  if (global.json) std::cout << (json.empty() ? "[]\n" : json + "\n]\n");
  if (refused) {
    throw Failure{*refused, std::to_string(refusedCount) + " of " + std::to_string(files.size()) +
                                (files.size() == 1 ? " file" : " files") + " not imported"};
  }
}

void PrintSharingStatus(const GlobalOptions& global) {
  logbook::SharingStatus status;
  try {
    status = logbook::Sharing(*OpenLogbookFor(global));
  } catch (const logbook::StoreError& e) {
    throw LogbookFailure(e);
  }
  const logbook::OutboxTotals& w = status.waiting;
  if (global.json) {
    std::cout << "{\"server\": " << (status.shared ? JsonString(status.server) : "null")
              << ", \"waiting_trips\": " << w.trips << ", \"waiting_recordings\": " << w.recordings
              << ", \"since\": " << (w.since.empty() ? "null" : JsonString(w.since)) << "}\n";
    return;
  }
  if (!status.shared) {
    std::cout << "the logbook " << logbook::LogbookLocation(global.logbook)
              << " is a file of its own: nothing is sent to a server\n";
  } else if (w.recordings == 0) {
    std::cout << "nothing waits to be sent to " << status.server << "\n";
  } else {
    std::cout << TripsText(w.trips) << " (" << RecordingsText(w.recordings) << ") wait to be sent to " << status.server
              << ", since " << w.since << "\n";
  }
}

void SyncLogbook(const GlobalOptions& global) {
  logbook::SyncResult result;
  bool shared = false;
  try {
    // Quiet: the one line below says what went wrong.
    const auto store = OpenLogbookFor(global, true);
    shared = logbook::Sharing(*store).shared;
    result = logbook::SendWaiting(*store);
  } catch (const logbook::StoreError& e) {
    throw LogbookFailure(e);
  }
  if (global.json) {
    std::cout << "{\"sent_trips\": " << result.sentTrips << ", \"sent_recordings\": " << result.sentRecordings
              << ", \"waiting_trips\": " << result.left.trips << ", \"waiting_recordings\": " << result.left.recordings
              << ", \"complete\": " << (result.complete ? "true" : "false") << "}\n";
  } else if (!shared) {
    std::cout << "the logbook " << logbook::LogbookLocation(global.logbook)
              << " is a file of its own: nothing to send\n";
  } else {
    std::cout << TripsText(result.sentTrips) << " sent (" << RecordingsText(result.sentRecordings) << ")\n";
  }
  if (!result.complete) {
    throw Failure{ExitStatus::Logbook, result.problem + "; " + TripsText(result.left.trips) + " (" +
                                           RecordingsText(result.left.recordings) + ") still wait on this computer"};
  }
}

}  // namespace riventar::cli
