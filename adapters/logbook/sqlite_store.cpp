#include "adapters/logbook/sqlite_store.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sqlite3.h>
#include <thread>

#include "adapters/logbook/sql_store.h"
#include "core/logbook/stamp.h"

namespace riventar::logbook {
namespace {

namespace fs = std::filesystem;
using Kind = StoreError::Kind;
using trips::TripRecord;

// ---- Trips as stored ----

// Binds the identity to positions `first`..`first + 4`.
void BindTrip(QSqlQuery& q, int first, const TripRecord& r) {
  q.bindValue(first, QVariant::fromValue<qint64>(Stamp(r)));
  q.bindValue(first + 1, QVariant::fromValue<qint64>(r.TripTime));
  q.bindValue(first + 2, QVariant::fromValue<qint64>(r.MovingTime));
  q.bindValue(first + 3, QVariant::fromValue<qint64>(r.Distance));
  q.bindValue(first + 4, QVariant::fromValue<qint64>(r.Fuel));
}

constexpr char TripIdentity[] = "stamp = ? AND trip_time = ? AND moving_time = ? AND distance = ? AND fuel = ?";

// ---- Schema ----

// Version 2 to 3: each entry names the server it is for (a key, see
// ServerQueueKey; '' for those queued before), and one the server refused for
// its content says why (NULL: it waits).
std::vector<QString> OutboxPerServerStep() {
  return {
      "ALTER TABLE outbox ADD COLUMN server TEXT NOT NULL DEFAULT ''",
      "ALTER TABLE outbox ADD COLUMN set_aside TEXT",
  };
}

// Version 4 to 5: what a trip was for; which trips each recording holds, so
// that taking one back keeps those another holds too; where each recording
// came from and what it filed under; the corrections made since.
std::vector<QString> CorrectionsStep() {
  return {
      "ALTER TABLE trips ADD COLUMN purpose TEXT NOT NULL DEFAULT ''",
      "ALTER TABLE trips ADD COLUMN driver TEXT NOT NULL DEFAULT ''",
      "ALTER TABLE trips ADD COLUMN note TEXT NOT NULL DEFAULT ''",
      // Every trip a recording held, new or not. No index by trip: only
      // taking a recording back asks who else holds one, in one pass.
      "CREATE TABLE import_trips ("
      " import INTEGER NOT NULL REFERENCES imports (id),"
      " stamp BIGINT NOT NULL, trip_time BIGINT NOT NULL, moving_time BIGINT NOT NULL,"
      " distance BIGINT NOT NULL, fuel BIGINT NOT NULL,"
      " PRIMARY KEY (import, stamp, trip_time, moving_time, distance, fuel)) WITHOUT ROWID",
      // Of the recordings before, only which trips each added was kept.
      "INSERT INTO import_trips SELECT first_import, stamp, trip_time, moving_time, distance, fuel FROM trips",
      // `computer`: '' for those before; `plate_key`, `vehicle`: what it filed
      // under and how that vehicle was named then.
      "ALTER TABLE imports ADD COLUMN computer TEXT NOT NULL DEFAULT ''",
      "ALTER TABLE imports ADD COLUMN plate_key TEXT NOT NULL DEFAULT ''",
      "ALTER TABLE imports ADD COLUMN vehicle TEXT NOT NULL DEFAULT ''",
      "ALTER TABLE imports ADD COLUMN undone INTEGER NOT NULL DEFAULT 0",
      // Those before: the vehicle of the earliest trip each added, when it
      // added any; the name is the vehicle's plate as it reads now.
      "UPDATE imports SET plate_key = f.plate_key, "
      "vehicle = CASE WHEN f.plate_key = '' THEN 'не назначены' ELSE f.reg_id END "
      "FROM (SELECT t.first_import AS import, v.plate_key, v.reg_id FROM "
      "(SELECT first_import, vehicle, MIN(stamp) FROM trips GROUP BY first_import) t "
      "JOIN vehicles v ON v.id = t.vehicle) f WHERE imports.id = f.import",
      // `after`: the last import when it was made, to tell its place among them.
      "CREATE TABLE changes ("
      " id INTEGER PRIMARY KEY, kind INTEGER NOT NULL, at TEXT NOT NULL, computer TEXT NOT NULL,"
      " plate_key TEXT NOT NULL, vehicle TEXT NOT NULL, from_name TEXT NOT NULL, trips BIGINT NOT NULL,"
      " after INTEGER NOT NULL)",
  };
}

// Step i brings a logbook from version i to i + 1. A released step is never
// changed; the next change is a new step. Plain SQL types; the key clauses
// are SQLite's where PostgreSQL would say it otherwise.
const SchemaSteps& Migrations() {
  static const SchemaSteps steps = {
      {
          "CREATE TABLE schema_version (version INTEGER NOT NULL)",
          "INSERT INTO schema_version (version) VALUES (0)",
          // The totals are kept by every recording, so that listing the
          // vehicles reads one row each.
          "CREATE TABLE vehicles ("
          " id INTEGER PRIMARY KEY,"
          " plate_key TEXT NOT NULL UNIQUE,"
          " model TEXT NOT NULL, reg_id TEXT NOT NULL, owner TEXT NOT NULL,"
          " trips BIGINT NOT NULL, first_stamp BIGINT, last_stamp BIGINT, distance BIGINT NOT NULL)",
          "CREATE TABLE imports ("
          " id INTEGER PRIMARY KEY,"
          " origin INTEGER NOT NULL, at TEXT NOT NULL, source TEXT NOT NULL,"
          " read_count INTEGER NOT NULL, added INTEGER NOT NULL)",
          // The identity is the key: no row id, no second copy of it in a
          // unique index.
          "CREATE TABLE trips ("
          " stamp BIGINT NOT NULL, trip_time BIGINT NOT NULL, moving_time BIGINT NOT NULL,"
          " distance BIGINT NOT NULL, fuel BIGINT NOT NULL,"
          " vehicle INTEGER NOT NULL REFERENCES vehicles (id),"
          " first_import INTEGER NOT NULL REFERENCES imports (id),"
          " PRIMARY KEY (stamp, trip_time, moving_time, distance, fuel)) WITHOUT ROWID",
          "CREATE INDEX trips_by_vehicle ON trips (vehicle, stamp)",
          "CREATE TABLE device_memory ("
          " device TEXT NOT NULL, slot INTEGER NOT NULL,"
          " stamp BIGINT NOT NULL, trip_time BIGINT NOT NULL, moving_time BIGINT NOT NULL,"
          " distance BIGINT NOT NULL, fuel BIGINT NOT NULL,"
          " PRIMARY KEY (device, slot))",
      },
      {
          // What waits for the shared server, in order: each recording as it
          // was given, under a unique id the server keeps it once by. `fresh`:
          // the trip was new to this logbook, so it may be new to the server.
          "CREATE TABLE outbox ("
          " id INTEGER PRIMARY KEY, recording TEXT NOT NULL UNIQUE, saved INTEGER NOT NULL,"
          " origin INTEGER NOT NULL, source TEXT NOT NULL, at TEXT NOT NULL,"
          " plate_key TEXT NOT NULL, model TEXT NOT NULL, reg_id TEXT NOT NULL, owner TEXT NOT NULL)",
          "CREATE TABLE outbox_trips ("
          " entry INTEGER NOT NULL REFERENCES outbox (id) ON DELETE CASCADE, slot INTEGER NOT NULL,"
          " stamp BIGINT NOT NULL, trip_time BIGINT NOT NULL, moving_time BIGINT NOT NULL,"
          " distance BIGINT NOT NULL, fuel BIGINT NOT NULL, fresh INTEGER NOT NULL,"
          " PRIMARY KEY (entry, slot)) WITHOUT ROWID",
      },
      {
          // Several devices per path, the highest id read last, each with its
          // record at every index, rejected ones included. What device_memory
          // held (the accepted trips only) is kept: where the device held
          // others its indexes do not match, and it is read whole once.
          "CREATE TABLE devices (id INTEGER PRIMARY KEY, path TEXT NOT NULL)",
          "CREATE INDEX devices_by_path ON devices (path, id)",
          "CREATE TABLE device_records ("
          " device INTEGER NOT NULL REFERENCES devices (id) ON DELETE CASCADE, slot INTEGER NOT NULL,"
          " stamp BIGINT NOT NULL, trip_time BIGINT NOT NULL, moving_time BIGINT NOT NULL,"
          " distance BIGINT NOT NULL, fuel BIGINT NOT NULL,"
          " PRIMARY KEY (device, slot)) WITHOUT ROWID",
          "INSERT INTO devices (path) SELECT DISTINCT device FROM device_memory ORDER BY device",
          "INSERT INTO device_records SELECT devices.id, slot, stamp, trip_time, moving_time, distance, fuel "
          "FROM device_memory JOIN devices ON devices.path = device_memory.device",
          "DROP TABLE device_memory",
      },
      OutboxPerServerStep(),
      CorrectionsStep(),
  };
  return steps;
}

// ---- Errors ----

Kind KindOf(int code) {
  switch (code & 0xff) {  // the primary code of an extended one
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return Kind::Locked;
    case SQLITE_READONLY:
      return Kind::ReadOnly;
    case SQLITE_FULL:
      return Kind::Full;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      return Kind::Corrupt;
    case SQLITE_PERM:
    case SQLITE_CANTOPEN:
    case SQLITE_AUTH:
      return Kind::CannotOpen;
    default:
      return Kind::Other;
  }
}

// ---- One connection ----

// How a connection may touch the file.
enum class Mode {
  ReadWrite,
  ReadOnly,
  // Read-only without locks or side files: for a file nobody can be writing
  // (a read-only folder, where SQLite could not make its shared memory).
  Unchanging,
};

// The file as an SQLite URI: the characters a URI gives meaning escaped.
QString FileUri(const std::string& path) {
  QString uri = QStringLiteral("file:");
  for (const char c : fs::absolute(path).string()) {
    if (c == '%' || c == '?' || c == '#')
      uri += QStringLiteral("%%1").arg(static_cast<unsigned char>(c), 2, 16, QLatin1Char('0'));
    else
      uri += QString::fromUtf8(&c, 1);
  }
  return uri;
}

// SQLite's dialect: its errors (KindOf, Connection::Fail), its one file, and
// its write lock taken first (IMMEDIATE), so that two writers queue instead of
// both reading and then deadlocking on the upgrade.
const Dialect Sqlite{QStringLiteral("BEGIN IMMEDIATE"), QStringLiteral("schema_version"), QString()};

class Connection final : public SqlConnection {
 public:
  Connection(const std::string& path, std::chrono::milliseconds busyTimeout, Mode mode)
      : SqlConnection(Sqlite, QStringLiteral("riventar-logbook-%1").arg(++counter_), path) {
    db_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), Name());
    if (!db_.isValid())
      throw StoreError(Kind::Other, path, "Qt's SQLite driver is missing (the package libqt6sql6-sqlite)");
    QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeout.count());
    if (mode != Mode::ReadWrite) options += QStringLiteral(";QSQLITE_OPEN_READONLY");
    if (mode == Mode::Unchanging) {
      db_.setDatabaseName(FileUri(path) + QStringLiteral("?immutable=1"));
      options += QStringLiteral(";QSQLITE_OPEN_URI");
    } else {
      db_.setDatabaseName(QString::fromStdString(path));
    }
    db_.setConnectOptions(options);
    if (!db_.open()) {
      const QSqlError error = db_.lastError();
      Close();
      throw StoreError(KindOf(error.nativeErrorCode().toInt()), path,
                       (error.databaseText().isEmpty() ? error.text() : error.databaseText()).toStdString());
    }
    handle_ = [this]() -> sqlite3* {
      const QVariant h = db_.driver()->handle();
      if (!h.isValid() || std::strcmp(h.typeName(), "sqlite3*") != 0) return nullptr;
      return *static_cast<sqlite3* const*>(h.constData());
    }();
    if (!handle_) {
      Close();
      throw StoreError(Kind::Other, path, "Qt's SQLite driver does not give its connection");
    }
  }
  ~Connection() override { Close(); }

  const std::string& Path() const { return Shown(); }
  // SQLite's own connection: the driver links the same library as this program.
  sqlite3* Handle() const { return handle_; }

  [[noreturn]] void Fail(const QSqlError& error) override {
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    Fail(error.nativeErrorCode().toInt(), text.toStdString());
  }
  // An I/O error says what the system said: a full disk is a full disk.
  [[noreturn]] void Fail(int code, std::string text) const {
    Kind kind = KindOf(code);
    if ((code & 0xff) == SQLITE_IOERR) {
      const int error = sqlite3_system_errno(handle_);
      if (error == ENOSPC || error == EDQUOT) kind = Kind::Full;
      if (error != 0) text += std::string(": ") + std::strerror(error);
    }
    throw StoreError(kind, Path(), text);
  }

 protected:
  // Durable on return, and in the main file: the logbook is that one file,
  // whatever happens to its write-ahead log after this.
  void Committed() override {
    // Readers holding an older snapshot may keep part of it in the log (busy),
    // or the disk may fill up on the way: committed all the same, and the
    // next checkpoint takes it.
    try {
      Exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    } catch (const StoreError&) {
    }
  }

 private:
  static inline std::atomic<int> counter_{0};
  sqlite3* handle_ = nullptr;
};

