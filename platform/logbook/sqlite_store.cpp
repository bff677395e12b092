#include "platform/logbook/sqlite_store.h"

#include <unistd.h>

#include <QSqlDatabase>
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
#include <thread>

#include "core/logbook/stamp.h"
#include "platform/logbook/sql_rows.h"

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

// Step i brings a logbook from version i to i + 1. A released step is never
// changed; the next change is a new step. Plain SQL types; the key clauses
// are SQLite's where PostgreSQL would say it otherwise.
const std::vector<std::vector<QString>>& Migrations() {
  static const std::vector<std::vector<QString>> steps = {
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
  };
  return steps;
}

// ---- Errors ----

Kind KindOf(const QSqlError& error) {
  switch (error.nativeErrorCode().toInt() & 0xff) {  // the primary code of an extended one
    case 5:                                          // SQLITE_BUSY
    case 6:                                          // SQLITE_LOCKED
      return Kind::Locked;
    case 8:  // SQLITE_READONLY
      return Kind::ReadOnly;
    case 13:  // SQLITE_FULL
      return Kind::Full;
    case 11:  // SQLITE_CORRUPT
    case 26:  // SQLITE_NOTADB
      return Kind::Corrupt;
    case 3:   // SQLITE_PERM
    case 14:  // SQLITE_CANTOPEN
    case 23:  // SQLITE_AUTH
      return Kind::CannotOpen;
    default:
      return Kind::Other;
  }
}

[[noreturn]] void Fail(const std::string& path, const QSqlError& error) {
  const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
  throw StoreError(KindOf(error), path, text.toStdString());
}

// ---- One connection ----

class Connection {
 public:
  Connection(const std::string& path, std::chrono::milliseconds busyTimeout, bool readOnly)
      : path_(path), name_(QStringLiteral("riventar-logbook-%1").arg(++counter_)) {
    db_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
    if (!db_.isValid())
      throw StoreError(Kind::Other, path, "Qt's SQLite driver is missing (the package libqt6sql6-sqlite)");
    db_.setDatabaseName(QString::fromStdString(path));
    QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeout.count());
    if (readOnly) options += QStringLiteral(";QSQLITE_OPEN_READONLY");
    db_.setConnectOptions(options);
    if (!db_.open()) {
      const QSqlError error = db_.lastError();
      Close();
      Fail(path, error);
    }
  }
  ~Connection() { Close(); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  const std::string& Path() const { return path_; }

  QSqlQuery Prepared(const QString& sql) {
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    if (!q.prepare(sql)) Fail(path_, q.lastError());
    return q;
  }
  void Run(QSqlQuery& q) {
    if (!q.exec()) Fail(path_, q.lastError());
  }
  // A statement with nothing bound, run once.
  QSqlQuery Exec(const QString& sql) {
    QSqlQuery q = Prepared(sql);
    Run(q);
    return q;
  }
  std::int64_t Integer(const QString& sql) {
    QSqlQuery q = Exec(sql);
    if (!q.next()) Fail(path_, q.lastError());
    return q.value(0).toLongLong();
  }

 private:
  void Close() {
    db_.close();
    db_ = QSqlDatabase();
    QSqlDatabase::removeDatabase(name_);
  }

  static inline std::atomic<int> counter_{0};
  std::string path_;
  QString name_;
  QSqlDatabase db_;
};

