#include "platform/logbook/pg_store.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <atomic>
#include <cstdlib>
#include <libpq-fe.h>
#include <map>
#include <memory>
#include <set>
#include <tuple>
#include <type_traits>

#include "core/logbook/stamp.h"
#include "platform/logbook/sql_rows.h"

namespace riventar::logbook {
namespace {

using Kind = StoreError::Kind;
using trips::TripRecord;

// ---- Schema ----

// Step i brings a logbook from version i to i + 1; a released step is never
// changed. The tables and columns are the SQLite file's, in PostgreSQL's words.
const std::vector<std::vector<QString>>& Migrations() {
  static const std::vector<std::vector<QString>> steps = {
      {
          "CREATE TABLE schema_version (version INTEGER NOT NULL)",
          "INSERT INTO schema_version (version) VALUES (0)",
          // Kept by every recording, under the vehicle's row lock, so that
          // listing the vehicles reads one row each.
          "CREATE TABLE vehicles ("
          " id BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY,"
          " plate_key TEXT NOT NULL UNIQUE,"
          " model TEXT NOT NULL, reg_id TEXT NOT NULL, owner TEXT NOT NULL,"
          " trips BIGINT NOT NULL, first_stamp BIGINT, last_stamp BIGINT, distance BIGINT NOT NULL)",
          "CREATE TABLE imports ("
          " id BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY,"
          " origin INTEGER NOT NULL, at TEXT NOT NULL, source TEXT NOT NULL,"
          " read_count INTEGER NOT NULL, added INTEGER NOT NULL)",
          // The identity is the key: two computers inserting the same trip
          // meet on it, and one of them finds it there.
          "CREATE TABLE trips ("
          " stamp BIGINT NOT NULL, trip_time BIGINT NOT NULL, moving_time BIGINT NOT NULL,"
          " distance BIGINT NOT NULL, fuel BIGINT NOT NULL,"
          " vehicle BIGINT NOT NULL REFERENCES vehicles (id),"
          " first_import BIGINT NOT NULL REFERENCES imports (id),"
          " PRIMARY KEY (stamp, trip_time, moving_time, distance, fuel))",
          // One vehicle's trips by date (the table, the months, the CLI).
          "CREATE INDEX trips_by_vehicle ON trips (vehicle, stamp)",
          "CREATE TABLE device_memory ("
          " device TEXT NOT NULL, slot INTEGER NOT NULL,"
          " stamp BIGINT NOT NULL, trip_time BIGINT NOT NULL, moving_time BIGINT NOT NULL,"
          " distance BIGINT NOT NULL, fuel BIGINT NOT NULL,"
          " PRIMARY KEY (device, slot))",
      },
      {
          // A queued recording's id: sent twice, it is recorded once. NULL
          // for a recording that came from no queue.
          "ALTER TABLE imports ADD COLUMN recording TEXT UNIQUE",
          "ALTER TABLE imports ALTER COLUMN added SET DEFAULT 0",
          // A device is one computer's, and "/dev/ttyUSB0" names one on every
          // computer: what it held is kept in each computer's own file.
          "DROP TABLE device_memory",
          // What the recorder may not do itself is done by functions of the
          // owner (SECURITY DEFINER, run with the search_path the migration
          // fixed: the logbook's schema, then pg_temp), so that it needs no
          // UPDATE or DELETE. The totals follow the trips whoever changes them.
          "CREATE FUNCTION riventar_vehicle(plate_key text, model text, reg_id text, owner text, texts boolean) "
          "RETURNS bigint LANGUAGE sql SECURITY DEFINER SET search_path FROM CURRENT AS $$ "
          "INSERT INTO vehicles AS v (plate_key, model, reg_id, owner, trips, distance) VALUES ($1, $2, $3, $4, 0, 0) "
          "ON CONFLICT (plate_key) DO UPDATE SET model = CASE WHEN $5 THEN excluded.model ELSE v.model END, "
          "reg_id = CASE WHEN $5 THEN excluded.reg_id ELSE v.reg_id END, "
          "owner = CASE WHEN $5 THEN excluded.owner ELSE v.owner END RETURNING id $$",
          "CREATE FUNCTION riventar_move_trips(vehicle bigint, stamps bigint[], trip_times bigint[], "
          "moving_times bigint[], distances bigint[], fuels bigint[]) "
          "RETURNS void LANGUAGE sql SECURITY DEFINER SET search_path FROM CURRENT AS $$ "
          "WITH wanted AS (SELECT DISTINCT * FROM unnest($2, $3, $4, $5, $6) "
          "AS u (stamp, trip_time, moving_time, distance, fuel)), "
          "moved AS (SELECT t.stamp, t.trip_time, t.moving_time, t.distance, t.fuel FROM trips t "
          "JOIN wanted USING (stamp, trip_time, moving_time, distance, fuel) WHERE t.vehicle <> $1 "
          "ORDER BY 1, 2, 3, 4, 5 FOR UPDATE OF t) "
          "UPDATE trips SET vehicle = $1 FROM moved WHERE trips.stamp = moved.stamp "
          "AND trips.trip_time = moved.trip_time AND trips.moving_time = moved.moving_time "
          "AND trips.distance = moved.distance AND trips.fuel = moved.fuel $$",
          "CREATE FUNCTION riventar_trips_added() RETURNS trigger LANGUAGE plpgsql SECURITY DEFINER "
          "SET search_path FROM CURRENT AS $$ BEGIN "
          "UPDATE vehicles v SET trips = v.trips + n.trips, distance = v.distance + n.distance, "
          "first_stamp = LEAST(v.first_stamp, n.first), last_stamp = GREATEST(v.last_stamp, n.last) "
          "FROM (SELECT vehicle, COUNT(*) AS trips, SUM(distance) AS distance, MIN(stamp) AS first, "
          "MAX(stamp) AS last FROM new_trips GROUP BY vehicle) n WHERE v.id = n.vehicle; "
          "UPDATE imports i SET added = i.added + n.added "
          "FROM (SELECT first_import, COUNT(*) AS added FROM new_trips GROUP BY first_import) n "
          "WHERE i.id = n.first_import; "
          "RETURN NULL; END $$",
          "CREATE TRIGGER trips_added AFTER INSERT ON trips REFERENCING NEW TABLE AS new_trips "
          "FOR EACH STATEMENT EXECUTE FUNCTION riventar_trips_added()",
          // The vehicles a trip left are locked by id, after the one it went
          // to (the writer's own, locked first).
          "CREATE FUNCTION riventar_trips_changed() RETURNS trigger LANGUAGE plpgsql SECURITY DEFINER "
          "SET search_path FROM CURRENT AS $$ BEGIN "
          "PERFORM 1 FROM vehicles WHERE id IN (SELECT vehicle FROM old_trips UNION SELECT vehicle FROM new_trips) "
          "ORDER BY id FOR UPDATE; "
          "UPDATE vehicles v SET trips = v.trips + d.trips, distance = v.distance + d.distance, "
          "first_stamp = (SELECT MIN(stamp) FROM trips WHERE vehicle = v.id), "
          "last_stamp = (SELECT MAX(stamp) FROM trips WHERE vehicle = v.id) "
          "FROM (SELECT vehicle, SUM(n) AS trips, SUM(distance) AS distance FROM "
          "(SELECT vehicle, 1 AS n, distance FROM new_trips UNION ALL SELECT vehicle, -1, -distance FROM old_trips) c "
          "GROUP BY vehicle) d WHERE v.id = d.vehicle; "
          "RETURN NULL; END $$",
          "CREATE TRIGGER trips_changed AFTER UPDATE ON trips "
          "REFERENCING OLD TABLE AS old_trips NEW TABLE AS new_trips "
          "FOR EACH STATEMENT EXECUTE FUNCTION riventar_trips_changed()",
          // Functions are anyone's to call by default; these only the
          // recorder's, as the grants say.
          "REVOKE EXECUTE ON FUNCTION riventar_vehicle(text, text, text, text, boolean), "
          "riventar_move_trips(bigint, bigint[], bigint[], bigint[], bigint[], bigint[]), riventar_trips_added(), "
          "riventar_trips_changed() FROM PUBLIC",
      },
  };
  return steps;
}

// pg_advisory_xact_lock's key for changing the schema: "RIVENTAR" in ASCII.
constexpr qint64 SchemaLock = 0x524956454e544152;

// ---- Errors ----

// A transaction that lost to another one: tried again a few times.
class Conflict : public StoreError {
 public:
  using StoreError::StoreError;
};

Kind KindOf(const QString& state) {
  if (state == "42501" || state == "25006") return Kind::ReadOnly;  // insufficient privilege, read-only transaction
  if (state == "53100") return Kind::Full;                          // disk full
  if (state.startsWith("40") || state == "55P03") return Kind::Locked;
  if (state.startsWith("08") || state.startsWith("28") || state == "3D000" || state.startsWith("57P"))
    return Kind::CannotOpen;                   // connection, authorization, no such database, server going down
  if (state == "42P07") return Kind::Corrupt;  // the database holds tables by the logbook's names
  return Kind::Other;
}

// ---- One connection ----

class Connection {
 public:
  Connection(const std::string& location, std::chrono::seconds connectTimeout)
      : location_(location),
        shown_(RedactedLocation(location)),
        name_(QStringLiteral("riventar-server-logbook-%1").arg(++counter_)) {
    if (!IsServerLocation(location))
      throw StoreError(Kind::CannotOpen, shown_, "not a postgresql:// or postgres:// URI");
    // libpq's own reading of the URI: Qt's driver would pass it on as a
    // database name, which libpq's PQconnectdb takes literally.
    char* parseError = nullptr;
    std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)> parsed(PQconninfoParse(location.c_str(), &parseError),
                                                                        &PQconninfoFree);
    if (!parsed) {
      const std::string why = parseError ? parseError : "out of memory";
      PQfreemem(parseError);
      throw StoreError(Kind::CannotOpen, shown_, Scrubbed(why, location));
    }
    std::map<std::string, std::string> options;
    for (const PQconninfoOption* o = parsed.get(); o->keyword != nullptr; ++o)
      if (o->val != nullptr) options[o->keyword] = o->val;

