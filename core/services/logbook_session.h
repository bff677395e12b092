#pragma once
// One open logbook for a front end: which store is open and why none is,
// opening the configured or a given location, switching, recording, bringing
// files in and writing trips out, and, for a fleet's shared logbook, what
// waits on this computer and the sending of it on a thread of the session's
// own. The window, riventar-cli and riventar-web each hold one and differ
// only in how they word what it reports.
//
// The stores come from LogbookStores, implemented over Qt SQL in
// adapters/logbook (session_stores.h) and handed in by the front end.
//
// Threads. A session, and the store it holds, belong to the thread that made
// it (the owner: the window's thread, the command's). The sender thread opens
// the logbook again, with connections of its own, through LogbookStores, and
// touches nothing of the session: what it finds comes back to the owner's
// thread through the post the front end gives (Options::post), and all the
// session's state is changed there.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/logbook/logbook.h"
#include "core/services/result.h"
#include "core/trips/trip_record.h"

namespace riventar::services {

// ---- What the sharing of a fleet's logbook reports ----

struct WaitingTotals {
  std::int64_t trips = 0;  // distinct trips new to this computer's logbook when queued
  std::int64_t recordings = 0;
  std::string since;          // the oldest waiting recording's time, empty when none
  std::int64_t setAside = 0;  // recordings the server refused for what they hold
};

struct SetAsideRecording {
  std::string at;
  std::string source;
  std::int64_t trips = 0;
  std::string reason;  // the server's words, one line
};

struct ServerWaiting {
  std::string server;  // a server's key; empty: queued before entries named their server
  WaitingTotals waiting;
};

struct SharingStatus {
  bool shared = false;  // a fleet's logbook; false: a file of its own
  std::string server;   // its location as it may be shown
  WaitingTotals waiting;
  std::vector<SetAsideRecording> setAside;
  std::vector<ServerWaiting> servers;  // what waits for each server, this one's under serverKey
  std::string serverKey;
  // The last server problem, one line; empty when the last attempt reached it.
  std::string problem;
  std::optional<logbook::StoreError::Kind> problemKind;  // with `problem` only
  std::string problemDetail;                             // the server's own words, no password
};

struct SendReport {
  bool complete = true;  // nothing waits any more, nothing was set aside
  std::int64_t sentTrips = 0;
  std::int64_t newTrips = 0;  // of those, the ones the server did not hold yet
  std::int64_t sentRecordings = 0;
  WaitingTotals left;
  std::string problem;  // why not everything, one line
};

// ---- Where stores come from ----

// How a store is opened.
enum class StoreUse {
  Record,        // made when missing; a file that cannot be written fails
  ReadOrRecord,  // made when missing; a file that cannot be written is opened to read
  Read,          // nothing made or written here (a server's logbook still sends what waits)
  Browse,        // read only, a store per thread: a file read-only, a server's logbook with what waits here counted
};

struct StoreOptions {
  StoreUse use = StoreUse::Record;
  bool pagesChecked = false;  // a file's pages were checked already (LogbookStores::CheckPages)
  // A shared logbook: each recording is sent at once (the command line), or
  // only by SendWaiting (the window, which sends on the session's thread).
  bool sendOnRecording = false;
  // With sendOnRecording false: what waits is sent when the store is closed
  // (a command that must not wait between recording and the device's reset).
  bool sendOnClose = false;
  // One line per server problem, as it happens, on the store's thread.
  std::function<void(const std::string&)> notice{};
};

// Every member but the location rules may be called from any thread; each
// throws logbook::StoreError.
class LogbookStores {
 public:
  virtual ~LogbookStores() = default;
  // The logbook named by `given`, else the environment, the saved choice or the default.
  virtual std::string Configured(const std::optional<std::string>& given) = 0;
  virtual std::string DefaultLocation() = 0;
  // Remembers the user's choice; empty: back to the default.
  virtual void Remember(const std::string& location) = 0;
  // Nullptr: no logbook file there yet and `use` is Read (nothing is made).
  virtual std::unique_ptr<logbook::Store> Open(const std::string& location, const StoreOptions& options) = 0;
  virtual SharingStatus Sharing(logbook::Store& store) = 0;
  virtual SendReport SendWaiting(logbook::Store& store) = 0;
  // The file's pages are sound (slow on a big file).
  virtual bool CheckPages(const std::string& location) = 0;
  virtual void BackUp(const std::string& location, const std::string& copy) = 0;
};

// ---- The session ----

// "the logbook PATH cannot be opened (detail)": the plain English words of a
// store's failure, for a Failure's message when a front end gives none.
std::string PlainLogbookProblem(const logbook::StoreError& error);

// What a background send found.
struct SendOutcome {
  SendReport report;
  SharingStatus status;                        // after the attempt
  std::optional<logbook::StoreError> failure;  // this computer's file could not be used
};

class LogbookSession {
 public:
  struct Options {
    // Open's default use and recording behaviour.
    StoreUse use = StoreUse::ReadOrRecord;
    bool sendOnRecording = false;
    bool sendOnClose = false;
    std::function<void(const std::string&)> notice{};
    // How a store's failure is worded in a Failure's message; PlainLogbookProblem by default.
    std::function<std::string(const logbook::StoreError&)> wording{};
    // Runs a function later on the owner's thread (the window's event loop).
    // Without it, SendInBackground is refused.
    std::function<void(std::function<void()>)> post{};
  };
  // `stores` outlives the session.
  LogbookSession(LogbookStores& stores, Options options);
  // Waits for a send under way: the thread never outlives what it reports to.
  ~LogbookSession();
  LogbookSession(const LogbookSession&) = delete;
  LogbookSession& operator=(const LogbookSession&) = delete;

