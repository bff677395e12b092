#pragma once
// riventar-cli log report: a year's report of one vehicle or all, on
// standard output (a table, or JSON), or to a CSV or PDF file.
#include <QCoreApplication>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "cli/session.h"

namespace CLI {
class App;
}

namespace riventar::cli {

struct LogReportOptions {
  std::string year;                    // "YYYY"
  std::optional<std::string> vehicle;  // a registration number as typed, or "без номера"; none: all
  std::string output;                  // FILE.csv or FILE.pdf; empty: standard output
};

// Throws Failure: Usage for a year that is not four digits, an unknown
// vehicle or a file that is neither .csv nor .pdf; FileIo when the file
// cannot be written (nothing of it is left); Logbook.
void PrintYearReport(const GlobalOptions& global, const LogReportOptions& options);

// Adds "report" under `log`; its callback sets `run`.
void AddReportCommand(CLI::App& log, const GlobalOptions& global, std::function<void()>& run);

// The application object for these arguments: the PDF's fonts need Qt Gui,
// on the offscreen platform (no display is ever needed); every other command
// runs on Qt Core alone. `argc` must outlive the object.
std::unique_ptr<QCoreApplication> MakeQtApplication(int& argc, char** argv);

}  // namespace riventar::cli
