// riventar-cli: the device and the trip files from the command line, for
// scripts and for support. Data go to standard output, everything else to
// standard error; see riventar-cli(1).
#include <CLI/CLI.hpp>
#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <deque>
#include <iostream>
#include <optional>

#include "cli/correct_command.h"
#include "cli/download.h"
#include "cli/exit_status.h"
#include "cli/interrupt.h"
#include "cli/log_command.h"
#include "cli/output.h"
#include "cli/ports_command.h"
#include "cli/report_command.h"
#include "cli/session.h"
#include "cli/settings_command.h"
#include "cli/stats_command.h"
#include "core/logbook/server_location.h"

namespace {

using namespace riventar::cli;

int Status(ExitStatus status) { return static_cast<int>(status); }

// One of `names`; the refused value is echoed short.
CLI::Validator OneOf(std::vector<std::string> names) {
  std::string list;
  for (std::size_t i = 0; i < names.size(); ++i)
    list += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
  return CLI::Validator(
      [names, list](std::string& value) {
        return std::find(names.begin(), names.end(), value) != names.end() ? std::string()
                                                                           : Echoed(value) + " is not " + list;
      },
      "");
}

const CLI::Validator WholeNumber(
    [](std::string& value) {
      const bool digits = !value.empty() && value.size() < 10 &&
                          std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
      return digits ? std::string() : Echoed(value) + " is not a whole number";
    },
    "");

// A calendar date, "YYYY-MM-DD".
const CLI::Validator IsoDate(
    [](std::string& value) {
      int year = 0, month = 0, day = 0;
      char end = 0;
      const bool shaped = value.size() == 10 && value[4] == '-' && value[7] == '-' &&
                          std::sscanf(value.c_str(), "%4d-%2d-%2d%c", &year, &month, &day, &end) == 3;
      // sscanf takes "-1" for a month: the ranges first, then the calendar.
      const bool valid =
          shaped && month >= 1 && month <= 12 && day >= 1 && day <= 31 &&
          std::chrono::year_month_day(std::chrono::year(year), std::chrono::month(static_cast<unsigned>(month)),
                                      std::chrono::day(static_cast<unsigned>(day)))
              .ok();
      return valid ? std::string() : Echoed(value) + " is not a date YYYY-MM-DD";
    },
    "");

// What CLI11 says, as this program's other messages: named, on one line,
// any argument it repeats at most 40 characters long.
std::string ParseMessage(const CLI::App& app, const CLI::ParseError& e, const std::vector<std::string>& args) {
  // The deepest command reached: its commands name what was missing or mistyped.
  const CLI::App* at = &app;
  std::string path = "riventar-cli";
  for (;;) {
    const auto chosen = at->get_subcommands();
    if (chosen.empty()) break;
    at = chosen.front();
    path += " " + at->get_name();
  }
  std::string message = e.what();
  if (dynamic_cast<const CLI::RequiredError*>(&e) && at->get_require_subcommand_min() > 0) {
    // A word where a command belongs ends up among the arguments left over.
    std::vector<std::string> left = app.remaining();
    std::string names;
    for (const CLI::App* sub : at->get_subcommands({})) names += (names.empty() ? "" : ", ") + sub->get_name();
    const std::string what = at->get_name() == "set" ? "setting" : "command";
    message = left.empty() ? "a " + what + " is needed: " + names
              : left.front().starts_with("-")
                  ? "unknown option " + Echoed(left.front())
                  : "unknown " + what + " " + Echoed(left.front()) + "; the " + what + "s are " + names;
  }
  // A server location's password stays out of every message.
  for (const std::string& arg : args) {
    const std::string location = arg.starts_with("--logbook=") ? arg.substr(10) : arg;
    if (riventar::logbook::IsServerLocation(location)) message = riventar::logbook::Scrubbed(message, location);
  }
  for (const std::string& arg : args) {
    if (arg.size() <= 40) continue;
    const std::string shortened = Echoed(arg);
    for (auto pos = message.find(arg); pos != std::string::npos; pos = message.find(arg, pos + shortened.size()))
      message.replace(pos, arg.size(), shortened.substr(1, shortened.size() - 2));
  }
  std::replace(message.begin(), message.end(), '\n', ' ');
  return "riventar-cli: " + message + " (see '" + path + " --help')";
}

int Run(int argc, char** argv) {
  // A file-size limit must fail the write, not kill the program before it can say so.
  std::signal(SIGXFSZ, SIG_IGN);
  InstallInterruptHandlers();
  // The logbook's SQL driver is a Qt plugin, found through the application object.
  const std::unique_ptr<QCoreApplication> qt = MakeQtApplication(argc, argv);
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
  app.add_option("--logbook", global.logbook,
                 "the logbook file, or a fleet's server (postgresql://...); by default $RIVENTAR_LOGBOOK, else "
                 "$XDG_DATA_HOME/riventar/logbook.sqlite")
      ->type_name("PATH|URI");

  std::function<void()> run;

  CLI::App* ports = app.add_subcommand("ports", "list the serial devices present");
  ports->callback([&] { run = [&] { PrintPorts(global.json); }; });

  CLI::App* info = app.add_subcommand("info", "print the device's versions, trip count, clock and settings");
  info->callback([&] { run = [&] { PrintSettings(global, true); }; });

  DownloadOptions download;
  CLI::App* downloadCommand = app.add_subcommand("download", "read the stored trips and record them in the logbook");
  downloadCommand->add_option("-o,--output", download.output, "write the trips to FILE instead of printing a table")
      ->type_name("FILE");
  downloadCommand->add_option("--format", download.format, "dat, csv or json; by default from FILE's extension")
      ->check(OneOf({"dat", "csv", "json"}));
  downloadCommand->add_flag("--append", download.append, "add the trips to the existing .dat FILE");
  downloadCommand->add_flag("--reset", download.reset,
                            "empty the device's memory once the trips are in the logbook or FILE, synced");
  downloadCommand->add_flag("--new", download.onlyNew, "read, print or write only the trips the logbook lacks");
  downloadCommand->add_flag("--no-logbook", download.noLogbook, "leave the logbook out");
  downloadCommand
      ->add_option("--vehicle-reg", download.registration,
                   "the vehicle's registration number: the trips are filed under it in the logbook")
      ->type_name("TEXT");
  downloadCommand
      ->add_option("--vehicle", download.vehicle, "file the trips under this vehicle the logbook knows, or unassigned")
      ->type_name("REG");
  downloadCommand->add_option("--vehicle-model", download.model, "the vehicle's model")->type_name("TEXT");
  downloadCommand->add_option("--vehicle-owner", download.owner, "the vehicle's owner")->type_name("TEXT");
  downloadCommand->callback([&] { run = [&] { Download(global, download); }; });

  StatsOptions stats;
  CLI::App* statsCommand = app.add_subcommand("stats", "statistics of a .dat file for one period");
  statsCommand->add_option("FILE", stats.file, "the .dat file")->required();
  statsCommand->add_option("--period", stats.period, "day, week, month, season, year or all")
      ->check(OneOf({"day", "week", "month", "season", "year", "all"}))
      ->capture_default_str();
  statsCommand->add_option("--at", stats.at, "the trip (1-based) the period is taken around")
      ->type_name("N")
      ->check(WholeNumber)
      ->capture_default_str();
  statsCommand->callback([&] { run = [&] { PrintStatistics(stats, global.json); }; });

  CLI::App* get = app.add_subcommand("get", "print the device's settings");
  get->callback([&] { run = [&] { PrintSettings(global, false); }; });

  CLI::App* set = app.add_subcommand("set", "change one setting and print it as read back");
  set->require_subcommand(1);
  std::deque<std::string> setOperands;  // a deque keeps each in place for CLI11
  for (const SetCommand& c : SetCommands()) {
    CLI::App* sub = set->add_subcommand(c.name, c.help);
    std::vector<std::pair<const CLI::Option*, const std::string*>> operands;
    for (const SetOperand& operand : c.operands) {
      std::string& typed = setOperands.emplace_back();
      CLI::Option* option = sub->add_option(operand.name, typed, operand.help);
      if (operand.required) option->required();
      operands.emplace_back(option, &typed);
    }
    sub->callback([&, command = &c, operands] {
      run = [&, command, operands] {
        std::vector<std::string> typed;
        for (const auto& [option, text] : operands)
          if (option->count() > 0) typed.push_back(*text);
        command->run(global, typed);
      };
    });
  }

  CLI::App* reset = app.add_subcommand("reset-counter", "forget every stored trip on the device");
  reset->callback([&] { run = [&] { ResetCounter(global); }; });

  CLI::App* log = app.add_subcommand("log", "the logbook: every trip ever read or brought in");
  log->require_subcommand(1);
  log->add_subcommand("vehicles", "list the vehicles, with their trips and distance")->callback([&] {
    run = [&] { PrintVehicles(global); };
  });
  LogTripsOptions logTrips;
  CLI::App* logTripsCommand = log->add_subcommand("trips", "print or write the trips, in date order");
  logTripsCommand
      ->add_option("--vehicle", logTrips.vehicle,
                   "only the trips of the vehicle with this number, or the unassigned ones")
      ->type_name("REG");
  logTripsCommand->add_option("--from", logTrips.from, "only trips on or after this date")
      ->type_name("YYYY-MM-DD")
      ->check(IsoDate);
  logTripsCommand->add_option("--to", logTrips.to, "only trips on or before this date")
      ->type_name("YYYY-MM-DD")
      ->check(IsoDate);
  logTripsCommand->add_option("--format", logTrips.format, "table, dat, csv or json; by default from FILE's extension")
      ->check(OneOf({"table", "dat", "csv", "json"}));
  logTripsCommand->add_option("-o,--output", logTrips.output, "write the trips to FILE")->type_name("FILE");
  logTripsCommand->callback([&] { run = [&] { PrintLogTrips(global, logTrips); }; });
  log->add_subcommand("imports", "list the readings and files recorded")->callback([&] {
    run = [&] { PrintImports(global); };
  });
  std::vector<std::string> importFiles;
  CLI::App* logImport = log->add_subcommand("import", "bring .dat files into the logbook");
  logImport->add_option("FILE", importFiles, "the .dat files")->required();
  logImport->callback([&] { run = [&] { ImportFiles(global, importFiles); }; });
  std::string backupFile;
  CLI::App* logBackup = log->add_subcommand("backup", "write a consistent copy of the logbook file to FILE");
  logBackup->add_option("FILE", backupFile, "the copy, replaced whole")->required();
  logBackup->callback([&] { run = [&] { BackUpLogbookTo(global, backupFile); }; });
  AddReportCommand(*log, global, run);
  log->add_subcommand("status", "what waits on this computer to be sent to the fleet's server")->callback([&] {
    run = [&] { PrintSharingStatus(global); };
  });
  log->add_subcommand("sync", "send what waits to the fleet's server now")->callback([&] {
    run = [&] { SyncLogbook(global); };
  });

  // Which trips a correction takes, the same options for each.
  const auto addSelection = [](CLI::App* command, SelectionOptions& which) {
    command->add_option("--import", which.import, "the trips of this reading or import ('log history' lists them)")
        ->type_name("N")
        ->check(WholeNumber);
    command->add_option("--vehicle", which.vehicle, "the trips of this vehicle, or of the unassigned ones")
        ->type_name("REG");
    command->add_option("--from", which.from, "with --vehicle: only trips on or after this date")
        ->type_name("YYYY-MM-DD")
        ->check(IsoDate);
    command->add_option("--until", which.until, "with --vehicle: only trips on or before this date")
        ->type_name("YYYY-MM-DD")
        ->check(IsoDate);
    command->add_option("--trip", which.keys, "the trip with this key ('--json log trips' gives it); repeatable")
        ->type_name("KEY")
        ->allow_extra_args(false);
  };
  MoveOptions move;
  CLI::App* logMove = log->add_subcommand("move", "file trips under another vehicle");
  addSelection(logMove, move.which);
  logMove->add_option("--to", move.to, "the vehicle's registration number, or unassigned")
      ->type_name("REG")
      ->required();
  logMove->add_option("--model", move.model, "a vehicle new to the logbook: its model")->type_name("TEXT");
  logMove->add_option("--owner", move.owner, "a vehicle new to the logbook: its owner")->type_name("TEXT");
  logMove->callback([&] { run = [&] { MoveTrips(global, move); }; });
  VehicleOptions vehicleChange;
  CLI::App* logVehicle =
      log->add_subcommand("vehicle", "change a vehicle's number or texts, merge it into another, or delete it");
  logVehicle->add_option("REG", vehicleChange.vehicle, "the vehicle's registration number")->required();
  logVehicle->add_option("--rename", vehicleChange.rename, "its new registration number")->type_name("NEWREG");
  logVehicle->add_option("--model", vehicleChange.model, "its model")->type_name("TEXT");
  logVehicle->add_option("--owner", vehicleChange.owner, "its owner")->type_name("TEXT");
  logVehicle->add_option("--merge-into", vehicleChange.mergeInto, "file all its trips under this vehicle; it goes")
      ->type_name("REG");
  logVehicle->add_flag("--delete", vehicleChange.remove, "delete it; only a vehicle without trips");
  logVehicle->callback([&] { run = [&] { ChangeVehicle(global, vehicleChange); }; });
  std::int64_t undoId = 0;
  CLI::App* logUndo = log->add_subcommand("undo", "take back a reading or import: its trips no other one holds go");
  logUndo->add_option("N", undoId, "the reading or import ('log history' lists them)")->required()->check(WholeNumber);
  logUndo->callback([&] { run = [&] { UndoRecording(global, undoId); }; });
  TagOptions tag;
  CLI::App* logTag = log->add_subcommand("tag", "set what trips were for: purpose, driver, note");
  addSelection(logTag, tag.which);
  logTag->add_option("--purpose", tag.purpose, "служебная, личная or a word of your own; empty clears it")
      ->type_name("TEXT");
  logTag->add_option("--driver", tag.driver, "who drove; empty clears it")->type_name("TEXT");
  logTag->add_option("--note", tag.note, "a note; empty clears it")->type_name("TEXT");
  logTag->callback([&] { run = [&] { TagTrips(global, tag); }; });
  log->add_subcommand("history", "list the readings, imports and corrections, newest first")->callback([&] {
    run = [&] { PrintHistory(global); };
  });

  std::optional<Failure> failure;
  try {
    app.parse(argc, argv);
    if (global.port.empty()) throw Failure{ExitStatus::Usage, "--port needs COM1, COM2 or a device path"};
    if (global.logbook && global.logbook->empty())
      throw Failure{ExitStatus::Usage, "--logbook needs a file or a server's postgresql:// URI"};
    // Every user of this computer can read a program's arguments.
    if (global.logbook && riventar::logbook::IsServerLocation(*global.logbook) &&
        !riventar::logbook::PasswordIn(*global.logbook).empty()) {
      throw Failure{ExitStatus::Usage,
                    "a password in --logbook is visible to every user of this computer: remove it "
                    "from " +
                        riventar::logbook::RedactedLocation(*global.logbook) +
                        " and put it in ~/.pgpass or in a service file (postgresql:///?service=NAME)"};
    }
    run();
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() != 0) {
      std::cerr << Printable(ParseMessage(app, e, std::vector<std::string>(argv + 1, argv + argc))) << "\n";
      return Status(ExitStatus::Usage);
    }
    app.exit(e);  // the help or the version
  } catch (const Failure& f) {
    failure = f;
  } catch (const std::exception& e) {
    failure = Failure{ExitStatus::FileIo, e.what()};
  }
  // Data lost on the way out is a failure like any other.
  if (!failure) {
    try {
      FlushStandardOutput();
    } catch (const Failure& f) {
      failure = f;
    }
  }
  std::optional<Failure> trace = TakeTraceFailure();
  if (failure && !failure->said) std::cerr << "riventar-cli: " << Printable(failure->message) << "\n";
  if (trace) std::cerr << "riventar-cli: " << Printable(trace->message) << "\n";
  if (failure) return Status(failure->status);
  return Status(trace ? trace->status : ExitStatus::Done);
}

}  // namespace

// Nothing escapes: what the commands do not catch (memory, a library's own
// error while the command line is being set up) still ends with a message.
int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::cerr << "riventar-cli: " << e.what() << "\n";
  } catch (...) {
    std::cerr << "riventar-cli: unexpected error\n";
  }
  return 70;  // EX_SOFTWARE
}