  // ---- Which logbook ----

  // Where the logbook named by `given` (else the configured one) lives, without opening it.
  Result<std::string> ConfiguredLocation(const std::optional<std::string>& given = std::nullopt);
  // Finds where the logbook named by `given` (else the configured one) lives,
  // without opening it: Location() from then on.
  Status Locate(const std::optional<std::string>& given = std::nullopt);
  // Opens the logbook named by `given` (else the configured one), once: later
  // calls give what the first found. `pagesChecked`: see StoreOptions.
  Status Open(const std::optional<std::string>& given = std::nullopt, bool pagesChecked = false);
  // Opens `chosen` (empty: the default file) instead and remembers the
  // choice; on failure the current logbook stays.
  Status Switch(const std::string& chosen);
  // Tests and benchmarks: this store, at `location`.
  void Use(std::unique_ptr<logbook::Store> store, const std::string& location);

  // The open store, for the owner's thread; nullptr when none could be opened
  // (or Read found no file yet).
  logbook::Store* Store() const { return store_.get(); }
  bool Tried() const { return tried_; }
  // The location in use or last tried; may hold a password: show ShownLocation().
  const std::string& Location() const { return location_; }
  std::string ShownLocation() const;
  // The location names a fleet's server; Shared(): and its logbook is open.
  bool AtServer() const;
  bool Shared() const;
  // Why no store is open (or why the last attempt failed).
  const std::optional<logbook::StoreError>& Problem() const { return problem_; }

  // ---- What it does; each a Failure (Logbook) when the store fails ----

  Result<logbook::Recorded> Record(const logbook::Recording& recording);
  Result<logbook::Recorded> RecordSaved(const logbook::Recording& recording);
  // A ".dat" file's bytes, as read from `path`, brought in (Origin::File).
  // NotTripFile when they are none.
  Result<logbook::Recorded> Import(const std::string& path, const std::string& bytes);
  // The trips of `query` as a ".dat" file (`vehicle` in its head) or CSV.
  enum class Format { Dat, Csv };
  Result<std::string> Export(const logbook::TripQuery& query, const trips::VehicleInfo& vehicle, Format format);
  // A consistent copy of a file's logbook (located, not opened); Refused for
  // a server's, FileIo when the copy could not be written.
  Status BackUp(const std::string& copy);
  // Runs `read` with the store; its StoreError becomes a Failure.
  template <class Read>
  auto With(Read&& read) -> Result<decltype(read(std::declval<logbook::Store&>()))>;

