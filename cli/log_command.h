#pragma once
// riventar-cli log: what the logbook holds, and files brought into it.
#include <optional>
#include <string>
#include <vector>

#include "cli/session.h"

namespace riventar::cli {

struct LogTripsOptions {
  std::optional<std::string> vehicle;   // a registration number as typed, or "unassigned"
  std::optional<std::string> from, to;  // "YYYY-MM-DD", inclusive
  std::string format;                   // "table", "dat", "csv", "json" or empty: from the file or --json
  std::string output;                   // empty: standard output
};

// Each throws Failure.
void PrintVehicles(const GlobalOptions& global);
void PrintLogTrips(const GlobalOptions& global, const LogTripsOptions& options);
void PrintImports(const GlobalOptions& global);
// Every file is tried; a refused one is said and makes the whole fail at the end.
void ImportFiles(const GlobalOptions& global, const std::vector<std::string>& files);
// A consistent copy of the logbook file in `copy`, taken while others may record.
void BackUpLogbookTo(const GlobalOptions& global, const std::string& copy);
// What waits on this computer for the fleet's server; the server is not asked.
void PrintSharingStatus(const GlobalOptions& global);
// Sends what waits now; Failure (Logbook) when some of it could not be sent.
void SyncLogbook(const GlobalOptions& global);

}  // namespace riventar::cli
