#include "core/services/logbook_session.h"

#include <exception>
#include <utility>
#include <variant>

#include "core/logbook/server_location.h"
#include "core/trips/dat_file.h"

namespace riventar::services {
namespace {

using logbook::StoreError;

// On the sender thread: everything it touches is its own.
SendOutcome SendFrom(LogbookStores& stores, const std::string& location) {
  SendOutcome outcome;
  try {
    const std::unique_ptr<logbook::Store> store = stores.Open(location, {StoreUse::Record});
    outcome.report = stores.SendWaiting(*store);
    outcome.status = stores.Sharing(*store);
  } catch (const StoreError& e) {
    outcome.failure = e;
  } catch (const std::exception& e) {
    outcome.failure = StoreError(StoreError::Kind::Other, location, e.what());
  }
  return outcome;
}

}  // namespace

std::string PlainLogbookProblem(const logbook::StoreError& error) {
  using Kind = logbook::StoreError::Kind;
  std::string words;
  switch (error.kind()) {
    case Kind::CannotOpen:
      words = "cannot be opened";
      break;
    case Kind::Corrupt:
      words = "is not a logbook or is damaged; it is left as it is";
      break;
    case Kind::Newer:
      words = "was written by a newer version of the program; it is left as it is";
      break;
    case Kind::Locked:
      words = "is busy: another program kept it locked too long";
      break;
    case Kind::ReadOnly:
      words = "cannot be written";
      break;
    case Kind::Full:
      words = "cannot be written: the disk is full";
      break;
    case Kind::Other:
      words = "failed";
      break;
  }
  const std::string detail = error.what();
  const std::string path =
      logbook::IsServerLocation(error.path()) ? logbook::RedactedLocation(error.path()) : error.path();
  return "the logbook " + path + " " + words + (detail.empty() ? "" : " (" + detail + ")");
}

LogbookSession::LogbookSession(LogbookStores& stores, Options options)
    : stores_(stores), options_(std::move(options)), alive_(std::make_shared<LogbookSession*>(this)) {}

LogbookSession::~LogbookSession() {
  alive_.reset();
  {
    const std::lock_guard lock(readMutex_);
    reads_.clear();  // what was not begun is not begun
  }
  if (sender_.joinable()) sender_.join();
  if (reader_.joinable()) reader_.join();
}

Failure LogbookSession::FailureOf(const logbook::StoreError& error) const {
  return {Failure::Kind::Logbook, options_.wording ? options_.wording(error) : PlainLogbookProblem(error)};
}

Result<std::string> LogbookSession::ConfiguredLocation(const std::optional<std::string>& given) {
  try {
    return stores_.Configured(given);
  } catch (const StoreError& e) {
    return FailureOf(e);
  }
}

Status LogbookSession::Locate(const std::optional<std::string>& given) {
  try {
    location_ = stores_.Configured(given);
  } catch (const StoreError& e) {
    location_ = e.path();  // the location itself was refused
    return FailureOf(e);
  }
  return Ok();
}

Status LogbookSession::Open(const std::optional<std::string>& given, bool pagesChecked) {
  if (tried_) return problem_ ? Status(FailureOf(*problem_)) : Ok();
  tried_ = true;
  try {
    location_ = stores_.Configured(given);
    StoreOptions options{options_.use, pagesChecked, options_.sendOnRecording, options_.sendOnClose, options_.notice};
    store_ = stores_.Open(location_, options);
    problem_.reset();
  } catch (const StoreError& e) {
    if (location_.empty()) location_ = e.path();  // the location itself was refused
    problem_ = e;
    return FailureOf(e);
  }
  return Ok();
}

Status LogbookSession::Switch(const std::string& chosen) {
  std::string location;
  try {
    location = chosen.empty() ? stores_.DefaultLocation() : chosen;
    StoreOptions options{options_.use, false, options_.sendOnRecording, options_.sendOnClose, options_.notice};
    std::unique_ptr<logbook::Store> store = stores_.Open(location, options);
    if (!store) throw StoreError(StoreError::Kind::CannotOpen, location, "no logbook file");
    stores_.Remember(chosen);
    store_ = std::move(store);
  } catch (const StoreError& e) {
    return FailureOf(e);
  }
  location_ = std::move(location);
  tried_ = true;
  problem_.reset();
  return Ok();
}

void LogbookSession::Use(std::unique_ptr<logbook::Store> store, const std::string& location) {
  store_ = std::move(store);
  location_ = location;
  tried_ = true;
  problem_.reset();  // none: no store, and no reason known
}

std::string LogbookSession::ShownLocation() const {
  return logbook::IsServerLocation(location_) ? logbook::RedactedLocation(location_) : location_;
}

bool LogbookSession::AtServer() const { return logbook::IsServerLocation(location_); }

bool LogbookSession::Shared() const { return store_ && AtServer(); }

Result<logbook::Recorded> LogbookSession::Record(const logbook::Recording& recording) {
  return With([&](logbook::Store& store) { return store.Record(recording); });
}

Result<logbook::Recorded> LogbookSession::RecordSaved(const logbook::Recording& recording) {
  return With([&](logbook::Store& store) { return store.RecordSaved(recording); });
}

Result<logbook::Recorded> LogbookSession::Import(const std::string& path, const std::string& bytes) {
  auto parsed = trips::ParseDatFile(bytes);
  if (const auto* problem = std::get_if<trips::DatProblem>(&parsed))
    return Failure{Failure::Kind::NotTripFile,
                   path + (*problem == trips::DatProblem::WrongFormat ? " is no trip file" : " holds no trips")};
  const trips::DatContents& contents = std::get<trips::DatContents>(parsed);
  return Record({logbook::Origin::File, path, logbook::RecordingTimeNow(), contents.Vehicle, contents.Trips});
}

Result<std::string> LogbookSession::Export(const logbook::TripQuery& query, const trips::VehicleInfo& vehicle,
                                           Format format) {
  return With([&](logbook::Store& store) {
    const trips::TripList found = store.Trips(query);
    return format == Format::Csv ? trips::SerializeCsv(found) : trips::SerializeDatFile(vehicle, found);
  });
}

Status LogbookSession::BackUp(const std::string& copy) {
  if (location_.empty())
    if (Status located = Locate(); !located) return located;
  if (logbook::IsServerLocation(location_))
    return Failure{Failure::Kind::Refused, "a fleet's logbook is kept, and backed up, on its server"};
  try {
    stores_.BackUp(location_, copy);
  } catch (const StoreError& e) {
    if (e.path() == copy)
      return Failure{Failure::Kind::FileIo, "cannot write the copy " + copy + " (" + e.what() + "); the logbook " +
                                                location_ + " is as it was"};
    return FailureOf(e);
  }
  return Ok();
}

Result<SharingStatus> LogbookSession::Sharing() {
  return With([this](logbook::Store& store) { return stores_.Sharing(store); });
}

Result<SendReport> LogbookSession::SendNow() {
  return With([this](logbook::Store& store) { return stores_.SendWaiting(store); });
}

Status LogbookSession::SendInBackground(std::function<void(const SendOutcome&)> done) {
  if (!options_.post) return Failure{Failure::Kind::Usage, "no thread to report a background send to"};
  if (!Shared()) return Failure{Failure::Kind::Refused, "the logbook " + ShownLocation() + " is no fleet's"};
  done_ = std::move(done);
  if (running_) {
    again_ = true;
    return Ok();
  }
  StartSender(location_);
  return Ok();
}

void LogbookSession::StartSender(const std::string& location) {
  if (sender_.joinable()) sender_.join();  // done: its outcome has come back
  running_ = true;
  sender_ = std::thread([&stores = stores_, post = options_.post, alive = std::weak_ptr(alive_), location] {
    SendOutcome outcome = SendFrom(stores, location);
    // Run on the owner's thread, where the session is destroyed too: expired, it is gone.
    post([alive, outcome = std::move(outcome)] {
      if (const auto session = alive.lock()) (*session)->Finished(outcome);
    });
  });
}

Status LogbookSession::Background(ReadJob job) {
  if (!options_.post) return Failure{Failure::Kind::Usage, "no thread to report a background read to"};
  if (!store_)
    return FailureOf(problem_.value_or(StoreError(StoreError::Kind::CannotOpen, location_, "no logbook is open")));
  ++readsOut_;
  // Counted out on the owner's thread, once the outcome is there.
  job.finished = [this, finished = std::move(job.finished)](const std::optional<StoreError>& failure,
                                                            const SharingStatus& status) {
    --readsOut_;
    finished(failure, status);
  };
  const std::lock_guard lock(readMutex_);
  reads_.push_back(std::move(job));
  if (reading_) return Ok();
  if (reader_.joinable()) reader_.join();  // it has left the queue: done
  reading_ = true;
  reader_ = std::thread([this, alive = std::weak_ptr(alive_)] { ReadAll(alive); });
  return Ok();
}

void LogbookSession::ReadAll(const std::weak_ptr<LogbookSession*>& alive) {
  std::unique_ptr<logbook::Store> store;
  std::string opened;
  for (;;) {
    ReadJob job;
    {
      const std::lock_guard lock(readMutex_);
      if (reads_.empty()) {
        reading_ = false;
        return;
      }
      job = std::move(reads_.front());
      reads_.pop_front();
    }
    std::optional<StoreError> failure;
    SharingStatus status;
    try {
      if (!store || opened != job.location) {
        store.reset();
        store = stores_.Open(job.location, {StoreUse::ReadOrRecord});
        opened = job.location;
      }
      job.work(*store);
      status = stores_.Sharing(*store);
    } catch (const StoreError& e) {
      failure = e;
      store.reset();
    } catch (const std::exception& e) {
      failure = StoreError(StoreError::Kind::Other, job.location, e.what());
      store.reset();
    }
    options_.post([alive, finished = std::move(job.finished), failure, status] {
      if (alive.lock()) finished(failure, status);
    });
  }
}

void LogbookSession::Finished(const SendOutcome& outcome) {
  running_ = false;
  if (done_) done_(outcome);
  if (again_ && Shared()) {
    again_ = false;
    StartSender(location_);
  }
  again_ = false;
}

}  // namespace riventar::services