// The schema `c` holds, in one text: every table and index with its SQL.
std::string SchemaOf(Connection& c) {
  QSqlQuery q = c.Exec(QStringLiteral("SELECT type, name, tbl_name, sql FROM sqlite_master ORDER BY type, name"));
  std::string out;
  while (q.next())
    for (int i = 0; i < 4; ++i) out += q.value(i).toString().toStdString() + '\n';
  if (q.lastError().isValid()) c.Fail(q.lastError());
  return out;
}

// The schema the migrations make at `version`, from a database in memory.
std::string SchemaAt(int version) {
  Connection memory(":memory:", DefaultBusyTimeout, Mode::ReadWrite);
  RunSteps(memory, SchemaSteps(Migrations().begin(), Migrations().begin() + version), 0);
  return SchemaOf(memory);
}

// The last version written before logbooks carried their mark.
constexpr int LastUnmarkedVersion = 2;

// What a file that SQLite opened turned out to be.
struct Recognised {
  bool blank = false;  // an SQLite database with nothing in it
  bool marked = true;  // false: a logbook of an earlier program, to be marked
  int version = 0;
};

// Recognises the logbook behind `c` by its mark, or one an earlier program
// wrote by its exact tables; anything else is refused (Corrupt), a later one
// Newer. Reads only.
Recognised Recognise(Connection& c) {
  const std::int64_t id = c.Integer(QStringLiteral("PRAGMA application_id"));
  const std::int64_t objects = c.Integer(QStringLiteral("SELECT COUNT(*) FROM sqlite_master"));
  if (id == 0 && objects == 0) return {true, false, 0};
  if (id != 0 && id != LogbookApplicationId)
    throw StoreError(Kind::Corrupt, c.Path(), "an SQLite database of another program, not a logbook");
  const bool hasVersion =
      c.Integer(
          QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name = 'schema_version'")) == 1;
  if (!hasVersion)
    throw StoreError(Kind::Corrupt, c.Path(),
                     id == 0 ? "an SQLite database, but not a logbook" : "a damaged logbook: no schema version");
  QSqlQuery q = c.Exec(QStringLiteral("SELECT version FROM schema_version"));
  if (!q.next()) throw StoreError(Kind::Corrupt, c.Path(), "a damaged logbook: no schema version");
  const std::int64_t version = q.value(0).toLongLong();
  q.finish();
  if (id == 0) {
    // No mark: only the exact tables an earlier program made are a logbook.
    if (version < 1 || version > LastUnmarkedVersion || SchemaOf(c) != SchemaAt(static_cast<int>(version)))
      throw StoreError(Kind::Corrupt, c.Path(), "an SQLite database, but not a logbook");
    return {false, false, static_cast<int>(version)};
  }
  if (version > SchemaVersion)
    throw StoreError(
        Kind::Newer, c.Path(),
        "schema version " + std::to_string(version) + ", this program knows up to " + std::to_string(SchemaVersion));
  return {false, true, static_cast<int>(version)};
}

// SQLite's own check of every page: a damaged file is found before it is trusted.
void CheckPages(Connection& c) {
  QSqlQuery q = c.Exec(QStringLiteral("PRAGMA quick_check(1)"));
  if (!q.next()) c.Fail(q.lastError());
  const QString verdict = q.value(0).toString();
  if (verdict != QStringLiteral("ok"))
    throw StoreError(Kind::Corrupt, c.Path(), "a damaged logbook: " + verdict.toStdString());
}

// ---- The store ----

struct Totals {
  std::int64_t trips = 0;
  std::int64_t distance = 0;
  std::int64_t first = LastStamp;
  std::int64_t last = 0;
  void Add(const TripRecord& r) {
    ++trips;
    distance += r.Distance;
    first = std::min(first, Stamp(r));
    last = std::max(last, Stamp(r));
  }
};

class SqliteStore final : public SqlStore<QueuingStore, Connection> {
 public:
  // `readOnly`: why the file cannot be written, empty when it can; then
  // nothing is ever written to it and each recording fails with that.
  SqliteStore(const std::string& path, std::chrono::milliseconds busyTimeout, bool queue, Mode mode,
              const Recognised& found, std::string readOnly, const std::string& server)
      : SqlStore(path, busyTimeout, mode),
        queue_(queue),
        server_(QString::fromStdString(server)),
        readOnly_(std::move(readOnly)),
        version_(found.marked ? found.version : 0) {
    if (mode == Mode::ReadWrite) {
      c_.Exec(QStringLiteral("PRAGMA foreign_keys = ON"));
      QSqlQuery journal = c_.Exec(QStringLiteral("PRAGMA journal_mode = WAL"));
      if (!journal.next() || journal.value(0).toString().compare(QStringLiteral("wal"), Qt::CaseInsensitive) != 0)
        throw StoreError(Kind::Other, path, "the logbook cannot keep a write-ahead log here");
      journal.finish();
      c_.Exec(QStringLiteral("PRAGMA synchronous = FULL"));
      if (!found.marked || found.version < SchemaVersion) Migrate();
      version_ = SchemaVersion;
    }
    insertTrip_ =
        c_.Prepared(QStringLiteral("INSERT INTO trips (%1, vehicle, first_import) VALUES (?, ?, ?, ?, ?, ?, ?) "
                                   "ON CONFLICT DO NOTHING")
                        .arg(TripColumns));
    if (Current()) {
      assignTrip_ =
          c_.Prepared(QStringLiteral("UPDATE trips SET vehicle = ? WHERE %1 AND vehicle = ?").arg(TripIdentity));
      linkTrip_ = c_.Prepared(
          QStringLiteral("INSERT INTO import_trips (import, %1) VALUES (?, ?, ?, ?, ?, ?) ON CONFLICT DO NOTHING")
              .arg(TripColumns));
    }
    remember_ = c_.Prepared(
        QStringLiteral("INSERT INTO device_records (device, slot, %1) VALUES (?, ?, ?, ?, ?, ?, ?)").arg(TripColumns));
    if (queue_)
      queueTrip_ = c_.Prepared(
          QStringLiteral("INSERT INTO outbox_trips (entry, slot, %1, fresh) VALUES (?, ?, ?, ?, ?, ?, ?, ?)")
              .arg(TripColumns));
  }

  Recorded Record(const Recording& recording) override { return Write(recording, false); }

  sqlite3* Handle() const { return c_.Handle(); }
  Recorded RecordSaved(const Recording& recording) override { return Write(recording, true); }

  trips::TripList DeviceMemory(const std::string& path) override {
    std::vector<trips::TripList> memories = DeviceMemories(path);
    return memories.empty() ? trips::TripList{} : std::move(memories.front());
  }

  std::vector<trips::TripList> DeviceMemories(const std::string& path) override {
    QSqlQuery q =
        c_.Prepared(QStringLiteral("SELECT device, %1 FROM device_records JOIN devices ON devices.id = device "
                                   "WHERE path = ? ORDER BY device DESC, slot")
                        .arg(TripColumns));
    q.bindValue(0, QString::fromStdString(path));
    c_.Run(q);
    return c_.Rows(q, [](QSqlQuery& rows) {
      std::vector<trips::TripList> out;
      std::optional<std::int64_t> device;
      while (rows.next()) {
        const std::int64_t id = rows.value(0).toLongLong();
        if (id != device) out.emplace_back();
        device = id;
        out.back().push_back(TripAt(rows, 1));
      }
      return out;
    });
  }

  trips::TripList Unsent(const TripQuery& query) override {
    QSqlQuery q = c_.Prepared(QStringLiteral("SELECT DISTINCT %1 FROM outbox_trips JOIN outbox ON outbox.id = entry "
                                             "WHERE fresh = 1 AND %2 AND server IN ('', ?) ORDER BY %1")
                                  .arg(TripColumns, TripsWhere(query, QStringLiteral("plate_key = ?"))));
    BindTripQuery(q, query, c_.Path());
    q.bindValue(query.plateKey ? 3 : 2, server_);
    c_.Run(q);
    return c_.Rows(q, TripRows);
  }

  std::vector<OutboxEntry> Waiting(std::size_t maxTrips) override {
    QSqlQuery q =
        c_.Prepared(QStringLiteral("SELECT id, recording, saved, origin, source, at, model, reg_id, owner FROM outbox "
                                   "WHERE set_aside IS NULL AND server IN ('', ?) ORDER BY id"));
    q.bindValue(0, server_);
    c_.Run(q);
    QSqlQuery tripsOf =
        c_.Prepared(QStringLiteral("SELECT %1 FROM outbox_trips WHERE entry = ? ORDER BY slot").arg(TripColumns));
    std::vector<OutboxEntry> out;
    std::size_t held = 0;
    while (q.next()) {
      OutboxEntry entry;
      entry.id = q.value(0).toLongLong();
      Recording& r = entry.queued.recording;
      entry.queued.id = q.value(1).toString().toStdString();
      entry.queued.saved = q.value(2).toInt() != 0;
      const int origin = q.value(3).toInt();
      r.origin = origin == 1 ? Origin::File : origin == 2 ? Origin::Saved : Origin::Device;
      r.source = q.value(4).toString().toStdString();
      r.at = q.value(5).toString().toStdString();
      r.vehicle = {q.value(6).toString().toStdString(), q.value(7).toString().toStdString(),
                   q.value(8).toString().toStdString()};
      tripsOf.bindValue(0, QVariant::fromValue<qint64>(entry.id));
      c_.Run(tripsOf);
      while (tripsOf.next()) r.trips.push_back(TripAt(tripsOf, 0));
      tripsOf.finish();
      if (!out.empty() && held + r.trips.size() > maxTrips) break;
      held += r.trips.size();
      out.push_back(std::move(entry));
    }
    return out;
  }

  void Sent(const std::vector<std::int64_t>& ids) override {
    Writable();
    Transaction transaction(c_);
    QSqlQuery drop = c_.Prepared(QStringLiteral("DELETE FROM outbox WHERE id = ?"));
    for (const std::int64_t id : ids) {
      drop.bindValue(0, QVariant::fromValue<qint64>(id));
      c_.Run(drop);
    }
    transaction.Commit();
  }

  void SetAside(std::int64_t id, const std::string& reason) override {
    QSqlQuery q = c_.Prepared(QStringLiteral("UPDATE outbox SET set_aside = ? WHERE id = ?"));
    q.bindValue(0, QString::fromStdString(reason.empty() ? std::string("refused") : reason));
    q.bindValue(1, QVariant::fromValue<qint64>(id));
    c_.Run(q);
  }

  std::vector<SetAsideRecording> SetAsideRecordings() override {
    QSqlQuery q = c_.Prepared(
        QStringLiteral("SELECT id, at, source, set_aside, (SELECT COUNT(*) FROM outbox_trips WHERE entry = outbox.id) "
                       "FROM outbox WHERE set_aside IS NOT NULL AND server IN ('', ?) ORDER BY id"));
    q.bindValue(0, server_);
    c_.Run(q);
    std::vector<SetAsideRecording> out;
    while (q.next())
      out.push_back({q.value(0).toLongLong(), q.value(1).toString().toStdString(), q.value(2).toString().toStdString(),
                     q.value(4).toLongLong(), q.value(3).toString().toStdString()});
    return out;
  }

  void Reconsider() override {
    QSqlQuery q = c_.Prepared(QStringLiteral("UPDATE outbox SET set_aside = NULL WHERE server IN ('', ?)"));
    q.bindValue(0, server_);
    c_.Run(q);
  }

  OutboxTotals WaitingTotals() override {
    for (ServerQueue& queue : Queues(true))
      if (queue.server == "*") return queue.waiting;
    return {};
  }

  std::vector<ServerQueue> WaitingByServer() override { return Queues(false); }
  std::string Server() const override { return server_.toStdString(); }

  std::vector<VehicleSummary> WaitingVehicles() override {
    QSqlQuery q = c_.Prepared(
        QStringLiteral(
            "SELECT w.plate_key, v.model, v.reg_id, v.owner, COUNT(*), MIN(w.stamp), MAX(w.stamp), SUM(w.distance) "
            "FROM (SELECT DISTINCT plate_key, %1 FROM outbox_trips JOIN outbox ON outbox.id = entry "
            "WHERE fresh = 1 AND server IN ('', ?)) w "
            "LEFT JOIN vehicles v ON v.plate_key = w.plate_key GROUP BY w.plate_key ORDER BY w.plate_key")
            .arg(TripColumns));
    q.bindValue(0, server_);
    c_.Run(q);
    std::vector<VehicleSummary> out = c_.Rows(q, VehicleRows);
    for (VehicleSummary& v : out) v.pending = v.trips;
    return out;
  }

 private:
  // Whether the file has the tables this program writes: one of an earlier
  // version opened only to read has not.
  bool Current() const { return version_ == SchemaVersion; }

  void Writable() const {
    if (!readOnly_.empty()) throw StoreError(Kind::ReadOnly, c_.Path(), "opened read-only: " + readOnly_);
  }

  // Marks a logbook an earlier program wrote, and brings it to this version.
  void Migrate() {
    Transaction transaction(c_);
    c_.Exec(QStringLiteral("PRAGMA application_id = %1").arg(LogbookApplicationId));
    // Another program may have done it meanwhile.
    RunSteps(c_, Migrations(), static_cast<int>(c_.Integer(QStringLiteral("SELECT version FROM schema_version"))));
    transaction.Commit();
  }

  // What waits, per server key; with `own`, this store's server and those
  // queued before entries named one, together under the key "*".
  std::vector<ServerQueue> Queues(bool own) {
    const QString key = own ? QStringLiteral("CASE WHEN server IN ('', ?) THEN '*' END") : QStringLiteral("server");
    QSqlQuery q = c_.Prepared(
        QStringLiteral("SELECT k, COUNT(*) FILTER (WHERE set_aside IS NULL), MIN(at) FILTER (WHERE set_aside IS NULL), "
                       "COUNT(*) FILTER (WHERE set_aside IS NOT NULL), "
                       "(SELECT COUNT(*) FROM (SELECT DISTINCT %2 FROM outbox_trips JOIN outbox o ON o.id = entry "
                       "WHERE fresh = 1 AND o.set_aside IS NULL AND %3 = k)) "
                       "FROM (SELECT %1 AS k, set_aside, at FROM outbox) WHERE k IS NOT NULL GROUP BY k ORDER BY k")
            .arg(key, TripColumns,
                 own ? QStringLiteral("CASE WHEN o.server IN ('', ?) THEN '*' END") : QStringLiteral("o.server")));
    if (own) {
      q.bindValue(0, server_);
      q.bindValue(1, server_);
    }
    c_.Run(q);
    std::vector<ServerQueue> out;
    while (q.next()) {
      ServerQueue& queue = out.emplace_back();
      queue.server = q.value(0).toString().toStdString();
      queue.waiting.recordings = q.value(1).toLongLong();
      queue.waiting.since = q.value(2).toString().toStdString();
      queue.waiting.setAside = q.value(3).toLongLong();
      queue.waiting.trips = q.value(4).toLongLong();
    }
    return out;
  }

  // The vehicle of `texts`, made with them when new; a known one keeps its own.
  std::int64_t VehicleId(const trips::VehicleInfo& texts) {
    const QString key = QString::fromStdString(PlateKey(texts.RegId));
    QSqlQuery upsert =
        c_.Prepared(QStringLiteral("INSERT INTO vehicles (plate_key, model, reg_id, owner, trips, distance) "
                                   "VALUES (?, ?, ?, ?, 0, 0) ON CONFLICT (plate_key) DO NOTHING"));
    upsert.bindValue(0, key);
    upsert.bindValue(1, QString::fromStdString(texts.Model));
    upsert.bindValue(2, QString::fromStdString(texts.RegId));
    upsert.bindValue(3, QString::fromStdString(texts.Owner));
    c_.Run(upsert);
    const std::optional<std::int64_t> id = Find(PlateKey(texts.RegId));
    if (!id) throw StoreError(Kind::Other, c_.Path(), "a vehicle just made is not there");
    return *id;
  }

  std::optional<std::int64_t> Find(const std::string& plateKey) {
    QSqlQuery q = c_.Prepared(QStringLiteral("SELECT id FROM vehicles WHERE plate_key = ?"));
    q.bindValue(0, QString::fromStdString(plateKey));
    return c_.Value(q);
  }

  // A vehicle the caller named, by its plate as typed; refused when unknown.
  std::int64_t Known(const std::string& plate) {
    if (const std::optional<std::int64_t> id = Find(PlateKey(plate))) return *id;
    throw RecordingRefused(Kind::Other, c_.Path(), "no vehicle " + Quoted(plate) + " in the logbook");
  }

  static std::string Quoted(const std::string& plate) {
    return PlateKey(plate).empty() ? std::string(UnassignedName) : "\"" + plate + "\"";
  }

  struct Named {
    std::string plateKey;
    std::string name;  // as the front ends name it (DisplayName)
  };
  Named NameOf(std::int64_t vehicle) {
    QSqlQuery q = c_.Prepared(QStringLiteral("SELECT plate_key, model, reg_id, owner FROM vehicles WHERE id = ?"));
    q.bindValue(0, QVariant::fromValue<qint64>(vehicle));
    c_.Run(q);
    if (!q.next()) c_.Fail(q.lastError());
    return {q.value(0).toString().toStdString(),
            DisplayName({q.value(1).toString().toStdString(), q.value(2).toString().toStdString(),
                         q.value(3).toString().toStdString()})};
  }

  // The kept totals of these vehicles, counted again from their trips. The
  // unassigned row goes when it holds none: it is no vehicle.
  void Recount(const std::vector<std::int64_t>& vehicles) {
    QSqlQuery q = c_.Prepared(
        QStringLiteral("UPDATE vehicles SET trips = (SELECT COUNT(*) FROM trips WHERE vehicle = vehicles.id), "
                       "distance = (SELECT COALESCE(SUM(distance), 0) FROM trips WHERE vehicle = vehicles.id), "
                       "first_stamp = (SELECT MIN(stamp) FROM trips WHERE vehicle = vehicles.id), "
                       "last_stamp = (SELECT MAX(stamp) FROM trips WHERE vehicle = vehicles.id) WHERE id = ?"));
    for (const std::int64_t id : vehicles) {
      q.bindValue(0, QVariant::fromValue<qint64>(id));
      c_.Run(q);
    }
    c_.Exec(QStringLiteral("DELETE FROM vehicles WHERE plate_key = '' AND trips = 0"));
  }

  void AddChange(HistoryRow::Kind kind, const Named& vehicle, const std::string& from, std::int64_t trips) {
    QSqlQuery q = c_.Prepared(
        QStringLiteral("INSERT INTO changes (kind, at, computer, plate_key, vehicle, from_name, trips, after) "
                       "VALUES (?, ?, ?, ?, ?, ?, ?, (SELECT COALESCE(MAX(id), 0) FROM imports))"));
    q.bindValue(0, static_cast<int>(kind));
    q.bindValue(1, QString::fromStdString(RecordingTimeNow()));
    q.bindValue(2, QString::fromStdString(ThisComputer()));
    q.bindValue(3, QString::fromStdString(vehicle.plateKey));
    q.bindValue(4, QString::fromStdString(vehicle.name));
    q.bindValue(5, QString::fromStdString(from));
    q.bindValue(6, QVariant::fromValue<qint64>(trips));
    c_.Run(q);
  }

  // Where a vehicle's plate key changes, its recordings and changes follow it.
  void Rekey(const std::string& from, const std::string& to) {
    for (const char* table : {"imports", "changes"}) {
      QSqlQuery q =
          c_.Prepared(QStringLiteral("UPDATE %1 SET plate_key = ? WHERE plate_key = ?").arg(QLatin1String(table)));
      q.bindValue(0, QString::fromStdString(to));
      q.bindValue(1, QString::fromStdString(from));
      c_.Run(q);
    }
  }

  // The trips `which` takes, in the temporary table `picked`; refused when none.
  std::int64_t Pick(const TripSelection& which) {
    QSqlQuery q;
    if (which.import) {
      Import(*which.import);
      q = c_.Prepared(QStringLiteral("SELECT %1 FROM import_trips WHERE import = ? ORDER BY %1").arg(TripColumns));
      q.bindValue(0, QVariant::fromValue<qint64>(*which.import));
    } else {
      if (which.query.plateKey) Known(*which.query.plateKey);
      q = c_.Prepared(
          QStringLiteral("SELECT %1 FROM trips WHERE %2 ORDER BY %1").arg(TripColumns, TripsWhere(which.query)));
      BindTripQuery(q, which.query, c_.Path());
    }
    c_.Run(q);
    trips::TripList found = c_.Rows(q, TripRows);
    if (!which.keys.empty()) {
      const std::set<std::string> keys(which.keys.begin(), which.keys.end());
      std::erase_if(found, [&keys](const TripRecord& r) { return !keys.contains(TripKey(r)); });
    }
    if (found.empty()) throw RecordingRefused(Kind::Other, c_.Path(), "nothing selected: no trip of the logbook");
    c_.Exec(
        QStringLiteral("CREATE TEMP TABLE IF NOT EXISTS picked ("
                       " stamp BIGINT NOT NULL, trip_time BIGINT NOT NULL, moving_time BIGINT NOT NULL,"
                       " distance BIGINT NOT NULL, fuel BIGINT NOT NULL,"
                       " PRIMARY KEY (stamp, trip_time, moving_time, distance, fuel)) WITHOUT ROWID"));
    c_.Exec(QStringLiteral("DELETE FROM picked"));
    QSqlQuery add = c_.Prepared(QStringLiteral("INSERT INTO picked VALUES (?, ?, ?, ?, ?) ON CONFLICT DO NOTHING"));
    for (const TripRecord& r : found) {
      BindTrip(add, 0, r);
      c_.Run(add);
    }
    return static_cast<std::int64_t>(found.size());
  }

  // The vehicles of the picked trips, by name, but for `except`.
  std::vector<std::pair<std::int64_t, Named>> PickedVehicles(std::int64_t except = 0) {
    QSqlQuery q = c_.Prepared(QStringLiteral("SELECT DISTINCT vehicle FROM trips WHERE (%1) IN (SELECT %1 FROM picked) "
                                             "AND vehicle <> ?")
                                  .arg(TripColumns));
    q.bindValue(0, QVariant::fromValue<qint64>(except));
    c_.Run(q);
    std::vector<std::int64_t> ids;
    while (q.next()) ids.push_back(q.value(0).toLongLong());
    if (q.lastError().isValid()) c_.Fail(q.lastError());
    std::vector<std::pair<std::int64_t, Named>> out;
    for (const std::int64_t id : ids) out.emplace_back(id, NameOf(id));
    std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.second.name < b.second.name; });
    return out;
  }

  static std::string Names(const std::vector<std::pair<std::int64_t, Named>>& vehicles) {
    std::string out;
    for (const auto& [id, named] : vehicles) out += (out.empty() ? "" : ", ") + named.name;
    return out;
  }

  struct ImportState {
    std::string source;
    Named vehicle;
  };
  // A reading or import as History shows it; refused when there is none
  // such, or it was taken back.
  ImportState Import(std::int64_t id) {
    QSqlQuery q = c_.Prepared(
        QStringLiteral(
            "SELECT undone, source, plate_key, vehicle FROM imports WHERE id = ? AND (origin <> %1 OR added > 0)")
            .arg(static_cast<int>(Origin::Saved)));
    q.bindValue(0, QVariant::fromValue<qint64>(id));
    c_.Run(q);
    if (!q.next()) {
      if (q.lastError().isValid()) c_.Fail(q.lastError());
      throw RecordingRefused(Kind::Other, c_.Path(), "no reading or import " + std::to_string(id) + " in the logbook");
    }
    if (q.value(0).toInt() != 0)
      throw RecordingRefused(Kind::Other, c_.Path(),
                             "reading or import " + std::to_string(id) + " has been undone already");
    return {q.value(1).toString().toStdString(),
            {q.value(2).toString().toStdString(), q.value(3).toString().toStdString()}};
  }

 public:
  std::optional<std::string> VehicleOf(const TripRecord& trip) override {
    QSqlQuery q = c_.Prepared(
        QStringLiteral("SELECT (SELECT plate_key FROM vehicles WHERE id = trips.vehicle) FROM trips WHERE %1")
            .arg(TripIdentity));
    BindTrip(q, 0, trip);
    c_.Run(q);
    if (!q.next()) {
      if (q.lastError().isValid()) c_.Fail(q.lastError());
      return std::nullopt;
    }
    return q.value(0).toString().toStdString();
  }

  std::vector<LoggedTrip> LoggedTrips(const TripQuery& query) override {
    QSqlQuery q =
        c_.Prepared(QStringLiteral("SELECT %1, (SELECT plate_key FROM vehicles WHERE id = trips.vehicle), "
                                   "%3 FROM trips WHERE %2 ORDER BY %1")
                        .arg(TripColumns, TripsWhere(query),
                             Current() ? QStringLiteral("purpose, driver, note") : QStringLiteral("'', '', ''")));
    BindTripQuery(q, query, c_.Path());
    c_.Run(q);
    return c_.Rows(q, [](QSqlQuery& rows) {
      std::vector<LoggedTrip> out;
      while (rows.next())
        out.push_back({TripAt(rows, 0),
                       rows.value(5).toString().toStdString(),
                       {rows.value(6).toString().toStdString(), rows.value(7).toString().toStdString(),
                        rows.value(8).toString().toStdString()}});
      return out;
    });
  }

  std::int64_t Move(const TripSelection& which, const trips::VehicleInfo& to) override {
    Writable();
    Transaction transaction(c_);
    Pick(which);
    const std::int64_t target = VehicleId(to);
    const auto sources = PickedVehicles(target);
    QSqlQuery move = c_.Prepared(
        QStringLiteral("UPDATE trips SET vehicle = ? WHERE (%1) IN (SELECT %1 FROM picked) AND vehicle <> ?")
            .arg(TripColumns));
    move.bindValue(0, QVariant::fromValue<qint64>(target));
    move.bindValue(1, QVariant::fromValue<qint64>(target));
    c_.Run(move);
    const std::int64_t moved = move.numRowsAffected();
    if (moved == 0) return 0;  // all there already: nothing to record
    std::vector<std::int64_t> touched{target};
    for (const auto& [id, named] : sources) touched.push_back(id);
    const Named named = NameOf(target);
    Recount(touched);
    AddChange(HistoryRow::Kind::Move, named, Names(sources), moved);
    transaction.Commit();
    return moved;
  }

  void EditVehicle(const std::string& plateKey, const trips::VehicleInfo& texts) override {
    Writable();
    Transaction transaction(c_);
    const std::int64_t id = Known(plateKey);
    const std::string key = PlateKey(plateKey), newKey = PlateKey(texts.RegId);
    if (key.empty())
      throw RecordingRefused(Kind::Other, c_.Path(),
                             "the unassigned trips are no vehicle to edit: move them to a vehicle");
    if (newKey.empty())
      throw RecordingRefused(Kind::Other, c_.Path(),
                             "a vehicle needs a plate: to unassign its trips, move them instead");
    if (newKey != key && Find(newKey))
      throw RecordingRefused(Kind::Other, c_.Path(),
                             Quoted(texts.RegId) + " is another vehicle's plate: merge the two vehicles instead");
    const Named old = NameOf(id);
    QSqlQuery q =
        c_.Prepared(QStringLiteral("UPDATE vehicles SET plate_key = ?, model = ?, reg_id = ?, owner = ? WHERE id = ?"));
    q.bindValue(0, QString::fromStdString(newKey));
    q.bindValue(1, QString::fromStdString(texts.Model));
    q.bindValue(2, QString::fromStdString(texts.RegId));
    q.bindValue(3, QString::fromStdString(texts.Owner));
    q.bindValue(4, QVariant::fromValue<qint64>(id));
    c_.Run(q);
    if (newKey != key) Rekey(key, newKey);
    QSqlQuery count = c_.Prepared(QStringLiteral("SELECT trips FROM vehicles WHERE id = ?"));
    count.bindValue(0, QVariant::fromValue<qint64>(id));
    AddChange(HistoryRow::Kind::Edit, NameOf(id), old.name, c_.Value(count).value_or(0));
    transaction.Commit();
  }

  std::int64_t Merge(const std::string& from, const std::string& into) override {
    Writable();
    Transaction transaction(c_);
    const std::int64_t source = Known(from), target = Known(into);
    if (source == target) throw RecordingRefused(Kind::Other, c_.Path(), "a vehicle cannot be merged into itself");
    if (PlateKey(into).empty())
      throw RecordingRefused(Kind::Other, c_.Path(),
                             "the unassigned trips are no vehicle to merge into: move the trips instead");
    const Named gone = NameOf(source), kept = NameOf(target);
    // What the kept vehicle never said, the other may have.
    QSqlQuery fill = c_.Prepared(QStringLiteral(
        "UPDATE vehicles SET model = CASE WHEN model = '' THEN (SELECT model FROM vehicles WHERE id = ?) ELSE model "
        "END, "
        "owner = CASE WHEN owner = '' THEN (SELECT owner FROM vehicles WHERE id = ?) ELSE owner END WHERE id = ?"));
    fill.bindValue(0, QVariant::fromValue<qint64>(source));
    fill.bindValue(1, QVariant::fromValue<qint64>(source));
    fill.bindValue(2, QVariant::fromValue<qint64>(target));
    c_.Run(fill);
    QSqlQuery move = c_.Prepared(QStringLiteral("UPDATE trips SET vehicle = ? WHERE vehicle = ?"));
    move.bindValue(0, QVariant::fromValue<qint64>(target));
    move.bindValue(1, QVariant::fromValue<qint64>(source));
    c_.Run(move);
    const std::int64_t moved = move.numRowsAffected();
    QSqlQuery drop = c_.Prepared(QStringLiteral("DELETE FROM vehicles WHERE id = ?"));
    drop.bindValue(0, QVariant::fromValue<qint64>(source));
    c_.Run(drop);
    Rekey(gone.plateKey, kept.plateKey);
    Recount({target});
    AddChange(HistoryRow::Kind::Merge, kept, gone.name, moved);
    transaction.Commit();
    return moved;
  }

  void DeleteVehicle(const std::string& plateKey) override {
    Writable();
    Transaction transaction(c_);
    const std::int64_t id = Known(plateKey);
    QSqlQuery count = c_.Prepared(QStringLiteral("SELECT COUNT(*) FROM trips WHERE vehicle = ?"));
    count.bindValue(0, QVariant::fromValue<qint64>(id));
    const std::int64_t held = c_.Value(count).value_or(0);
    const Named named = NameOf(id);
    if (held > 0)
      throw RecordingRefused(Kind::Other, c_.Path(),
                             Quoted(plateKey) + " still has " + std::to_string(held) +
                                 (held == 1 ? " trip" : " trips") + ": move them or merge the vehicle instead");
    QSqlQuery drop = c_.Prepared(QStringLiteral("DELETE FROM vehicles WHERE id = ?"));
    drop.bindValue(0, QVariant::fromValue<qint64>(id));
    c_.Run(drop);
    AddChange(HistoryRow::Kind::Delete, named, std::string(), 0);
    transaction.Commit();
  }

  std::int64_t Undo(std::int64_t importId) override {
    Writable();
    Transaction transaction(c_);
    const ImportState undone = Import(importId);
    const QVariant id = QVariant::fromValue<qint64>(importId);
    QSqlQuery vehicles = c_.Prepared(
        QStringLiteral(
            "SELECT DISTINCT vehicle FROM trips WHERE (%1) IN (SELECT %1 FROM import_trips WHERE import = ?)")
            .arg(TripColumns));
    vehicles.bindValue(0, id);
    c_.Run(vehicles);
    std::vector<std::int64_t> touched;
    while (vehicles.next()) touched.push_back(vehicles.value(0).toLongLong());
    if (vehicles.lastError().isValid()) c_.Fail(vehicles.lastError());
    QSqlQuery drop =
        c_.Prepared(QStringLiteral("DELETE FROM trips WHERE (%1) IN (SELECT %1 FROM import_trips WHERE import = ? "
                                   "EXCEPT SELECT %1 FROM import_trips WHERE import <> ?)")
                        .arg(TripColumns));
    drop.bindValue(0, id);
    drop.bindValue(1, id);
    c_.Run(drop);
    const std::int64_t removed = drop.numRowsAffected();
    QSqlQuery unlink = c_.Prepared(QStringLiteral("DELETE FROM import_trips WHERE import = ?"));
    unlink.bindValue(0, id);
    c_.Run(unlink);
    QSqlQuery mark = c_.Prepared(QStringLiteral("UPDATE imports SET undone = 1 WHERE id = ?"));
    mark.bindValue(0, id);
    c_.Run(mark);
    Recount(touched);
    AddChange(HistoryRow::Kind::Undo, undone.vehicle, undone.source, removed);
    transaction.Commit();
    return removed;
  }

  std::int64_t Tag(const TripSelection& which, const TagChange& tags) override {
    Writable();
    if (!tags.purpose && !tags.driver && !tags.note)
      throw RecordingRefused(Kind::Other, c_.Path(), "nothing to tag with: no purpose, driver or note given");
    Transaction transaction(c_);
    const std::int64_t picked = Pick(which);
    QStringList sets;
    std::vector<QString> values;
    const std::pair<const char*, const std::optional<std::string>*> columns[] = {
        {"purpose", &tags.purpose}, {"driver", &tags.driver}, {"note", &tags.note}};
    for (const auto& [column, value] : columns) {
      if (!*value) continue;
      sets << QStringLiteral("%1 = ?").arg(QLatin1String(column));
      values.push_back(QString::fromStdString(**value));
    }
    QSqlQuery q = c_.Prepared(QStringLiteral("UPDATE trips SET %1 WHERE (%2) IN (SELECT %2 FROM picked)")
                                  .arg(sets.join(QStringLiteral(", ")), TripColumns));
    for (std::size_t i = 0; i < values.size(); ++i) q.bindValue(static_cast<int>(i), values[i]);
    c_.Run(q);
    const auto vehicles = PickedVehicles();
    Named named = vehicles.size() == 1 ? vehicles.front().second : Named{std::string(), Names(vehicles)};
    AddChange(HistoryRow::Kind::Tag, named, std::string(), picked);
    transaction.Commit();
    return picked;
  }

  std::vector<HistoryRow> History() override {
    if (!Current()) return Store::History();
    QSqlQuery q = c_.Exec(
        QStringLiteral(
            "SELECT 0, id, origin, at, computer, plate_key, vehicle, '', source, read_count, added, undone, id, 0 "
            "FROM imports WHERE origin <> %1 OR added > 0 "
            "UNION ALL SELECT 1, id, kind, at, computer, plate_key, vehicle, from_name, '', 0, trips, 0, after, id "
            "FROM changes ORDER BY 13 DESC, 1 DESC, 14 DESC")
            .arg(static_cast<int>(Origin::Saved)));
    return c_.Rows(q, [](QSqlQuery& rows) {
      std::vector<HistoryRow> out;
      while (rows.next()) {
        HistoryRow& h = out.emplace_back();
        const int kind = rows.value(2).toInt();
        if (rows.value(0).toInt() == 0)
          h.kind = kind == static_cast<int>(Origin::File)    ? HistoryRow::Kind::Import
                   : kind == static_cast<int>(Origin::Saved) ? HistoryRow::Kind::Saved
                                                             : HistoryRow::Kind::Reading;
        else
          h.kind = static_cast<HistoryRow::Kind>(kind);
        h.id = rows.value(1).toLongLong();
        h.at = rows.value(3).toString().toStdString();
        h.computer = rows.value(4).toString().toStdString();
        h.plateKey = rows.value(5).toString().toStdString();
        h.vehicle = rows.value(6).toString().toStdString();
        h.from = rows.value(7).toString().toStdString();
        h.source = rows.value(8).toString().toStdString();
        h.read = rows.value(9).toLongLong();
        h.trips = rows.value(10).toLongLong();
        h.undone = rows.value(11).toInt() != 0;
      }
      return out;
    });
  }

 private:
  Recorded Write(const Recording& recording, bool saved) {
    Writable();
    Transaction transaction(c_);
    const std::int64_t vehicle = VehicleId(recording.vehicle);
    const Named named = NameOf(vehicle);
    QSqlQuery import = c_.Prepared(
        QStringLiteral("INSERT INTO imports (origin, at, source, read_count, added, computer, plate_key, vehicle) "
                       "VALUES (?, ?, ?, ?, 0, ?, ?, ?)"));
    import.bindValue(0, static_cast<int>(recording.origin));
    import.bindValue(1, QString::fromStdString(recording.at));
    import.bindValue(2, QString::fromStdString(recording.source));
    import.bindValue(3, static_cast<int>(recording.trips.size()));
    import.bindValue(4, QString::fromStdString(ThisComputer()));
    import.bindValue(5, QString::fromStdString(named.plateKey));
    import.bindValue(6, QString::fromStdString(named.name));
    c_.Run(import);
    const std::int64_t importId = import.lastInsertId().toLongLong();

    // Held unassigned trips go to the vehicle a reading or import names.
    std::optional<std::int64_t> unassigned;
    if (!saved && !named.plateKey.empty()) unassigned = Find(std::string());

    Recorded result;
    result.read = static_cast<int>(recording.trips.size());
    result.wasNew.reserve(recording.trips.size());
    Totals gained;
    bool assigned = false;
    for (const TripRecord& trip : recording.trips) {
      BindTrip(insertTrip_, 0, trip);
      insertTrip_.bindValue(5, QVariant::fromValue<qint64>(vehicle));
      insertTrip_.bindValue(6, QVariant::fromValue<qint64>(importId));
      c_.Run(insertTrip_);
      const bool added = insertTrip_.numRowsAffected() == 1;
      result.wasNew.push_back(added);
      if (added) {
        ++result.added;
        gained.Add(trip);
      } else if (unassigned) {
        assignTrip_.bindValue(0, QVariant::fromValue<qint64>(vehicle));
        BindTrip(assignTrip_, 1, trip);
        assignTrip_.bindValue(6, QVariant::fromValue<qint64>(*unassigned));
        c_.Run(assignTrip_);
        assigned = assigned || assignTrip_.numRowsAffected() > 0;
      }
      // A saving holds only what it added: the table it wrote may hold any trips.
      if (!saved || added) {
        linkTrip_.bindValue(0, QVariant::fromValue<qint64>(importId));
        BindTrip(linkTrip_, 1, trip);
        c_.Run(linkTrip_);
      }
    }

    if (assigned) {
      Recount({vehicle, *unassigned});
    } else if (gained.trips > 0) {
      QSqlQuery grow = c_.Prepared(QStringLiteral(
          "UPDATE vehicles SET trips = trips + ?, distance = distance + ?, "
          "first_stamp = CASE WHEN first_stamp IS NULL OR first_stamp > ? THEN ? ELSE first_stamp END, "
          "last_stamp = CASE WHEN last_stamp IS NULL OR last_stamp < ? THEN ? ELSE last_stamp END WHERE id = ?"));
      const QVariant values[] = {
          QVariant::fromValue<qint64>(gained.trips), QVariant::fromValue<qint64>(gained.distance),
          QVariant::fromValue<qint64>(gained.first), QVariant::fromValue<qint64>(gained.first),
          QVariant::fromValue<qint64>(gained.last),  QVariant::fromValue<qint64>(gained.last),
          QVariant::fromValue<qint64>(vehicle)};
      for (int i = 0; i < 7; ++i) grow.bindValue(i, values[i]);
      c_.Run(grow);
    }

    if (recording.origin == Origin::Device)
      Remember(recording.source, recording.records.empty() ? recording.trips : recording.records);

    QSqlQuery count = c_.Prepared(QStringLiteral("UPDATE imports SET added = ? WHERE id = ?"));
    count.bindValue(0, result.added);
    count.bindValue(1, QVariant::fromValue<qint64>(importId));
    c_.Run(count);
    if (queue_) Queue(recording, saved, result.wasNew);
    transaction.Commit();
    return result;
  }

  // The device at `path` as read now, in place of what was remembered of it
  // (known by its record 0), and of the least recently read beyond the few a
  // path keeps. A device that holds nothing is no device to know again.
  void Remember(const std::string& path, const trips::TripList& records) {
    if (records.empty()) return;
    const QString where = QString::fromStdString(path);
    QSqlQuery forget =
        c_.Prepared(QStringLiteral("DELETE FROM devices WHERE path = ? AND EXISTS (SELECT 1 FROM device_records "
                                   "WHERE device = devices.id AND slot = 0 AND %1)")
                        .arg(TripIdentity));
    forget.bindValue(0, where);
    BindTrip(forget, 1, records.front());
    c_.Run(forget);
    QSqlQuery device = c_.Prepared(QStringLiteral("INSERT INTO devices (path) VALUES (?)"));
    device.bindValue(0, where);
    c_.Run(device);
    const std::int64_t id = device.lastInsertId().toLongLong();
    for (std::size_t slot = 0; slot < records.size(); ++slot) {
      remember_.bindValue(0, QVariant::fromValue<qint64>(id));
      remember_.bindValue(1, static_cast<int>(slot));
      BindTrip(remember_, 2, records[slot]);
      c_.Run(remember_);
    }
    QSqlQuery oldest = c_.Prepared(QStringLiteral("DELETE FROM devices WHERE path = ? AND id NOT IN "
                                                  "(SELECT id FROM devices WHERE path = ? ORDER BY id DESC LIMIT %1)")
                                       .arg(DevicesPerPath));
    oldest.bindValue(0, where);
    oldest.bindValue(1, where);
    c_.Run(oldest);
  }

  void Queue(const Recording& recording, bool saved, const std::vector<bool>& fresh) {
    QSqlQuery entry = c_.Prepared(
        QStringLiteral("INSERT INTO outbox (recording, saved, origin, source, at, plate_key, model, reg_id, owner, "
                       "server) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    entry.bindValue(0, QUuid::createUuid().toString(QUuid::WithoutBraces));
    entry.bindValue(1, saved ? 1 : 0);
    entry.bindValue(2, static_cast<int>(recording.origin));
    entry.bindValue(3, QString::fromStdString(recording.source));
    entry.bindValue(4, QString::fromStdString(recording.at));
    entry.bindValue(5, QString::fromStdString(PlateKey(recording.vehicle.RegId)));
    entry.bindValue(6, QString::fromStdString(recording.vehicle.Model));
    entry.bindValue(7, QString::fromStdString(recording.vehicle.RegId));
    entry.bindValue(8, QString::fromStdString(recording.vehicle.Owner));
    entry.bindValue(9, server_);
    c_.Run(entry);
    const std::int64_t id = entry.lastInsertId().toLongLong();
    for (std::size_t slot = 0; slot < recording.trips.size(); ++slot) {
      queueTrip_.bindValue(0, QVariant::fromValue<qint64>(id));
      queueTrip_.bindValue(1, static_cast<int>(slot));
      BindTrip(queueTrip_, 2, recording.trips[slot]);
      queueTrip_.bindValue(7, fresh[slot] ? 1 : 0);
      c_.Run(queueTrip_);
    }
  }

  bool queue_;
  QString server_;        // the key of the server the queue is sent to now
  std::string readOnly_;  // why the file cannot be written; empty when it can
  int version_;           // of the schema: an older file opened only to read keeps its own
  QSqlQuery insertTrip_;
  QSqlQuery assignTrip_;
  QSqlQuery linkTrip_;
  QSqlQuery remember_;
  QSqlQuery queueTrip_;
};

// ---- Opening ----

std::string Errno(int error = errno) { return std::strerror(error); }

fs::path FolderOf(const fs::path& path) { return path.has_parent_path() ? path.parent_path() : fs::path("."); }

// A file that is there must look like SQLite's before SQLite may open it:
// false for an empty one (it becomes a logbook).
bool HasSqliteHeader(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw StoreError(Kind::CannotOpen, path, Errno());
  char header[100];
  file.read(header, sizeof header);
  const std::streamsize got = file.gcount();
  if (got == 0) return false;
  static constexpr char Magic[] = "SQLite format 3";  // with its NUL: 16 bytes
  if (got < static_cast<std::streamsize>(sizeof header) || std::memcmp(header, Magic, sizeof Magic) != 0)
    throw StoreError(Kind::Corrupt, path, "not a logbook: no SQLite database header");
  return true;
}

bool NonEmptyFile(const fs::path& path) {
  std::error_code error;
  return fs::is_regular_file(path, error) && fs::file_size(path, error) > 0;
}

// Why `path` in `folder` cannot be written (the file, its folder for SQLite's
// side files, or the whole mount); empty when it can.
std::string WhyNotWritable(const std::string& path, const fs::path& folder) {
  if (::access(path.c_str(), W_OK) != 0) return "the file cannot be written (" + Errno() + ")";
  if (::access(folder.c_str(), W_OK) != 0) return "its folder cannot be written (" + Errno() + ")";
  return {};
}

void SyncPath(const std::string& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) throw StoreError(Kind::CannotOpen, path, Errno());
  const int synced = ::fsync(fd);
  const int error = errno;
  ::close(fd);
  if (synced != 0) throw StoreError(error == ENOSPC ? Kind::Full : Kind::Other, path, Errno(error));
}