    stated_ = options.count("sslmode") ? options["sslmode"] : std::string();
    std::vector<std::string> hosts;
    const auto addHosts = [&hosts](const std::string& list) {
      for (std::size_t at = 0; at <= list.size();) {
        const std::size_t comma = std::min(list.find(',', at), list.size());
        if (comma > at) hosts.push_back(list.substr(at, comma - at));
        at = comma + 1;
      }
    };
    addHosts(options["host"]);
    addHosts(options["hostaddr"]);
    if (hosts.empty() && options["service"].empty()) {
      // libpq falls back on the environment, then on its default socket.
      if (const char* env = std::getenv("PGHOST")) addHosts(env);
      if (const char* env = std::getenv("PGHOSTADDR")) addHosts(env);
    }
    const char* environmentMode = std::getenv("PGSSLMODE");
    const std::string mode = SslModeFor(hosts, stated_, environmentMode ? environmentMode : "");
    if (!mode.empty()) options["sslmode"] = mode;
    if (options["connect_timeout"].empty()) options["connect_timeout"] = std::to_string(connectTimeout.count());
    if (options["application_name"].empty()) options["application_name"] = "riventar";

    db_ = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name_);
    if (!db_.isValid())
      throw StoreError(Kind::Other, shown_, "Qt's PostgreSQL driver is missing (the package libqt6sql6-psql)");
    // Qt quotes these four itself; the rest go as connect options, which it
    // splits at ';'.
    db_.setDatabaseName(QString::fromStdString(options["dbname"]));
    db_.setHostName(QString::fromStdString(options["host"]));
    db_.setUserName(QString::fromStdString(options["user"]));
    db_.setPassword(QString::fromStdString(options["password"]));
    QStringList rest;
    for (const auto& [key, value] : options) {
      if (key == "dbname" || key == "host" || key == "user" || key == "password" || value.empty()) continue;
      if (value.find(';') != std::string::npos) {
        Close();
        throw StoreError(Kind::CannotOpen, shown_, "the parameter " + key + " holds a ';', which cannot be passed on");
      }
      QString quoted = QString::fromStdString(value);
      quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('\''), QLatin1String("\\'"));
      rest << QString::fromStdString(key) + QStringLiteral("='") + quoted + QLatin1Char('\'');
    }
    db_.setConnectOptions(rest.join(QLatin1Char(';')));
    if (!db_.open()) {
      const QSqlError error = db_.lastError();
      Close();
      const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
      throw StoreError(Kind::CannotOpen, shown_, Scrubbed(text.trimmed().toStdString(), location));
    }
    try {
      CheckEncryption();
      Exec(QStringLiteral("SET client_min_messages = warning"));
    } catch (const StoreError&) {
      Close();
      throw;
    }
  }
  ~Connection() { Close(); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  const std::string& Shown() const { return shown_; }
  void Begin() {
    Exec(QStringLiteral("BEGIN"));
    inTransaction_ = true;
  }
  void Commit() {
    inTransaction_ = false;  // a COMMIT that fails has ended the transaction too
    Exec(QStringLiteral("COMMIT"));
  }
  void Rollback() {
    if (!inTransaction_) return;
    inTransaction_ = false;
    Exec(QStringLiteral("ROLLBACK"));
  }

  [[noreturn]] void Fail(const QSqlError& error) {
    // Rolled back at once: the statements that go out of scope while the
    // exception unwinds are freed on the server, which an aborted
    // transaction would refuse.
    if (inTransaction_) {
      inTransaction_ = false;
      QSqlQuery(QStringLiteral("ROLLBACK"), db_);
    }
    const QString state = error.nativeErrorCode();
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    const std::string detail = Scrubbed(text.trimmed().toStdString(), location_);
    if (state == "40001" || state == "40P01") throw Conflict(Kind::Locked, shown_, detail);
    throw StoreError(KindOf(state), shown_, detail);
  }

  QSqlQuery Prepared(const QString& sql) {
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    if (!q.prepare(sql)) Fail(q.lastError());
    return q;
  }
  void Run(QSqlQuery& q) {
    if (!q.exec()) Fail(q.lastError());
  }
  QSqlQuery Exec(const QString& sql) {
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    if (!q.exec(sql)) Fail(q.lastError());
    return q;
  }
  // A statement's one value, or nothing for no row or NULL.
  std::optional<std::int64_t> Integer(QSqlQuery& q) {
    Run(q);
    if (!q.next() || q.value(0).isNull()) return std::nullopt;
    return q.value(0).toLongLong();
  }

 private:
  // Whatever brought the host (the URI, a service file, the environment),
  // a session to a remote server in plain text goes no further.
  void CheckEncryption() {
    const QVariant handle = db_.driver()->handle();
    // The driver hands out its PGconn* under the struct's own name.
    PGconn* const connection = handle.isValid() && qstrcmp(handle.typeName(), "pg_conn*") == 0
                                   ? *static_cast<PGconn* const*>(handle.data())
                                   : nullptr;
    if (connection == nullptr)
      throw StoreError(Kind::Other, shown_, "Qt's PostgreSQL driver gives no connection to check");
    const char* host = PQhost(connection);
    const std::string server = host ? host : "";
    if (PQsslInUse(connection) == 0 && !PlainTextAllowed(server, stated_))
      throw StoreError(Kind::CannotOpen, shown_,
                       "the connection to " + server +
                           " is not encrypted (TLS); the server must offer TLS, or the URI must say sslmode=disable");
  }

  void Close() {
    db_.close();
    db_ = QSqlDatabase();
    QSqlDatabase::removeDatabase(name_);
  }

  static inline std::atomic<int> counter_{0};
  std::string location_;
  std::string shown_;
  std::string stated_;  // the URI's sslmode
  bool inTransaction_ = false;
  QString name_;
  QSqlDatabase db_;
};

