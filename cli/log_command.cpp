#include "cli/log_command.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iostream>
#include <map>

#include "base/text/cp1251.h"
#include "cli/exit_status.h"
#include "cli/logbook_access.h"
#include "cli/output.h"
#include "cli/trip_file.h"
#include "core/logbook/json_text.h"
#include "core/stats/figures.h"
#include "core/trips/dat_file.h"
#include "core/trips/trip_text.h"

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

// A tag in a table's cell: its line breaks as blanks.
std::string OneLine(std::string text) {
  std::replace_if(
      text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
  return text;
}

bool Tagged(const std::vector<logbook::LoggedTrip>& logged) {
  return std::any_of(logged.begin(), logged.end(), [](const auto& t) { return t.tags != logbook::TripTags{}; });
}

// The trip table, with the tags' columns when any trip has one.
std::string LoggedTripTable(const std::vector<logbook::LoggedTrip>& logged) {
  trips::TripList found;
  for (const logbook::LoggedTrip& t : logged) found.push_back(t.trip);
  if (!Tagged(logged)) return TripTable(found);
  std::vector<std::vector<std::string>> rows;
  rows.emplace_back(trips::TableHeadings.begin(), trips::TableHeadings.end());
  for (const char* heading : {"purpose", "driver", "note"}) rows.back().emplace_back(heading);
  for (std::size_t i = 0; i < found.size(); ++i) {
    std::vector<std::string> row;
    for (int column = 0; column < trips::TableColumns; ++column)
      row.push_back(trips::CellText(found[i], i + 1, column));
    const logbook::TripTags& tags = logged[i].tags;
    for (const std::string& tag : {tags.purpose, tags.driver, tags.note}) row.push_back(OneLine(tag));
    rows.push_back(std::move(row));
  }
  return AlignedTable(rows);
}

// Each trip's object as the window's JSON has it, then its vehicle, key and tags.
std::string LoggedTripsJson(const std::vector<logbook::LoggedTrip>& logged,
                            const std::vector<logbook::VehicleSummary>& vehicles) {
  std::map<std::string, std::string> names;
  for (const logbook::VehicleSummary& v : vehicles) names[v.plateKey] = logbook::Registration(v);
  std::string out = "[";
  for (std::size_t i = 0; i < logged.size(); ++i) {
    const logbook::LoggedTrip& t = logged[i];
    std::string object = TripsJson({t.trip});
    object = object.substr(object.find('{'), object.rfind('}') - object.find('{'));
    out += (i == 0 ? "\n  " : ",\n  ") + object + ", \"vehicle\": " +
           JsonString(t.plateKey.empty()           ? "unassigned"
                      : names.contains(t.plateKey) ? names[t.plateKey]
                                                   : t.plateKey) +
           ", \"key\": " + JsonString(logbook::TripKey(t.trip)) + ", \"purpose\": " + JsonString(t.tags.purpose) +
           ", \"driver\": " + JsonString(t.tags.driver) + ", \"note\": " + JsonString(t.tags.note) + "}";
  }
  return out + (logged.empty() ? "]\n" : "\n]\n");
}

// A tag as a spreadsheet's cell: quoted where it holds the separator, a quote or a line break.
std::string CsvCell(const std::string& utf8) {
  std::string bytes = text::ToCp1251(utf8);
  if (bytes.find_first_of(";\"\r\n") == std::string::npos) return bytes;
  std::string quoted = "\"";
  for (char c : bytes) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

// The export's lines, each with the trip's tags after it.
std::string TaggedCsv(const std::string& csv, const std::vector<logbook::LoggedTrip>& logged) {
  std::string out;
  std::size_t at = 0;
  for (std::size_t line = 0; at < csv.size(); ++line) {
    const std::size_t end = csv.find("\r\n", at);
    out += csv.substr(at, end - at);
    if (line == 0) {
      out += text::ToCp1251(";Цель;Водитель;Примечание");
    } else if (line - 1 < logged.size()) {
      const logbook::TripTags& tags = logged[line - 1].tags;
      out += ";" + CsvCell(tags.purpose) + ";" + CsvCell(tags.driver) + ";" + CsvCell(tags.note);
    }
    out += "\r\n";
    at = end == std::string::npos ? csv.size() : end + 2;
  }
  return out;
}

CommandLogbook::Use Reading() { return {services::StoreUse::Read}; }

// What `read` finds in the logbook; `none` where there is no logbook file yet.
template <class Read>
auto FromLogbook(const GlobalOptions& global, Read read) {
  CommandLogbook book(global, Reading());
  using Found = decltype(read(std::declval<logbook::Store&>()));
  if (!book.Store()) return Found{};
  return Take(book.Session().With(read));
}

}  // namespace

void PrintVehicles(const GlobalOptions& global) {
  const std::vector<logbook::VehicleSummary> vehicles =
      FromLogbook(global, [](logbook::Store& store) { return store.Vehicles(); });
  if (global.json) {
    std::cout << logbook::VehiclesJson(vehicles);
    return;
  }
  if (vehicles.empty()) return;
  std::vector<std::vector<std::string>> rows{{"registration", "model", "owner", "trips", "first", "last", "km"}};
  for (const logbook::VehicleSummary& v : vehicles) {
    rows.push_back({v.plateKey.empty() ? "unassigned" : logbook::Registration(v), v.texts.Model, v.texts.Owner,
                    std::to_string(v.trips), v.firstDate, v.lastDate, stats::KilometresText(v.distance)});
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
  std::vector<logbook::LoggedTrip> logged;
  std::vector<logbook::VehicleSummary> vehicles;
  {
    CommandLogbook book(global, Reading());
    if (book.Store()) vehicles = Take(book.Session().With([](auto& s) { return s.Vehicles(); }));
    if (options.vehicle) {
      const std::optional<logbook::VehicleSummary> known = logbook::FindVehicle(vehicles, *options.vehicle);
      if (!known) {
        throw Failure{ExitStatus::Usage, "no vehicle " + Echoed(*options.vehicle) +
                                             " in the logbook; 'riventar-cli log vehicles' lists them"};
      }
      vehicle = known->texts;
      query.plateKey = known->plateKey;
    }
    if (book.Store()) logged = Take(book.Session().With([&query](auto& s) { return s.LoggedTrips(query); }));
  }
  trips::TripList found;
  for (const logbook::LoggedTrip& t : logged) found.push_back(t.trip);
  // A file gets the bytes the window's writers make of the same trips; what is
  // printed shows each trip's tags too.
  const std::string bytes = format == "dat"   ? trips::SerializeDatFile(vehicle, found)
                            : format == "csv" ? trips::SerializeCsv(found)
                                              : std::string();
  if (options.output.empty()) {
    std::cout << ForStandardOutput(format == "dat"    ? bytes
                                   : format == "csv"  ? TaggedCsv(bytes, logged)
                                   : format == "json" ? LoggedTripsJson(logged, vehicles)
                                   : logged.empty()   ? std::string()
                                                      : LoggedTripTable(logged));
    if (found.empty()) std::cerr << "riventar-cli: no trips\n";
    return;
  }
  if (found.empty()) {
    std::cerr << "riventar-cli: no trips, nothing written to " << options.output << "\n";
    return;
  }
  WriteTripFile(options.output, format == "json" ? TripsJson(found) : bytes);
  std::cerr << "riventar-cli: " << found.size() << (found.size() == 1 ? " trip" : " trips") << " written to "
            << options.output << "\n";
}

void PrintImports(const GlobalOptions& global) {
  const std::vector<logbook::ImportRow> imports =
      FromLogbook(global, [](logbook::Store& store) { return store.Imports(); });
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
  CommandLogbook book(global, {});
  std::optional<ExitStatus> refused;
  int refusedCount = 0;
  std::string json;
  for (const std::string& file : files) {
    try {
      const trips::DatContents contents = *LoadTripFile(file);
      const std::string source = std::filesystem::absolute(file).lexically_normal().string();
      services::Result<logbook::Recorded> result = book.Session().Record(
          {logbook::Origin::File, source, logbook::RecordingTimeNow(), contents.Vehicle, contents.Trips});
      if (!result) {
        // The logbook itself failed: the files after this one would fail the same way.
        if (global.json) std::cout << (json.empty() ? "[]\n" : json + "\n]\n");
        throw FromService(result.failure());
      }
      const logbook::Recorded& recorded = result.value();
      if (global.json) {
        json += (json.empty() ? "[\n" : ",\n") + std::string("  {\"file\": ") + JsonString(file) +
                ", \"read\": " + std::to_string(recorded.read) + ", \"new\": " + std::to_string(recorded.added) + "}";
      } else {
        std::cout << Printable(file) << ": " << recorded.read << (recorded.read == 1 ? " trip" : " trips") << " read, "
                  << recorded.added << " new\n";
      }
    } catch (const Failure& f) {
      if (f.status == ExitStatus::Logbook) throw;
      std::cerr << "riventar-cli: " << Printable(f.message) << "; not imported\n";
      if (!refused) refused = f.status;
      ++refusedCount;
    }
  }
  if (global.json) std::cout << (json.empty() ? "[]\n" : json + "\n]\n");
  if (refused) {
    throw Failure{*refused, std::to_string(refusedCount) + " of " + std::to_string(files.size()) +
                                (files.size() == 1 ? " file" : " files") + " not imported"};
  }
}

void BackUpLogbookTo(const GlobalOptions& global, const std::string& copy) {
  logbook::SessionStores stores;
  services::LogbookSession session(stores, {.wording = LogbookProblem});
  Take(session.Locate(global.logbook));
  if (session.AtServer()) {
    throw Failure{ExitStatus::Usage,
                  "log backup copies a logbook file; a fleet's logbook is kept, and backed up, on its server"};
  }
  CheckOutputFile(copy);
  Take(session.BackUp(copy));
  std::cerr << "riventar-cli: the logbook " << session.Location() << " copied to " << copy << "\n";
}

void PrintSharingStatus(const GlobalOptions& global) {
  CommandLogbook book(global, Reading());
  const services::SharingStatus status = book.Store() ? Take(book.Session().Sharing()) : services::SharingStatus{};
  const services::WaitingTotals& w = status.waiting;
  // The other servers something waits for on this computer.
  std::vector<services::ServerWaiting> others;
  for (const services::ServerWaiting& queue : status.servers)
    if (!status.shared || (queue.server != status.serverKey && !queue.server.empty())) others.push_back(queue);
  if (global.json) {
    std::string setAside, servers;
    for (const services::SetAsideRecording& r : status.setAside)
      setAside += std::string(setAside.empty() ? "" : ", ") + "{\"at\": " + JsonString(r.at) +
                  ", \"source\": " + JsonString(r.source) + ", \"trips\": " + std::to_string(r.trips) +
                  ", \"reason\": " + JsonString(r.reason) + "}";
    for (const services::ServerWaiting& q : others)
      servers += std::string(servers.empty() ? "" : ", ") + "{\"server\": " + JsonString(q.server) +
                 ", \"waiting_trips\": " + std::to_string(q.waiting.trips) +
                 ", \"waiting_recordings\": " + std::to_string(q.waiting.recordings) +
                 ", \"set_aside\": " + std::to_string(q.waiting.setAside) +
                 ", \"since\": " + (q.waiting.since.empty() ? "null" : JsonString(q.waiting.since)) + "}";
    std::cout << "{\"server\": " << (status.shared ? JsonString(status.server) : "null")
              << ", \"waiting_trips\": " << w.trips << ", \"waiting_recordings\": " << w.recordings
              << ", \"since\": " << (w.since.empty() ? "null" : JsonString(w.since)) << ", \"set_aside\": [" << setAside
              << "], \"other_servers\": [" << servers << "]}\n";
    return;
  }
  if (!status.shared) {
    std::cout << "the logbook " << book.Session().Location() << " is a file of its own: nothing is sent to a server\n";
  } else if (w.recordings == 0) {
    std::cout << "nothing waits to be sent to " << Printable(status.server) << "\n";
  } else {
    std::cout << TripsText(w.trips) << " (" << RecordingsText(w.recordings) << ") wait to be sent to "
              << Printable(status.server) << ", since " << Printable(w.since) << "\n";
  }
  if (!status.setAside.empty()) {
    std::cout << RecordingsText(static_cast<std::int64_t>(status.setAside.size()))
              << " set aside: the server refused them for what they hold; 'log sync' tries them again\n";
    for (const services::SetAsideRecording& r : status.setAside)
      std::cout << "  " << r.at << " " << r.source << " (" << TripsText(r.trips) << "): " << r.reason << "\n";
  }
  for (const services::ServerWaiting& q : others) {
    std::cout << TripsText(q.waiting.trips) << " (" << RecordingsText(q.waiting.recordings);
    if (q.waiting.setAside > 0) std::cout << ", " << q.waiting.setAside << " set aside";
    std::cout << ") wait for " << (q.server.empty() ? "the next server named" : q.server);
    if (!q.waiting.since.empty()) std::cout << ", since " << q.waiting.since;
    std::cout << "\n";
  }
}

void SyncLogbook(const GlobalOptions& global) {
  // Quiet: the one line below says what went wrong.
  CommandLogbook book(global, {services::StoreUse::Record, true});
  const bool shared = book.Session().Shared();
  const services::SendReport result = Take(book.Session().SendNow());
  if (global.json) {
    std::cout << "{\"sent_trips\": " << result.sentTrips << ", \"new_trips\": " << result.newTrips
              << ", \"known_trips\": " << result.sentTrips - result.newTrips
              << ", \"sent_recordings\": " << result.sentRecordings << ", \"waiting_trips\": " << result.left.trips
              << ", \"waiting_recordings\": " << result.left.recordings
              << ", \"complete\": " << (result.complete ? "true" : "false") << "}\n";
  } else if (!shared) {
    std::cout << "the logbook " << book.Session().Location() << " is a file of its own: nothing to send\n";
  } else {
    std::cout << TripsText(result.sentTrips) << " sent (" << RecordingsText(result.sentRecordings) << ")";
    if (result.sentTrips > 0) {
      std::cout << ": " << result.newTrips << " new on the server, " << result.sentTrips - result.newTrips
                << " it already had";
    }
    std::cout << "\n";
  }
  if (!result.complete && result.left.recordings > 0) {
    throw Failure{ExitStatus::Logbook, result.problem + "; " + TripsText(result.left.trips) + " (" +
                                           RecordingsText(result.left.recordings) + ") still wait on this computer"};
  }
  if (!result.complete) throw Failure{ExitStatus::Logbook, result.problem + " ('log status' says why)"};
}

}  // namespace riventar::cli