void RemoveWithSideFiles(const std::string& path);

// What a program killed while making a file beside `target` left: another
// program making one now is done within seconds, so only old ones go.
void SweepLeftovers(const fs::path& target) {
  const std::string prefix = "." + target.filename().string() + ".new-";
  const auto old = fs::file_time_type::clock::now() - std::chrono::minutes(10);
  std::error_code error;
  for (fs::directory_iterator it(FolderOf(target), error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    std::error_code timeError;
    if (name.starts_with(prefix) && name.find('-', prefix.size()) == std::string::npos &&
        fs::last_write_time(it->path(), timeError) < old && !timeError)
      RemoveWithSideFiles(it->path().string());
  }
}

// A name beside `path` nobody else uses, made as an empty file.
std::string FreshFileBeside(const std::string& path) {
  const fs::path target(path);
  SweepLeftovers(target);
  for (int attempt = 0;; ++attempt) {
    std::string name = (target.parent_path() / ("." + target.filename().string() + ".new-" +
                                                QUuid::createUuid().toString(QUuid::Id128).left(12).toStdString()))
                           .string();
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::close(fd);
      return name;
    }
    if (errno != EEXIST || attempt > 10)
      throw StoreError(errno == EROFS || errno == EACCES ? Kind::ReadOnly : Kind::CannotOpen, path, Errno());
  }
}