class Transaction {
 public:
  explicit Transaction(Connection& c) : c_(c) { c_.Begin(); }
  ~Transaction() {
    try {
      c_.Rollback();               // when neither committed nor rolled back by a failure
    } catch (const StoreError&) {  // the connection may be gone
    }
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void Commit() { c_.Commit(); }

 private:
  Connection& c_;
};

// The version of the logbook in the database: 0 for none yet.
int ReadVersion(Connection& c) {
  // Read from the catalog with the statement's snapshot: to_regclass() would
  // consult the session's catalog cache, which a wait on an advisory lock
  // does not refresh, and miss a schema made meanwhile.
  QSqlQuery exists =
      c.Prepared(QStringLiteral("SELECT EXISTS (SELECT 1 FROM pg_catalog.pg_tables WHERE schemaname = current_schema() "
                                "AND tablename = 'schema_version')"));
  c.Run(exists);
  if (!exists.next() || !exists.value(0).toBool()) return 0;
  QSqlQuery read = c.Prepared(QStringLiteral("SELECT MAX(version) FROM schema_version"));
  const std::optional<std::int64_t> version = c.Integer(read);
  if (!version) throw StoreError(Kind::Corrupt, c.Shown(), "the logbook has no schema version");
  if (*version > ServerSchemaVersion)
    throw StoreError(Kind::Newer, c.Shown(),
                     "the server's logbook has schema version " + std::to_string(*version) +
                         ", this program knows up to " + std::to_string(ServerSchemaVersion) +
                         ": it needs a newer Riventar; the server was left as it is");
  return static_cast<int>(*version);
}

// ---- Trips as arrays ----

// A trip's identity, in the order of the key.
using Key = std::tuple<std::int64_t, std::int64_t, std::int64_t, std::int64_t, std::int64_t>;

Key KeyOf(const TripRecord& r) { return {Stamp(r), r.TripTime, r.MovingTime, r.Distance, r.Fuel}; }
Key KeyAt(const QSqlQuery& q, int first) {
  return {q.value(first).toLongLong(), q.value(first + 1).toLongLong(), q.value(first + 2).toLongLong(),
          q.value(first + 3).toLongLong(), q.value(first + 4).toLongLong()};
}

// The five columns of `keys` as PostgreSQL array texts, bound from `first` on:
// a recording is one statement, not one a trip.
void BindKeys(QSqlQuery& q, int first, const std::vector<Key>& keys) {
  std::string columns[5];
  for (std::string& c : columns) c = "{";
  for (const Key& k : keys) {
    const std::int64_t values[] = {std::get<0>(k), std::get<1>(k), std::get<2>(k), std::get<3>(k), std::get<4>(k)};
    for (int i = 0; i < 5; ++i) columns[i] += (columns[i].size() > 1 ? "," : "") + std::to_string(values[i]);
  }
  for (int i = 0; i < 5; ++i) q.bindValue(first + i, QString::fromStdString(columns[i] + "}"));
}

constexpr char Unnest[] =
    "unnest(CAST(? AS bigint[]), CAST(? AS bigint[]), CAST(? AS bigint[]), CAST(? AS bigint[]), "
    "CAST(? AS bigint[]))";

QVariant Big(std::int64_t v) { return QVariant::fromValue<qint64>(v); }

// ---- The store ----

class PgStore final : public Store {
 public:
  PgStore(const std::string& location, std::chrono::seconds connectTimeout) : c_(location, connectTimeout) {
    if (ReadVersion(c_) < ServerSchemaVersion) Migrate();
  }