  // ---- A fleet's logbook ----

  // What waits here; the server is not asked.
  Result<SharingStatus> Sharing();
  // Sends what waits now, on the calling thread.
  Result<SendReport> SendNow();
  // Sends what waits on the session's thread; `done` runs on the owner's
  // thread (through Options::post) with what it found. One send at a time:
  // asked during one, it sends once more afterwards, and `done` is the last given.
  // Refused without a post or for a logbook that is no fleet's.
  Status SendInBackground(std::function<void(const SendOutcome&)> done);
  // A send is under way or its outcome has not reached the owner yet.
  bool Sending() const { return running_; }

  // Runs `read` on a thread of the session's own, with a store opened again
  // at the location (a fleet's reading asks the server, and the owner must
  // not wait for it), and `done` on the owner's thread with what it gave and
  // that store's sharing status after it. Reads run one after the other, in
  // the order asked. Refused without a post or an open store.
  template <class T>
  Status ReadInBackground(std::function<T(logbook::Store&)> read,
                          std::function<void(Result<T>, const SharingStatus&)> done);
  // A read is under way or its outcome has not reached the owner yet.
  bool Reading() const { return readsOut_ > 0; }

 private:
  Failure FailureOf(const logbook::StoreError& error) const;
  void Finished(const SendOutcome& outcome);
  void StartSender(const std::string& location);
  // One read: on the reader thread with its store, then on the owner's
  // thread with the failure, if any, and the store's sharing status.
  struct ReadJob {
    std::string location;
    std::function<void(logbook::Store&)> work;
    std::function<void(const std::optional<logbook::StoreError>&, const SharingStatus&)> finished;
  };
  Status Background(ReadJob job);
  // The reader thread: touches only the queue (under readMutex_), stores_ and post.
  void ReadAll(const std::weak_ptr<LogbookSession*>& alive);

  LogbookStores& stores_;
  Options options_;
  // The owner's thread only.
  std::unique_ptr<logbook::Store> store_;
  std::string location_;
  bool tried_ = false;
  std::optional<logbook::StoreError> problem_;
  bool running_ = false;
  bool again_ = false;
  std::function<void(const SendOutcome&)> done_;
  int readsOut_ = 0;
  // Shared with the reader thread, under readMutex_.
  std::mutex readMutex_;
  std::deque<ReadJob> reads_;
  bool reading_ = false;
  std::thread reader_;
  // Dropped with the session: an outcome posted after that finds it expired.
  std::shared_ptr<LogbookSession*> alive_;
  std::thread sender_;
};

template <class Read>
auto LogbookSession::With(Read&& read) -> Result<decltype(read(std::declval<logbook::Store&>()))> {
  if (!store_)
    return FailureOf(
        problem_.value_or(logbook::StoreError(logbook::StoreError::Kind::CannotOpen, location_, "no logbook is open")));
  try {
    return read(*store_);
  } catch (const logbook::StoreError& e) {
    return FailureOf(e);
  }
}

template <class T>
Status LogbookSession::ReadInBackground(std::function<T(logbook::Store&)> read,
                                        std::function<void(Result<T>, const SharingStatus&)> done) {
  auto found = std::make_shared<std::optional<T>>();
  return Background({location_, [read = std::move(read), found](logbook::Store& store) { *found = read(store); },
                     [this, found, done = std::move(done)](const std::optional<logbook::StoreError>& failure,
                                                           const SharingStatus& status) {
                       if (failure)
                         done(FailureOf(*failure), status);
                       else
                         done(std::move(**found), status);
                     }});
}

}  // namespace riventar::services