void RemoveWithSideFiles(const std::string& path) {
  for (const char* suffix : {"", "-journal", "-wal", "-shm"}) ::unlink((path + suffix).c_str());
}

// Makes a new logbook at `path` whole or not at all: built and synced under
// another name in the same folder, then put in place. `replace`: over an
// empty file that is there; otherwise a logbook another program made
// meanwhile is kept and this one dropped.
void Create(const std::string& path, bool replace) {
  const std::string building = FreshFileBeside(path);
  try {
    {
      Connection c(building, DefaultBusyTimeout, Mode::ReadWrite);
      // Nobody else knows the file: an interruption leaves only it behind.
      c.Exec(QStringLiteral("PRAGMA journal_mode = OFF"));
      c.Exec(QStringLiteral("PRAGMA application_id = %1").arg(LogbookApplicationId));
      c.Exec(QStringLiteral("BEGIN"));
      RunSteps(c, Migrations(), 0);
      c.Exec(QStringLiteral("COMMIT"));
      QSqlQuery journal = c.Exec(QStringLiteral("PRAGMA journal_mode = WAL"));
      if (!journal.next() || journal.value(0).toString().compare(QStringLiteral("wal"), Qt::CaseInsensitive) != 0)
        throw StoreError(Kind::Other, path, "the logbook cannot keep a write-ahead log here");
    }
    SyncPath(building, O_RDONLY);
    if (replace) {
      if (::rename(building.c_str(), path.c_str()) != 0) throw StoreError(Kind::CannotOpen, path, Errno());
    } else if (::renameat2(AT_FDCWD, building.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) != 0) {
      // EEXIST: another program made it meanwhile, and theirs is kept. A file
      // system without RENAME_NOREPLACE: a hard link never replaces either.
      const bool noReplaceUnknown = errno == EINVAL || errno == ENOSYS;
      if (errno != EEXIST && (!noReplaceUnknown || (::link(building.c_str(), path.c_str()) != 0 && errno != EEXIST)))
        throw StoreError(Kind::CannotOpen, path, Errno());
    }
    RemoveWithSideFiles(building);
    const fs::path folder = fs::path(path).parent_path();
    SyncPath(folder.empty() ? std::string(".") : folder.string(), O_RDONLY | O_DIRECTORY);
  } catch (...) {
    RemoveWithSideFiles(building);
    throw;
  }
}