// The version of the logbook behind `c`: 0 for an empty database. Anything
// else that is no logbook is Corrupt, a later one Newer.
int ReadVersion(Connection& c) {
  if (c.Integer(QStringLiteral("SELECT COUNT(*) FROM sqlite_master")) == 0) return 0;
  if (c.Integer(
          QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name = 'schema_version'")) == 0)
    throw StoreError(Kind::Corrupt, c.Path(), "an SQLite database, but not a logbook");
  QSqlQuery q = c.Exec(QStringLiteral("SELECT version FROM schema_version"));
  if (!q.next()) throw StoreError(Kind::Corrupt, c.Path(), "the logbook has no schema version");
  const std::int64_t version = q.value(0).toLongLong();
  if (version > SchemaVersion)
    throw StoreError(
        Kind::Newer, c.Path(),
        "schema version " + std::to_string(version) + ", this program knows up to " + std::to_string(SchemaVersion));
  return static_cast<int>(version);
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

class Transaction {
 public:
  explicit Transaction(Connection& c) : c_(c) {
    // IMMEDIATE: the write lock first, so that two writers queue instead of
    // both reading and then deadlocking on the upgrade.
    c_.Exec(QStringLiteral("BEGIN IMMEDIATE"));
  }
  ~Transaction() {
    if (!committed_) {
      try {
        c_.Exec(QStringLiteral("ROLLBACK"));
      } catch (const StoreError&) {  // SQLite may have rolled back already
      }
    }
  }
  void Commit() {
    c_.Exec(QStringLiteral("COMMIT"));
    committed_ = true;
  }

 private:
  Connection& c_;
  bool committed_ = false;
};

class SqliteStore final : public QueuingStore {
 public:
  SqliteStore(const std::string& path, std::chrono::milliseconds busyTimeout, bool queue, bool readOnly = false)
      : c_(path, busyTimeout, readOnly), queue_(queue), readOnly_(readOnly) {
    if (readOnly_) {
      // Read as it is: no log mode, no migration, no statement that writes.
      if (ReadVersion(c_) == 0) throw StoreError(Kind::CannotOpen, path, "not a logbook yet: nothing recorded in it");
      return;
    }
    c_.Exec(QStringLiteral("PRAGMA foreign_keys = ON"));
    QSqlQuery mode = c_.Exec(QStringLiteral("PRAGMA journal_mode = WAL"));
    if (!mode.next() || mode.value(0).toString().compare(QStringLiteral("wal"), Qt::CaseInsensitive) != 0)
      throw StoreError(Kind::Other, path, "the logbook cannot keep a write-ahead log here");
    mode.finish();
    c_.Exec(QStringLiteral("PRAGMA synchronous = FULL"));
    if (ReadVersion(c_) < SchemaVersion) Migrate();
    insertTrip_ =
        c_.Prepared(QStringLiteral("INSERT INTO trips (%1, vehicle, first_import) VALUES (?, ?, ?, ?, ?, ?, ?) "
                                   "ON CONFLICT DO NOTHING")
                        .arg(TripColumns));
    tripVehicle_ = c_.Prepared(QStringLiteral("SELECT vehicle FROM trips WHERE %1").arg(TripIdentity));
    moveTrip_ = c_.Prepared(QStringLiteral("UPDATE trips SET vehicle = ? WHERE %1").arg(TripIdentity));
    remember_ = c_.Prepared(
        QStringLiteral("INSERT INTO device_memory (device, slot, %1) VALUES (?, ?, ?, ?, ?, ?, ?)").arg(TripColumns));
    if (queue_)
      queueTrip_ = c_.Prepared(
          QStringLiteral("INSERT INTO outbox_trips (entry, slot, %1, fresh) VALUES (?, ?, ?, ?, ?, ?, ?, ?)")
              .arg(TripColumns));
  }

  Recorded Record(const Recording& recording) override { return Write(recording, false); }
  Recorded RecordSaved(const Recording& recording) override { return Write(recording, true); }

  std::vector<VehicleSummary> Vehicles() override {
    QSqlQuery q = c_.Exec(
        QStringLiteral("SELECT plate_key, model, reg_id, owner, trips, first_stamp, last_stamp, distance FROM vehicles "
                       "ORDER BY plate_key"));
    return VehicleRows(q);
  }

  std::vector<PeriodTotals> SumsByVehicle(const TripQuery& query) override {
    // Summed by the period's range on the key (its date first), then named.
    QSqlQuery q = c_.Prepared(
        QStringLiteral("SELECT v.plate_key, s.c, s.d, s.f FROM (SELECT vehicle, COUNT(*) c, SUM(distance) d, "
                       "SUM(fuel) f FROM trips WHERE %1 GROUP BY vehicle) s JOIN vehicles v ON v.id = s.vehicle")
            .arg(TripsWhere({std::nullopt, query.from, query.to})));
    BindTripQuery(q, {std::nullopt, query.from, query.to}, c_.Path());
    c_.Run(q);
    return TotalRows(q);
  }

  std::vector<MonthSummary> Months(const std::string& plateKey) override {
    QSqlQuery q = c_.Prepared(
        QStringLiteral("SELECT stamp / %1, COUNT(*), SUM(distance), SUM(fuel) FROM trips "
                       "WHERE vehicle = (SELECT id FROM vehicles WHERE plate_key = ?) GROUP BY stamp / %1 ORDER BY 1")
            .arg(MonthUnit));
    q.bindValue(0, QString::fromStdString(PlateKey(plateKey)));
    c_.Run(q);
    return MonthRows(q);
  }

  trips::TripList Trips(const TripQuery& query) override {
    QSqlQuery q =
        c_.Prepared(QStringLiteral("SELECT %1 FROM trips WHERE %2 ORDER BY %1").arg(TripColumns, TripsWhere(query)));
    BindTripQuery(q, query, c_.Path());
    c_.Run(q);
    return TripRows(q);
  }

  std::vector<ImportRow> Imports() override {
    QSqlQuery q = c_.Exec(QStringLiteral("SELECT id, origin, at, source, read_count, added FROM imports ORDER BY id"));
    return ImportRows(q);
  }

  trips::TripList DeviceMemory(const std::string& path) override {
    QSqlQuery q =
        c_.Prepared(QStringLiteral("SELECT %1 FROM device_memory WHERE device = ? ORDER BY slot").arg(TripColumns));
    q.bindValue(0, QString::fromStdString(path));
    c_.Run(q);
    return TripRows(q);
  }

  trips::TripList Unsent(const TripQuery& query) override {
    QSqlQuery q = c_.Prepared(QStringLiteral("SELECT DISTINCT %1 FROM outbox_trips JOIN outbox ON outbox.id = entry "
                                             "WHERE fresh = 1 AND %2 ORDER BY %1")
                                  .arg(TripColumns, TripsWhere(query, QStringLiteral("plate_key = ?"))));
    BindTripQuery(q, query, c_.Path());
    c_.Run(q);
    return TripRows(q);
  }

  std::vector<OutboxEntry> Waiting(std::size_t maxTrips) override {
    QSqlQuery q = c_.Exec(QStringLiteral(
        "SELECT id, recording, saved, origin, source, at, model, reg_id, owner FROM outbox ORDER BY id"));
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
    Transaction transaction(c_);
    QSqlQuery drop = c_.Prepared(QStringLiteral("DELETE FROM outbox WHERE id = ?"));
    for (const std::int64_t id : ids) {
      drop.bindValue(0, QVariant::fromValue<qint64>(id));
      c_.Run(drop);
    }
    transaction.Commit();
  }

  OutboxTotals WaitingTotals() override {
    OutboxTotals totals;
    totals.trips = c_.Integer(
        QStringLiteral("SELECT COUNT(*) FROM (SELECT DISTINCT %1 FROM outbox_trips WHERE fresh = 1)").arg(TripColumns));
    QSqlQuery q = c_.Exec(QStringLiteral("SELECT COUNT(*), MIN(at) FROM outbox"));
    if (!q.next()) Fail(c_.Path(), q.lastError());
    totals.recordings = q.value(0).toLongLong();
    totals.since = q.value(1).toString().toStdString();
    return totals;
  }

  std::vector<VehicleSummary> WaitingVehicles() override {
    QSqlQuery q = c_.Exec(
        QStringLiteral(
            "SELECT w.plate_key, v.model, v.reg_id, v.owner, COUNT(*), MIN(w.stamp), MAX(w.stamp), SUM(w.distance) "
            "FROM (SELECT DISTINCT plate_key, %1 FROM outbox_trips JOIN outbox ON outbox.id = entry WHERE fresh = 1) w "
            "LEFT JOIN vehicles v ON v.plate_key = w.plate_key GROUP BY w.plate_key ORDER BY w.plate_key")
            .arg(TripColumns));
    std::vector<VehicleSummary> out = VehicleRows(q);
    for (VehicleSummary& v : out) v.pending = v.trips;
    return out;
  }

 private:
  void Migrate() {
    Transaction transaction(c_);
    // Another program may have done it meanwhile.
    const auto& steps = Migrations();
    for (int version = ReadVersion(c_); version < SchemaVersion; ++version) {
      for (const QString& sql : steps[static_cast<std::size_t>(version)]) c_.Exec(sql);
      QSqlQuery done = c_.Prepared(QStringLiteral("UPDATE schema_version SET version = ?"));
      done.bindValue(0, version + 1);
      c_.Run(done);
    }
    transaction.Commit();
  }

  // The vehicle of `texts`, made when new; with `update`, its texts become these.
  std::int64_t VehicleId(const trips::VehicleInfo& texts, bool update) {
    const QString key = QString::fromStdString(PlateKey(texts.RegId));
    QSqlQuery upsert = c_.Prepared(
        QStringLiteral("INSERT INTO vehicles (plate_key, model, reg_id, owner, trips, distance) "
                       "VALUES (?, ?, ?, ?, 0, 0) ON CONFLICT (plate_key) DO ") +
        (update ? QStringLiteral("UPDATE SET model = excluded.model, reg_id = excluded.reg_id, owner = excluded.owner")
                : QStringLiteral("NOTHING")));
    upsert.bindValue(0, key);
    upsert.bindValue(1, QString::fromStdString(texts.Model));
    upsert.bindValue(2, QString::fromStdString(texts.RegId));
    upsert.bindValue(3, QString::fromStdString(texts.Owner));
    c_.Run(upsert);
    QSqlQuery id = c_.Prepared(QStringLiteral("SELECT id FROM vehicles WHERE plate_key = ?"));
    id.bindValue(0, key);
    c_.Run(id);
    if (!id.next()) Fail(c_.Path(), id.lastError());
    return id.value(0).toLongLong();
  }

  Recorded Write(const Recording& recording, bool saved) {
    if (readOnly_) throw StoreError(Kind::ReadOnly, c_.Path(), "opened only to be read");
    Transaction transaction(c_);
    const std::int64_t vehicle = VehicleId(recording.vehicle, saved);
    QSqlQuery import = c_.Prepared(
        QStringLiteral("INSERT INTO imports (origin, at, source, read_count, added) VALUES (?, ?, ?, ?, 0)"));
    import.bindValue(0, static_cast<int>(recording.origin));
    import.bindValue(1, QString::fromStdString(recording.at));
    import.bindValue(2, QString::fromStdString(recording.source));
    import.bindValue(3, static_cast<int>(recording.trips.size()));
    c_.Run(import);
    const std::int64_t importId = import.lastInsertId().toLongLong();

    Recorded result;
    result.read = static_cast<int>(recording.trips.size());
    result.wasNew.reserve(recording.trips.size());
    Totals gained;
    std::map<std::int64_t, Totals> lost;  // by the vehicle a saved trip moved from
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
      } else if (saved) {
        BindTrip(tripVehicle_, 0, trip);
        c_.Run(tripVehicle_);
        if (!tripVehicle_.next()) Fail(c_.Path(), tripVehicle_.lastError());
        const std::int64_t from = tripVehicle_.value(0).toLongLong();
        tripVehicle_.finish();
        if (from == vehicle) continue;
        moveTrip_.bindValue(0, QVariant::fromValue<qint64>(vehicle));
        BindTrip(moveTrip_, 1, trip);
        c_.Run(moveTrip_);
        lost[from].Add(trip);
        gained.Add(trip);
      }
    }

    if (gained.trips > 0) {
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
    for (const auto& [from, totals] : lost) {
      QSqlQuery shrink =
          c_.Prepared(QStringLiteral("UPDATE vehicles SET trips = trips - ?, distance = distance - ?, "
                                     "first_stamp = (SELECT MIN(stamp) FROM trips WHERE vehicle = ?), "
                                     "last_stamp = (SELECT MAX(stamp) FROM trips WHERE vehicle = ?) WHERE id = ?"));
      shrink.bindValue(0, QVariant::fromValue<qint64>(totals.trips));
      shrink.bindValue(1, QVariant::fromValue<qint64>(totals.distance));
      for (int i = 2; i < 5; ++i) shrink.bindValue(i, QVariant::fromValue<qint64>(from));
      c_.Run(shrink);
    }

    if (recording.origin == Origin::Device) {
      QSqlQuery forget = c_.Prepared(QStringLiteral("DELETE FROM device_memory WHERE device = ?"));
      forget.bindValue(0, QString::fromStdString(recording.source));
      c_.Run(forget);
      for (std::size_t slot = 0; slot < recording.trips.size(); ++slot) {
        remember_.bindValue(0, QString::fromStdString(recording.source));
        remember_.bindValue(1, static_cast<int>(slot));
        BindTrip(remember_, 2, recording.trips[slot]);
        c_.Run(remember_);
      }
    }

    if (saved && result.added == 0) {
      QSqlQuery drop = c_.Prepared(QStringLiteral("DELETE FROM imports WHERE id = ?"));
      drop.bindValue(0, QVariant::fromValue<qint64>(importId));
      c_.Run(drop);
    } else {
      QSqlQuery count = c_.Prepared(QStringLiteral("UPDATE imports SET added = ? WHERE id = ?"));
      count.bindValue(0, result.added);
      count.bindValue(1, QVariant::fromValue<qint64>(importId));
      c_.Run(count);
    }
    if (queue_) Queue(recording, saved, result.wasNew);
    transaction.Commit();
    return result;
  }

  void Queue(const Recording& recording, bool saved, const std::vector<bool>& fresh) {
    QSqlQuery entry = c_.Prepared(
        QStringLiteral("INSERT INTO outbox (recording, saved, origin, source, at, plate_key, model, reg_id, owner) "
                       "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    entry.bindValue(0, QUuid::createUuid().toString(QUuid::WithoutBraces));
    entry.bindValue(1, saved ? 1 : 0);
    entry.bindValue(2, static_cast<int>(recording.origin));
    entry.bindValue(3, QString::fromStdString(recording.source));
    entry.bindValue(4, QString::fromStdString(recording.at));
    entry.bindValue(5, QString::fromStdString(PlateKey(recording.vehicle.RegId)));
    entry.bindValue(6, QString::fromStdString(recording.vehicle.Model));
    entry.bindValue(7, QString::fromStdString(recording.vehicle.RegId));
    entry.bindValue(8, QString::fromStdString(recording.vehicle.Owner));
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

  Connection c_;  // declared first: the statements go before the connection
  bool queue_;
  bool readOnly_;
  QSqlQuery insertTrip_;
  QSqlQuery tripVehicle_;
  QSqlQuery moveTrip_;
  QSqlQuery remember_;
  QSqlQuery queueTrip_;
};

// A file that is there must look like SQLite's before SQLite may open it for
// writing: opening read-write, switching to the write-ahead log or creating
// tables would write into whatever it is.
void CheckHeader(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw StoreError(Kind::CannotOpen, path, std::strerror(errno));
  char header[100];
  file.read(header, sizeof header);
  const std::streamsize got = file.gcount();
  if (got == 0) return;                               // an empty file becomes a logbook
  static constexpr char Magic[] = "SQLite format 3";  // with its NUL: 16 bytes
  if (got < static_cast<std::streamsize>(sizeof header) || std::memcmp(header, Magic, sizeof Magic) != 0)
    throw StoreError(Kind::Corrupt, path, "not a logbook: no SQLite database header");
}

std::unique_ptr<SqliteStore> OpenOnce(const std::string& location, std::chrono::milliseconds busyTimeout, bool queue) {
  if (location.empty()) throw StoreError(Kind::CannotOpen, location, "no file name");
  const fs::path path(location);
  const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
  std::error_code error;
  fs::create_directories(folder, error);
  if (error) throw StoreError(Kind::CannotOpen, location, error.message());
  const fs::file_status status = fs::status(path, error);
  const bool exists = fs::exists(status);
  if (exists) {
    if (!fs::is_regular_file(status)) throw StoreError(Kind::CannotOpen, location, "not a file");
    CheckHeader(location);
  }
  // SQLite keeps its log and shared memory beside the file: both must be writable.
  if ((exists && ::access(location.c_str(), W_OK) != 0) || ::access(folder.c_str(), W_OK) != 0)
    throw StoreError(Kind::ReadOnly, location, std::strerror(errno));
  if (exists && fs::file_size(path, error) > 0) {
    // The version is read without a way to write: a newer or foreign file
    // stays as it is.
    Connection readOnly(location, busyTimeout, true);
    ReadVersion(readOnly);
  }
  return std::make_unique<SqliteStore>(location, busyTimeout, queue);
}

std::unique_ptr<SqliteStore> Open(const std::string& location, std::chrono::milliseconds busyTimeout, bool queue) {
  // A new file being made, switched to its write-ahead log or migrated by
  // another program at this moment: SQLite may then say busy at once rather
  // than through the busy timeout, so the whole opening is tried again.
  const auto deadline = std::chrono::steady_clock::now() + busyTimeout;
  for (;;) {
    try {
      return OpenOnce(location, busyTimeout, queue);
    } catch (const StoreError& e) {
      if (e.kind() != Kind::Locked || std::chrono::steady_clock::now() >= deadline) throw;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds{20});
  }
}

}  // namespace

std::unique_ptr<Store> OpenLogbookReadOnly(const std::string& location, std::chrono::milliseconds busyTimeout) {
  std::error_code error;
  const fs::file_status status = fs::status(location, error);
  if (!fs::exists(status)) throw StoreError(Kind::CannotOpen, location, "no such file");
  if (!fs::is_regular_file(status)) throw StoreError(Kind::CannotOpen, location, "not a file");
  CheckHeader(location);
  return std::make_unique<SqliteStore>(location, busyTimeout, false, true);
}

std::unique_ptr<Store> OpenLogbook(const std::string& location, std::chrono::milliseconds busyTimeout) {
  return Open(location, busyTimeout, false);
}

std::unique_ptr<QueuingStore> OpenQueuingLogbook(const std::string& location, std::chrono::milliseconds busyTimeout) {
  return Open(location, busyTimeout, true);
}

}  // namespace riventar::logbook