  Recorded Record(const Recording& recording) override {
    return Retrying([&] { return Alone(recording, false); });
  }
  Recorded RecordSaved(const Recording& recording) override {
    return Retrying([&] { return Alone(recording, true); });
  }

  // The batch's vehicles are locked first, in one order, so that batches of
  // several cars wait for each other instead of meeting in a deadlock.
  void RecordAll(const std::vector<Queued>& batch) override {
    std::map<std::string, trips::VehicleInfo> vehicles;  // as first seen in the batch
    for (const Queued& q : batch) vehicles.try_emplace(PlateKey(q.recording.vehicle.RegId), q.recording.vehicle);
    Retrying([&] {
      Transaction transaction(c_);
      for (const auto& [plateKey, texts] : vehicles) LockVehicle(plateKey, texts, false);
      for (const Queued& q : batch) Write(q.recording, q.saved, q.id);
      transaction.Commit();
      return 0;
    });
  }

  std::vector<VehicleSummary> Vehicles() override {
    // Byte order, as the SQLite file sorts, whatever the database's collation.
    QSqlQuery q = c_.Exec(
        QStringLiteral("SELECT plate_key, model, reg_id, owner, trips, first_stamp, last_stamp, distance FROM vehicles "
                       "ORDER BY plate_key COLLATE \"C\""));
    return VehicleRows(q);
  }