// A hot journal (a change cut off in the middle, rolled back by the next
// reader that may write): SQLite recovers it on the first read of a
// connection that may write.
void RecoverJournal(const std::string& path, const std::string& whyNotWritable, std::chrono::milliseconds busyTimeout) {
  if (!NonEmptyFile(path + "-journal")) return;
  if (!whyNotWritable.empty())
    throw StoreError(Kind::ReadOnly, path,
                     "a change was cut off in the middle (the file " + path + "-journal) and only a program that " +
                         "may write the file can undo it: " + whyNotWritable);
  Connection c(path, busyTimeout, Mode::ReadWrite);
  c.Integer(QStringLiteral("SELECT COUNT(*) FROM sqlite_master"));
}

// Looks at a file before anything may write to it: what it is (Recognise),
// and whether every page is sound (CheckPages). The side files SQLite made
// for the look are taken away again when the file is refused.
Recognised Examine(const std::string& path, std::chrono::milliseconds busyTimeout, Mode mode, bool pagesChecked) {
  const bool hadLog = fs::exists(path + "-wal"), hadShared = fs::exists(path + "-shm");
  try {
    Connection c(path, busyTimeout, mode);
    const Recognised found = Recognise(c);
    if (!found.blank && !pagesChecked) CheckPages(c);
    return found;
  } catch (const StoreError& e) {
    if (e.kind() == Kind::Corrupt || e.kind() == Kind::Newer) {
      std::error_code ignored;
      if (!hadLog && fs::file_size(path + "-wal", ignored) == 0) ::unlink((path + "-wal").c_str());
      if (!hadShared && !fs::exists(path + "-wal")) ::unlink((path + "-shm").c_str());
    }
    throw;
  }
}

