// riventar-cli: the device and the trip files from the command line, for
// scripts and for support. Data go to standard output, everything else to
// standard error; see riventar-cli(1).
#include <CLI/CLI.hpp>
#include <csignal>
#include <iostream>

#include "cli/download.h"
#include "cli/exit_status.h"
#include "cli/ports_command.h"
#include "cli/session.h"
#include "cli/settings_command.h"
#include "cli/stats_command.h"

namespace {

using namespace riventar::cli;

int Status(ExitStatus status) { return static_cast<int>(status); }

}  // namespace

int main(int argc, char** argv) {
  // A file-size limit must fail the write, not kill the program before it can say so.
  std::signal(SIGXFSZ, SIG_IGN);
  CLI::App app{"The on-board trip computer and its trip files from the command line.", "riventar-cli"};
  app.require_subcommand(1);
  app.fallthrough();  // the global options may follow the command too
  app.set_version_flag("--version", std::string(RIVENTAR_VERSION));

  GlobalOptions global;
  app.add_option("--port", global.port, "COM1, COM2 (bound as the program binds them) or a device path")
      ->type_name("PORT")
      ->capture_default_str();
  app.add_option("--trace", global.trace, "log every byte sent and received to FILE")->type_name("FILE");
  app.add_flag("--json", global.json, "print data as JSON");

  std::function<void()> run;

  CLI::App* ports = app.add_subcommand("ports", "list the serial devices present");
  ports->callback([&] { run = [&] { PrintPorts(global.json); }; });

  CLI::App* info = app.add_subcommand("info", "print the device's versions, trip count, clock and settings");
  info->callback([&] { run = [&] { PrintSettings(global, true); }; });

  DownloadOptions download;
  CLI::App* downloadCommand = app.add_subcommand("download", "read every stored trip");
  downloadCommand->add_option("-o,--output", download.output, "write the trips to FILE instead of printing a table")
      ->type_name("FILE");
  downloadCommand->add_option("--format", download.format, "dat, csv or json; by default from FILE's extension")
      ->check(CLI::IsMember({"dat", "csv", "json"}));
  downloadCommand->add_flag("--append", download.append, "add the trips to the existing .dat FILE");
  downloadCommand->add_flag("--reset", download.reset, "empty the device's memory once FILE is written and synced");
  downloadCommand->callback([&] { run = [&] { Download(global, download); }; });

  StatsOptions stats;
  CLI::App* statsCommand = app.add_subcommand("stats", "statistics of a .dat file for one period");
  statsCommand->add_option("FILE", stats.file, "the .dat file")->required();
  statsCommand->add_option("--period", stats.period, "day, week, month, season, year or all")
      ->check(CLI::IsMember({"day", "week", "month", "season", "year", "all"}))
      ->capture_default_str();
  statsCommand->add_option("--at", stats.at, "the trip (1-based) the period is taken around")
      ->type_name("N")
      ->capture_default_str();
  statsCommand->callback([&] { run = [&] { PrintStatistics(stats, global.json); }; });

  CLI::App* get = app.add_subcommand("get", "print the device's settings");
  get->callback([&] { run = [&] { PrintSettings(global, false); }; });

  CLI::App* set = app.add_subcommand("set", "change one setting and print it as read back");
  set->require_subcommand(1);
  struct SetCommand {
    const char* name;
    const char* help;
    const char* values;
  };
  const SetCommand setCommands[] = {
      {"brightness", "backlight brightness", "LEVEL, 1 to 19"},
      {"power-off", "power-off delay", "H:M:S, at most 1:49:13"},
      {"start-delay", "trip start delay", "off or hours, 1 to 9"},
      {"mode", "working mode", "clock, trip-computer, ecu-errors, ecu-variables or ecu-control"},
      {"correction", "clock correction", "add N, subtract N (a second every N x 10 minutes) or off"},
      {"clock", "clock and calendar", "now or YYYY-MM-DDTHH:MM"},
  };
  std::vector<std::string> setValues;
  for (const SetCommand& c : setCommands) {
    CLI::App* sub = set->add_subcommand(c.name, c.help);
    sub->add_option("VALUE", setValues, c.values)->required()->expected(1, std::string(c.name) == "correction" ? 2 : 1);
    sub->callback([&, name = std::string(c.name)] { run = [&, name] { Set(global, name, setValues); }; });
  }

  CLI::App* reset = app.add_subcommand("reset-counter", "forget every stored trip on the device");
  reset->callback([&] { run = [&] { ResetCounter(global); }; });

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);  // prints help, version or the error
    return code == 0 ? 0 : Status(ExitStatus::Usage);
  }
  try {
    run();
  } catch (const Failure& f) {
    std::cerr << "riventar-cli: " << f.message << "\n";
    return Status(f.status);
  } catch (const std::exception& e) {
    std::cerr << "riventar-cli: " << e.what() << "\n";
    return Status(ExitStatus::FileIo);
  }
  return Status(ExitStatus::Done);
}