  std::vector<PeriodTotals> SumsByVehicle(const TripQuery& query) override {
    // Summed by the period's range on the key (its date first), then named.
    QSqlQuery q = c_.Prepared(
        QStringLiteral("SELECT v.plate_key, s.c, s.d, s.f FROM (SELECT vehicle, COUNT(*) c, SUM(distance) d, "
                       "SUM(fuel) f FROM trips WHERE %1 GROUP BY vehicle) s JOIN vehicles v ON v.id = s.vehicle")
            .arg(TripsWhere({std::nullopt, query.from, query.to})));
    BindTripQuery(q, {std::nullopt, query.from, query.to}, c_.Shown());
    c_.Run(q);
    return TotalRows(q);
  }

  std::vector<MonthSummary> Months(const std::string& plateKey) override {
    QSqlQuery q = c_.Prepared(
        QStringLiteral("SELECT stamp / %1, COUNT(*), SUM(distance), SUM(fuel) FROM trips "
                       "WHERE vehicle = (SELECT id FROM vehicles WHERE plate_key = ?) GROUP BY 1 ORDER BY 1")
            .arg(MonthUnit));
    q.bindValue(0, QString::fromStdString(PlateKey(plateKey)));
    c_.Run(q);
    return MonthRows(q);
  }

  trips::TripList Trips(const TripQuery& query) override {
    QSqlQuery q =
        c_.Prepared(QStringLiteral("SELECT %1 FROM trips WHERE %2 ORDER BY %1").arg(TripColumns, TripsWhere(query)));
    BindTripQuery(q, query, c_.Shown());
    c_.Run(q);
    return TripRows(q);
  }