// How a connection may look at an existing file before it is recognised.
Mode LookingMode(const std::string& location, const fs::path& folder) {
  // A log in a folder SQLite cannot write, or a read-only mount: nobody can
  // be changing the file, and SQLite could not make its shared memory there.
  return ::access(folder.c_str(), W_OK) == 0 || NonEmptyFile(location + "-shm") ? Mode::ReadOnly : Mode::Unchanging;
}

std::unique_ptr<SqliteStore> OpenOnce(const std::string& location, std::chrono::milliseconds busyTimeout, bool queue,
                                      Access access, bool pagesChecked, const std::string& server) {
  if (location.empty()) throw StoreError(Kind::CannotOpen, location, "no file name");
  const fs::path path(location);
  const fs::path folder = FolderOf(path);
  std::error_code error;
  fs::file_status status = fs::status(path, error);
  if (!fs::exists(status)) {
    if (access == Access::Read) {
      const bool folderThere = fs::is_directory(folder, error);
      throw StoreError(Kind::CannotOpen, location,
                       folderThere ? "no logbook here (no such file); a listing makes none"
                                   : "no such folder (" + folder.string() + "); a listing makes none");
    }
    fs::create_directories(folder, error);
    if (error) throw StoreError(Kind::CannotOpen, location, error.message());
    Create(location, false);
    status = fs::status(path, error);
  }
  if (!fs::is_regular_file(status)) throw StoreError(Kind::CannotOpen, location, "not a file");
  std::string whyNotWritable = WhyNotWritable(location, folder);
  if (!HasSqliteHeader(location)) {  // empty: made a logbook in its place
    if (!whyNotWritable.empty())
      throw StoreError(Kind::ReadOnly, location, "an empty file that cannot be made a logbook: " + whyNotWritable);
    Create(location, true);
  }
  RecoverJournal(location, whyNotWritable, busyTimeout);
  const Mode look = LookingMode(location, folder);
  Recognised found = Examine(location, busyTimeout, look, pagesChecked);
  if (found.blank) {  // an SQLite database with nothing in it: made a logbook in its place
    if (!whyNotWritable.empty())
      throw StoreError(Kind::ReadOnly, location, "an empty database that cannot be made a logbook: " + whyNotWritable);
    Create(location, true);
    found = Examine(location, busyTimeout, Mode::ReadOnly, false);
  }
  if (whyNotWritable.empty())
    return std::make_unique<SqliteStore>(location, busyTimeout, queue, Mode::ReadWrite, found, std::string(), server);
  if (access == Access::Write) throw StoreError(Kind::ReadOnly, location, whyNotWritable);
  return std::make_unique<SqliteStore>(location, busyTimeout, queue, look, found, whyNotWritable, server);
}

