#pragma once
#include <string>

namespace riventar::cli {

struct StatsOptions {
  std::string file;
  std::string period = "all";  // day, week, month, season, year, all
  int at = 1;                  // the anchor trip, 1-based
};

// The statistics window's caption and figures for one period. Throws Failure.
void PrintStatistics(const StatsOptions& options, bool json);

}  // namespace riventar::cli