  std::vector<ImportRow> Imports() override {
    // A saved table that added nothing keeps its row only as its recording's
    // mark of having been recorded.
    QSqlQuery q = c_.Exec(
        QStringLiteral("SELECT id, origin, at, source, read_count, added FROM imports WHERE origin <> %1 OR added > 0 "
                       "ORDER BY id")
            .arg(static_cast<int>(Origin::Saved)));
    return ImportRows(q);
  }

  // A device is one computer's (and its path names a device on every
  // computer): the server keeps no device's memory, each computer's own
  // logbook does.
  trips::TripList DeviceMemory(const std::string&) override { return {}; }

 private:
  // Two computers starting at once: one makes the schema, the other waits for
  // the lock and then finds it made.
  void Migrate() {
    Transaction transaction(c_);
    QSqlQuery lock = c_.Prepared(QStringLiteral("SELECT pg_advisory_xact_lock(?)"));
    lock.bindValue(0, Big(SchemaLock));
    c_.Run(lock);
    lock.finish();
    // The owner's functions run with this search_path (SET ... FROM CURRENT):
    // the logbook's own schema, then pg_temp, never a schema of the caller's.
    c_.Exec(QStringLiteral("SELECT set_config('search_path', quote_ident(current_schema()) || ', pg_temp', true)"));
    const auto& steps = Migrations();
    for (int version = ReadVersion(c_); version < ServerSchemaVersion; ++version) {
      for (const QString& sql : steps[static_cast<std::size_t>(version)]) c_.Exec(sql);
      QSqlQuery done = c_.Prepared(QStringLiteral("UPDATE schema_version SET version = ?"));
      done.bindValue(0, version + 1);
      c_.Run(done);
    }
    transaction.Commit();
  }

  // A deadlock or a serialization failure rolled everything back: try again.
  template <typename F>
  std::invoke_result_t<F> Retrying(F write) {
    for (int attempt = 1;; ++attempt) {
      try {
        return write();
      } catch (const Conflict&) {
        if (attempt == 5) throw;
      }
    }
  }

  Recorded Alone(const Recording& recording, bool saved) {
    Transaction transaction(c_);
    Recorded result = Write(recording, saved, {});
    transaction.Commit();
    return result;
  }