std::unique_ptr<SqliteStore> Open(const std::string& location, std::chrono::milliseconds busyTimeout, bool queue,
                                  Access access, bool pagesChecked = false, const std::string& server = {}) {
  // A new file being made, switched to its write-ahead log or migrated by
  // another program at this moment: SQLite may then say busy at once rather
  // than through the busy timeout, so the whole opening is tried again.
  const auto deadline = std::chrono::steady_clock::now() + busyTimeout;
  for (;;) {
    try {
      return OpenOnce(location, busyTimeout, queue, access, pagesChecked, server);
    } catch (const StoreError& e) {
      if (e.kind() != Kind::Locked || std::chrono::steady_clock::now() >= deadline) throw;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds{20});
  }
}

}  // namespace

namespace {

std::unique_ptr<SqliteStore> OpenToRead(const std::string& location, std::chrono::milliseconds busyTimeout,
                                        const std::string& server) {
  std::error_code error;
  const fs::file_status status = fs::status(location, error);
  if (!fs::exists(status)) throw StoreError(Kind::CannotOpen, location, "no such file");
  if (!fs::is_regular_file(status)) throw StoreError(Kind::CannotOpen, location, "not a file");
  if (!HasSqliteHeader(location)) throw StoreError(Kind::CannotOpen, location, "not a logbook yet: an empty file");
  // Read as it is: no log mode, no migration, no statement that writes.
  const Mode look = LookingMode(location, FolderOf(location));
  const Recognised found = Examine(location, busyTimeout, look, false);
  if (found.blank) throw StoreError(Kind::CannotOpen, location, "not a logbook yet: nothing recorded in it");
  return std::make_unique<SqliteStore>(location, busyTimeout, !server.empty(), look, found, "opened only to be read",
                                       server);
}

}  // namespace

std::unique_ptr<Store> OpenLogbookReadOnly(const std::string& location, std::chrono::milliseconds busyTimeout) {
  return OpenToRead(location, busyTimeout, std::string());
}

std::unique_ptr<QueuingStore> OpenQueueReadOnly(const std::string& location, const std::string& server,
                                                std::chrono::milliseconds busyTimeout) {
  return OpenToRead(location, busyTimeout, server);
}

std::unique_ptr<Store> OpenLogbook(const std::string& location, std::chrono::milliseconds busyTimeout) {
  return Open(location, busyTimeout, false, Access::Write);
}

std::unique_ptr<Store> OpenLogbook(const std::string& location, Access access, std::chrono::milliseconds busyTimeout,
                                   bool pagesChecked) {
  return Open(location, busyTimeout, false, access, pagesChecked);
}

bool CheckLogbookPages(const std::string& location) {
  std::error_code error;
  if (location.empty() || !fs::is_regular_file(location, error) || !HasSqliteHeader(location) ||
      NonEmptyFile(location + "-journal"))
    return false;
  Examine(location, DefaultBusyTimeout, LookingMode(location, FolderOf(location)), false);
  return true;
}

std::unique_ptr<QueuingStore> OpenQueuingLogbook(const std::string& location, std::chrono::milliseconds busyTimeout,
                                                 const std::string& server) {
  return Open(location, busyTimeout, true, Access::Write, false, server);
}

void BackUpLogbook(const std::string& location, const std::string& copy) {
  const std::unique_ptr<SqliteStore> store = Open(location, DefaultBusyTimeout, false, Access::Read);
  if (copy.empty()) throw StoreError(Kind::CannotOpen, copy, "no file name for the copy");
  std::error_code error;
  if (fs::equivalent(location, copy, error))
    throw StoreError(Kind::CannotOpen, copy, "the copy would be the logbook itself");
  const fs::path folder = fs::path(copy).has_parent_path() ? fs::path(copy).parent_path() : fs::path(".");
  if (!fs::is_directory(folder, error)) throw StoreError(Kind::CannotOpen, copy, "no such folder");
  const std::string building = FreshFileBeside(copy);
  try {
    {
      Connection target(building, DefaultBusyTimeout, Mode::ReadWrite);
      // One step for the whole: the copy is one snapshot, taken under a read
      // lock that writers in the log's mode do not wait for.
      sqlite3_backup* backup = sqlite3_backup_init(target.Handle(), "main", store->Handle(), "main");
      if (!backup) target.Fail(sqlite3_extended_errcode(target.Handle()), sqlite3_errmsg(target.Handle()));
      const int stepped = sqlite3_backup_step(backup, -1);
      const int finished = sqlite3_backup_finish(backup);
      if (stepped != SQLITE_DONE) target.Fail(stepped, sqlite3_errstr(stepped));
      if (finished != SQLITE_OK)
        target.Fail(sqlite3_extended_errcode(target.Handle()), sqlite3_errmsg(target.Handle()));
      // The copy is one file: whatever the copy's log holds goes into it.
      target.Exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    }
    SyncPath(building, O_RDONLY);
    if (::rename(building.c_str(), copy.c_str()) != 0) throw StoreError(Kind::CannotOpen, copy, Errno());
    RemoveWithSideFiles(building);
    SyncPath(folder.string(), O_RDONLY | O_DIRECTORY);
  } catch (const StoreError& e) {
    RemoveWithSideFiles(building);
    throw StoreError(e.kind(), copy, e.what());
  } catch (...) {
    RemoveWithSideFiles(building);
    throw;
  }
}

}  // namespace riventar::logbook