  // The vehicle's row, made when missing and locked; with `texts`, these
  // become its texts.
  std::int64_t LockVehicle(const std::string& plateKey, const trips::VehicleInfo& vehicle, bool texts) {
    QSqlQuery q = c_.Prepared(QStringLiteral("SELECT riventar_vehicle(?, ?, ?, ?, ?)"));
    q.bindValue(0, QString::fromStdString(plateKey));
    q.bindValue(1, QString::fromStdString(vehicle.Model));
    q.bindValue(2, QString::fromStdString(vehicle.RegId));
    q.bindValue(3, QString::fromStdString(vehicle.Owner));
    q.bindValue(4, texts);
    return c_.Integer(q).value_or(-1);
  }

  // Within the caller's transaction. Locks are taken in one order by every
  // writer: the recording's vehicle row first (so writers of one car queue
  // there), then its import, the trips in key order, the vehicles trips
  // moved from by id (the owner's triggers keep the totals). A recording
  // whose `id` is already there changes nothing.
  Recorded Write(const Recording& recording, bool saved, const std::string& id) {
    const std::string plateKey = PlateKey(recording.vehicle.RegId);
    const std::int64_t vehicleId = LockVehicle(plateKey, recording.vehicle, false);

    QSqlQuery import = c_.Prepared(
        QStringLiteral("INSERT INTO imports (origin, at, source, read_count, recording) VALUES (?, ?, ?, ?, ?) "
                       "ON CONFLICT (recording) DO NOTHING RETURNING id"));
    import.bindValue(0, static_cast<int>(recording.origin));
    import.bindValue(1, QString::fromStdString(recording.at));
    import.bindValue(2, QString::fromStdString(recording.source));
    import.bindValue(3, static_cast<int>(recording.trips.size()));
    import.bindValue(4, id.empty() ? QVariant(QMetaType(QMetaType::QString)) : QString::fromStdString(id));
    const std::optional<std::int64_t> importId = c_.Integer(import);
    import.finish();

    Recorded result;
    result.read = static_cast<int>(recording.trips.size());
    if (!importId) {  // recorded before: none of its trips is new now
      result.wasNew.assign(recording.trips.size(), false);
      return result;
    }
    if (saved) LockVehicle(plateKey, recording.vehicle, true);

    std::vector<Key> keys;
    keys.reserve(recording.trips.size());
    for (const TripRecord& trip : recording.trips) keys.push_back(KeyOf(trip));
    std::set<Key> inserted;
    if (!keys.empty()) {
      QSqlQuery insert = c_.Prepared(
          QStringLiteral("INSERT INTO trips (%1, vehicle, first_import) "
                         "SELECT u.*, CAST(? AS bigint), CAST(? AS bigint) FROM %2 AS u ORDER BY 1, 2, 3, 4, 5 "
                         "ON CONFLICT DO NOTHING RETURNING %1")
              .arg(TripColumns, Unnest));
      insert.bindValue(0, Big(vehicleId));
      insert.bindValue(1, Big(*importId));
      BindKeys(insert, 2, keys);
      c_.Run(insert);
      while (insert.next()) inserted.insert(KeyAt(insert, 0));
    }
    result.wasNew.reserve(keys.size());
    for (const Key& key : keys) {
      const bool added = inserted.erase(key) == 1;  // a repeat within the recording is not new
      result.wasNew.push_back(added);
      result.added += added;
    }

    if (saved && !keys.empty()) {
      QSqlQuery move = c_.Prepared(
          QStringLiteral("SELECT riventar_move_trips(?, CAST(? AS bigint[]), CAST(? AS bigint[]), CAST(? AS bigint[]), "
                         "CAST(? AS bigint[]), CAST(? AS bigint[]))"));
      move.bindValue(0, Big(vehicleId));
      BindKeys(move, 1, keys);
      c_.Run(move);
    }
    return result;
  }

  Connection c_;
};

}  // namespace

std::unique_ptr<Store> OpenServerLogbook(const std::string& location, std::chrono::seconds connectTimeout) {
  return std::make_unique<PgStore>(location, connectTimeout);
}

}  // namespace riventar::logbook
