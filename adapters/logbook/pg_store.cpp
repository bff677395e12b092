#include "adapters/logbook/pg_store.h"

#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <libpq-fe.h>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <tuple>
#include <type_traits>

#include "adapters/logbook/pg_months.h"
#include "adapters/logbook/sql_store.h"
#include "core/logbook/stamp.h"

namespace riventar::logbook {
namespace {

using Kind = StoreError::Kind;
using trips::TripRecord;

// ---- Schema ----

constexpr char TripRanges[] =
    "stamp BETWEEN 0 AND 281474976710655 AND trip_time BETWEEN 1 AND 4294967295 "
    "AND moving_time BETWEEN 1 AND 4294967295 AND distance BETWEEN 6 AND 4294967295 "
    "AND fuel BETWEEN 16 AND 4294967295";
constexpr char BigintMax[] = "9223372036854775807";

// Version 4: which car a trip is on is set right by the administrator, and
// every change is kept. The functions' signatures, as granted.
constexpr char RecordFunction[] =
    "riventar.riventar_record(integer, text, text, bytea, integer, text, text, text, text, text, text, bytea, bytea, "
    "bytea, boolean, bigint[], bigint[], bigint[], bigint[], bigint[])";
constexpr char CorrectionFunctions[] =
    "riventar.riventar_move(text, text, text, text, bytea, bytea, bytea, text, text, text, bigint[], bigint[], "
    "bigint[], bigint[], bigint[]), "
    "riventar.riventar_edit_vehicle(text, text, text, text, text, bytea, bytea, bytea, text, text), "
    "riventar.riventar_merge(text, text, text, text, text), riventar.riventar_delete_vehicle(text, text, text), "
    "riventar.riventar_undo(bigint, text, text), "
    "riventar.riventar_tag(text, text, text, text, text, bigint[], bigint[], bigint[], bigint[], bigint[])";

// A trip of riventar.trips `t` is the one of `u` (columns s, tt, mt, d, f).
constexpr char SameTrip[] =
    "t.stamp = u.s AND t.trip_time = u.tt AND t.moving_time = u.mt AND t.distance = u.d AND t.fuel = u.f";

std::vector<QString> CorrectionStep() {
  const QString same = QString::fromLatin1(SameTrip);
  return {
      // What a trip was for: the logbook's alone, a ".dat" line has no room.
      "ALTER TABLE riventar.trips ADD COLUMN purpose TEXT NOT NULL DEFAULT '', "
      "ADD COLUMN driver TEXT NOT NULL DEFAULT '', ADD COLUMN note TEXT NOT NULL DEFAULT ''",
      // Where a recording came from and which vehicle it filed under (the
      // plate key, and the registration as it was then: history keeps the
      // name a later edit changes); `made` orders history by the server's
      // clock, the computers' may differ.
      "ALTER TABLE riventar.imports ADD COLUMN computer TEXT NOT NULL DEFAULT '', ADD COLUMN plate_key TEXT, "
      "ADD COLUMN vehicle TEXT, ADD COLUMN undone BOOLEAN NOT NULL DEFAULT false, "
      "ADD COLUMN made TIMESTAMPTZ NOT NULL DEFAULT pg_catalog.now()",
      "UPDATE riventar.imports i SET plate_key = n.plate_key, vehicle = n.reg_id FROM "
      "(SELECT DISTINCT ON (t.first_import) t.first_import, v.plate_key, v.reg_id FROM riventar.trips t "
      "JOIN riventar.vehicles v ON v.id = t.vehicle ORDER BY t.first_import) n WHERE i.id = n.first_import",
      // Every trip each reading or import holds, new or not: undoing one
      // keeps the trips another one also holds. Saving holds what it added.
      "CREATE TABLE riventar.import_trips ("
      " stamp BIGINT NOT NULL, trip_time BIGINT NOT NULL, moving_time BIGINT NOT NULL,"
      " distance BIGINT NOT NULL, fuel BIGINT NOT NULL, import_id BIGINT NOT NULL REFERENCES riventar.imports (id),"
      " PRIMARY KEY (stamp, trip_time, moving_time, distance, fuel, import_id))",
      "CREATE INDEX import_trips_by_import ON riventar.import_trips (import_id)",
      "INSERT INTO riventar.import_trips (stamp, trip_time, moving_time, distance, fuel, import_id) "
      "SELECT stamp, trip_time, moving_time, distance, fuel, first_import FROM riventar.trips",
      "CREATE TABLE riventar.changes ("
      " id BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY,"
      " kind TEXT NOT NULL CHECK (kind IN ('move', 'edit', 'merge', 'delete', 'undo', 'tag')),"
      " at TEXT NOT NULL, computer TEXT NOT NULL,"
      " plate_key TEXT, vehicle TEXT, from_vehicle TEXT,"  // the vehicle changed; where the trips came from
      " import_id BIGINT REFERENCES riventar.imports (id), trips BIGINT NOT NULL,"
      " made TIMESTAMPTZ NOT NULL DEFAULT pg_catalog.now())",
      // A trip inserted by any writer (an earlier program's recorder too) is
      // held by its first import, which then names its vehicle.
      "CREATE FUNCTION riventar.riventar_trips_held() RETURNS trigger LANGUAGE plpgsql SECURITY DEFINER "
      "SET search_path = pg_catalog, riventar, pg_temp AS $$ BEGIN "
      "INSERT INTO riventar.import_trips (stamp, trip_time, moving_time, distance, fuel, import_id) "
      "SELECT stamp, trip_time, moving_time, distance, fuel, first_import FROM held_trips ORDER BY 1, 2, 3, 4, 5 "
      "ON CONFLICT DO NOTHING; "
      "UPDATE riventar.imports i SET plate_key = v.plate_key, vehicle = v.reg_id "
      "FROM (SELECT DISTINCT ON (first_import) first_import, vehicle FROM held_trips ORDER BY first_import) n, "
      "riventar.vehicles v WHERE v.id = n.vehicle AND i.id = n.first_import AND i.plate_key IS NULL; "
      "RETURN NULL; END $$",
      "CREATE TRIGGER trips_held AFTER INSERT ON riventar.trips REFERENCING NEW TABLE AS held_trips "
      "FOR EACH STATEMENT EXECUTE FUNCTION riventar.riventar_trips_held()",
      "CREATE FUNCTION riventar.riventar_trips_unheld() RETURNS trigger LANGUAGE plpgsql SECURITY DEFINER "
      "SET search_path = pg_catalog, riventar, pg_temp AS $$ BEGIN "
      "DELETE FROM riventar.import_trips t USING (SELECT stamp AS s, trip_time AS tt, moving_time AS mt, "
      "distance AS d, fuel AS f FROM gone_trips) u WHERE " +
          same + "; RETURN NULL; END $$",
      "CREATE TRIGGER trips_unheld AFTER DELETE ON riventar.trips REFERENCING OLD TABLE AS gone_trips "
      "FOR EACH STATEMENT EXECUTE FUNCTION riventar.riventar_trips_unheld()",
      "CREATE FUNCTION riventar.riventar_trips_all_unheld() RETURNS trigger LANGUAGE plpgsql SECURITY DEFINER "
      "SET search_path = pg_catalog, riventar, pg_temp AS $$ BEGIN TRUNCATE riventar.import_trips; "
      "RETURN NULL; END $$",
      "CREATE TRIGGER trips_all_unheld AFTER TRUNCATE ON riventar.trips "
      "FOR EACH STATEMENT EXECUTE FUNCTION riventar.riventar_trips_all_unheld()",
      // The recorder's, for every recording: the rows riventar_add_vehicle,
      // imports and trips take as before (an earlier program's recorder still
      // writes them itself), and what the recording holds. Held trips keep
      // their vehicle, except unassigned ones under a reading or import that
      // names a car; saving moves nothing. The unassigned row is locked
      // before the recording's own, as a batch (sorted by plate key) does.
      // The trips that were new; none for a recording id already there.
      QStringLiteral(
          "CREATE FUNCTION %1 RETURNS TABLE (new_stamp bigint, new_trip_time bigint, new_moving_time bigint, "
          "new_distance bigint, new_fuel bigint) LANGUAGE plpgsql SECURITY DEFINER "
          "SET search_path = pg_catalog, riventar, pg_temp AS $$ "
          "DECLARE vehicle_id bigint; new_import bigint; unassigned bigint; existed bigint; BEGIN "
          "IF NOT $15 AND $8 <> '' THEN "
          "SELECT v.id INTO unassigned FROM riventar.vehicles v WHERE v.plate_key = '' FOR UPDATE; END IF; "
          "IF $15 THEN SELECT v.id INTO existed FROM riventar.vehicles v WHERE v.plate_key = $8; END IF; "
          "vehicle_id := riventar.riventar_add_vehicle($8, $9, $10, $11, $12, $13, $14); "
          "INSERT INTO riventar.imports (origin, at, source, source_bytes, read_count, recording, computer, "
          "plate_key, vehicle) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $10) ON CONFLICT (recording) DO NOTHING "
          "RETURNING id INTO new_import; "
          "IF new_import IS NULL THEN RETURN; END IF; "
          // Held before the trips go in: an undo waiting for the table then
          // sees this recording hold them.
          "IF NOT $15 THEN "
          "INSERT INTO riventar.import_trips (stamp, trip_time, moving_time, distance, fuel, import_id) "
          "SELECT DISTINCT u.*, new_import FROM unnest($16, $17, $18, $19, $20) AS u ORDER BY 1, 2, 3, 4, 5 "
          "ON CONFLICT DO NOTHING; END IF; "
          "RETURN QUERY WITH added AS (INSERT INTO riventar.trips AS t (stamp, trip_time, moving_time, distance, "
          "fuel, vehicle, first_import) SELECT u.*, vehicle_id, new_import FROM unnest($16, $17, $18, $19, $20) AS u "
          "ORDER BY 1, 2, 3, 4, 5 ON CONFLICT DO NOTHING "
          "RETURNING t.stamp, t.trip_time, t.moving_time, t.distance, t.fuel) SELECT * FROM added; "
          "IF unassigned IS NOT NULL THEN "
          "UPDATE riventar.trips t SET vehicle = vehicle_id FROM (SELECT DISTINCT * FROM "
          "unnest($16, $17, $18, $19, $20) AS w (s, tt, mt, d, f)) u WHERE t.vehicle = unassigned AND %2; END IF; "
          // A car named only by a saving that filed nothing is not made.
          "IF $15 AND existed IS NULL AND NOT EXISTS (SELECT 1 FROM riventar.trips WHERE vehicle = vehicle_id) THEN "
          "DELETE FROM riventar.vehicles WHERE id = vehicle_id; END IF; "
          "RETURN; END $$")
          .arg(RecordFunction, same),
      // The administrator's corrections, each recorded in riventar.changes
      // with the computer's time and name. What a correction's content makes
      // impossible (a vehicle or import not there included) is refused with a
      // data or integrity error code, which the program says as such.
      QStringLiteral(
          "CREATE FUNCTION riventar.riventar_move(text, text, text, text, bytea, bytea, bytea, text, text, text, "
          "bigint[], bigint[], bigint[], bigint[], bigint[]) RETURNS bigint LANGUAGE plpgsql SECURITY DEFINER "
          "SET search_path = pg_catalog, riventar, pg_temp AS $$ DECLARE target bigint; moved bigint; BEGIN "
          "target := riventar.riventar_add_vehicle($1, $2, $3, $4, $5, $6, $7); "
          "WITH changed AS (UPDATE riventar.trips t SET vehicle = target FROM (SELECT DISTINCT * FROM "
          "unnest($11, $12, $13, $14, $15) AS w (s, tt, mt, d, f)) u WHERE %1 AND t.vehicle <> target RETURNING 1) "
          "SELECT COUNT(*) INTO moved FROM changed; "
          "IF moved > 0 THEN INSERT INTO riventar.changes (kind, at, computer, plate_key, vehicle, from_vehicle, "
          "trips) "
          "SELECT 'move', $8, $9, plate_key, reg_id, $10, moved FROM riventar.vehicles WHERE id = target; END IF; "
          "RETURN moved; END $$")
          .arg(same),
      "CREATE FUNCTION riventar.riventar_edit_vehicle(text, text, text, text, text, bytea, bytea, bytea, text, text) "
      "RETURNS void LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, riventar, pg_temp AS $$ "
      "DECLARE was riventar.vehicles%ROWTYPE; other bigint; BEGIN "
      "IF $1 = '' THEN RAISE EXCEPTION 'no vehicle: the unassigned trips are moved to one, not edited' "
      "USING ERRCODE = 'invalid_parameter_value'; END IF; "
      "IF $2 = '' THEN RAISE EXCEPTION 'a vehicle needs a plate; to unassign its trips, move them' "
      "USING ERRCODE = 'invalid_parameter_value'; END IF; "
      "SELECT * INTO was FROM riventar.vehicles WHERE plate_key = $1 FOR UPDATE; "
      "IF NOT FOUND THEN RAISE EXCEPTION 'no vehicle \"%\" in the logbook', $1 "
      "USING ERRCODE = 'invalid_parameter_value'; END IF; "
      "SELECT id INTO other FROM riventar.vehicles WHERE plate_key = $2; "
      "IF other IS NOT NULL AND other <> was.id THEN "
      "RAISE EXCEPTION 'the plate % is another vehicle''s: merge the two instead', $4 "
      "USING ERRCODE = 'unique_violation'; END IF; "
      "UPDATE riventar.vehicles SET plate_key = $2, model = $3, reg_id = $4, owner = $5, model_bytes = $6, "
      "reg_id_bytes = $7, owner_bytes = $8 WHERE id = was.id; "
      // Its readings and corrections follow it to its new plate.
      "UPDATE riventar.imports SET plate_key = $2 WHERE plate_key = $1; "
      "UPDATE riventar.changes SET plate_key = $2 WHERE plate_key = $1; "
      "INSERT INTO riventar.changes (kind, at, computer, plate_key, vehicle, from_vehicle, trips) "
      "VALUES ('edit', $9, $10, $2, $4, was.reg_id, was.trips); END $$",
      "CREATE FUNCTION riventar.riventar_merge(text, text, text, text, text) RETURNS bigint LANGUAGE plpgsql "
      "SECURITY DEFINER SET search_path = pg_catalog, riventar, pg_temp AS $$ "
      "DECLARE from_id bigint; into_id bigint; moved bigint; BEGIN "
      "IF $1 = $2 THEN RAISE EXCEPTION 'a vehicle cannot be merged into itself' "
      "USING ERRCODE = 'invalid_parameter_value'; END IF; "
      "PERFORM 1 FROM riventar.vehicles WHERE plate_key IN ($1, $2) ORDER BY id FOR UPDATE; "
      "SELECT id INTO from_id FROM riventar.vehicles WHERE plate_key = $1; "
      "SELECT id INTO into_id FROM riventar.vehicles WHERE plate_key = $2; "
      "IF from_id IS NULL OR into_id IS NULL THEN RAISE EXCEPTION 'no vehicle \"%\" in the logbook', "
      "CASE WHEN from_id IS NULL THEN $1 ELSE $2 END USING ERRCODE = 'invalid_parameter_value'; END IF; "
      "WITH changed AS (UPDATE riventar.trips SET vehicle = into_id WHERE vehicle = from_id RETURNING 1) "
      "SELECT COUNT(*) INTO moved FROM changed; "
      "DELETE FROM riventar.vehicles WHERE id = from_id; "
      // Its readings and corrections go with its trips.
      "UPDATE riventar.imports SET plate_key = $2 WHERE plate_key = $1; "
      "UPDATE riventar.changes SET plate_key = $2 WHERE plate_key = $1; "
      "INSERT INTO riventar.changes (kind, at, computer, plate_key, vehicle, from_vehicle, trips) "
      "SELECT 'merge', $3, $4, plate_key, reg_id, $5, moved FROM riventar.vehicles WHERE id = into_id; "
      "RETURN moved; END $$",
      "CREATE FUNCTION riventar.riventar_delete_vehicle(text, text, text) RETURNS void LANGUAGE plpgsql "
      "SECURITY DEFINER SET search_path = pg_catalog, riventar, pg_temp AS $$ "
      "DECLARE was riventar.vehicles%ROWTYPE; held bigint; BEGIN "
      "SELECT * INTO was FROM riventar.vehicles WHERE plate_key = $1 FOR UPDATE; "
      "IF NOT FOUND THEN RAISE EXCEPTION 'no vehicle \"%\" in the logbook', $1 "
      "USING ERRCODE = 'invalid_parameter_value'; END IF; "
      "SELECT COUNT(*) INTO held FROM riventar.trips WHERE vehicle = was.id; "
      "IF held > 0 THEN RAISE EXCEPTION 'the vehicle % still has % %: move them, or merge it into another', "
      "was.reg_id, held, CASE WHEN held = 1 THEN 'trip' ELSE 'trips' END "
      "USING ERRCODE = 'foreign_key_violation'; END IF; "
      "DELETE FROM riventar.vehicles WHERE id = was.id; "
      "INSERT INTO riventar.changes (kind, at, computer, plate_key, vehicle, trips) "
      "VALUES ('delete', $2, $3, $1, was.reg_id, 0); END $$",
      // The vehicles first, then the holdings, which recorders add to before
      // their trips: whatever a recording committed meanwhile is seen.
      QStringLiteral(
          "CREATE FUNCTION riventar.riventar_undo(bigint, text, text) RETURNS bigint LANGUAGE plpgsql "
          "SECURITY DEFINER SET search_path = pg_catalog, riventar, pg_temp AS $$ "
          "DECLARE was riventar.imports%ROWTYPE; removed bigint; BEGIN "
          "PERFORM 1 FROM riventar.vehicles WHERE id IN (SELECT t.vehicle FROM riventar.trips t JOIN "
          "(SELECT stamp AS s, trip_time AS tt, moving_time AS mt, distance AS d, fuel AS f FROM riventar.import_trips "
          "WHERE import_id = $1) u ON %1) ORDER BY id FOR UPDATE; "
          "LOCK TABLE riventar.import_trips IN SHARE ROW EXCLUSIVE MODE; "
          "SELECT * INTO was FROM riventar.imports WHERE id = $1 FOR UPDATE; "
          "IF NOT FOUND THEN RAISE EXCEPTION 'no reading or import % in the logbook', $1 "
          "USING ERRCODE = 'invalid_parameter_value'; END IF; "
          "IF was.undone THEN RAISE EXCEPTION 'the reading or import % was undone already', $1 "
          "USING ERRCODE = 'invalid_parameter_value'; END IF; "
          "WITH gone AS (DELETE FROM riventar.trips t USING (SELECT stamp AS s, trip_time AS tt, moving_time AS mt, "
          "distance AS d, fuel AS f FROM riventar.import_trips WHERE import_id = $1) u WHERE %1 AND NOT EXISTS "
          "(SELECT 1 FROM riventar.import_trips o JOIN riventar.imports i ON i.id = o.import_id "
          "WHERE o.stamp = t.stamp AND o.trip_time = t.trip_time AND o.moving_time = t.moving_time "
          "AND o.distance = t.distance AND o.fuel = t.fuel AND o.import_id <> $1 AND NOT i.undone) RETURNING 1) "
          "SELECT COUNT(*) INTO removed FROM gone; "
          "UPDATE riventar.imports SET undone = true WHERE id = $1; "
          "INSERT INTO riventar.changes (kind, at, computer, plate_key, vehicle, import_id, trips) "
          "VALUES ('undo', $2, $3, was.plate_key, was.vehicle, $1, removed); RETURN removed; END $$")
          .arg(same),
      // An unset tag (NULL) is left as it is.
      QStringLiteral(
          "CREATE FUNCTION riventar.riventar_tag(text, text, text, text, text, bigint[], bigint[], bigint[], "
          "bigint[], bigint[]) RETURNS bigint LANGUAGE plpgsql SECURITY DEFINER "
          "SET search_path = pg_catalog, riventar, pg_temp AS $$ "
          "DECLARE tagged bigint; lowest bigint; highest bigint; BEGIN "
          "WITH changed AS (UPDATE riventar.trips t SET purpose = COALESCE($1, t.purpose), "
          "driver = COALESCE($2, t.driver), note = COALESCE($3, t.note) FROM (SELECT DISTINCT * FROM "
          "unnest($6, $7, $8, $9, $10) AS w (s, tt, mt, d, f)) u WHERE %1 RETURNING t.vehicle) "
          "SELECT COUNT(*), MIN(vehicle), MAX(vehicle) INTO tagged, lowest, highest FROM changed; "
          "IF tagged > 0 THEN INSERT INTO riventar.changes (kind, at, computer, plate_key, vehicle, trips) "
          "SELECT 'tag', $4, $5, v.plate_key, v.reg_id, tagged FROM (SELECT 1) one "
          "LEFT JOIN riventar.vehicles v ON v.id = lowest AND lowest = highest; END IF; "
          "RETURN tagged; END $$")
          .arg(same),
      // The rights again, with the new tables and functions: reading for all
      // three roles, recording for the recorder and the administrator,
      // correcting for the administrator only.
      QStringLiteral(
          "CREATE OR REPLACE FUNCTION riventar.riventar_grant_roles() RETURNS void LANGUAGE plpgsql "
          "SET search_path = pg_catalog, riventar, pg_temp AS $$ DECLARE r record; BEGIN "
          "FOR r IN SELECT a.grantee FROM pg_class c, aclexplode(c.relacl) a "
          "WHERE c.relnamespace = 'riventar'::regnamespace AND a.grantee <> c.relowner "
          "UNION SELECT a.grantee FROM pg_class c JOIN pg_attribute t ON t.attrelid = c.oid, aclexplode(t.attacl) a "
          "WHERE c.relnamespace = 'riventar'::regnamespace AND a.grantee <> c.relowner "
          "UNION SELECT a.grantee FROM pg_proc p, aclexplode(p.proacl) a "
          "WHERE p.pronamespace = 'riventar'::regnamespace AND a.grantee <> p.proowner "
          "UNION SELECT a.grantee FROM pg_namespace n, aclexplode(n.nspacl) a "
          "WHERE n.nspname = 'riventar' AND a.grantee <> n.nspowner LOOP "
          "IF r.grantee <> 0 THEN "
          "EXECUTE format('REVOKE ALL ON ALL TABLES IN SCHEMA riventar FROM %s', r.grantee::regrole); "
          "EXECUTE format('REVOKE ALL ON ALL SEQUENCES IN SCHEMA riventar FROM %s', r.grantee::regrole); "
          "EXECUTE format('REVOKE ALL ON ALL FUNCTIONS IN SCHEMA riventar FROM %s', r.grantee::regrole); "
          "EXECUTE format('REVOKE ALL ON SCHEMA riventar FROM %s', r.grantee::regrole); END IF; END LOOP; "
          "REVOKE ALL ON ALL TABLES IN SCHEMA riventar FROM PUBLIC; "
          "REVOKE ALL ON ALL SEQUENCES IN SCHEMA riventar FROM PUBLIC; "
          "REVOKE ALL ON ALL FUNCTIONS IN SCHEMA riventar FROM PUBLIC; "
          "REVOKE ALL ON SCHEMA riventar FROM PUBLIC; "
          "FOR r IN SELECT rolname FROM pg_roles "
          "WHERE rolname IN ('riventar_reader', 'riventar_recorder', 'riventar_admin') LOOP "
          "EXECUTE format('GRANT USAGE ON SCHEMA riventar TO %I', r.rolname); "
          "EXECUTE format('GRANT SELECT ON riventar.schema_version, riventar.vehicles, riventar.imports, "
          "riventar.trips, riventar.import_trips, riventar.changes TO %I', r.rolname); "
          "IF r.rolname <> 'riventar_reader' THEN "
          "EXECUTE format('GRANT INSERT (origin, at, source, source_bytes, read_count, recording) "
          "ON riventar.imports TO %I', r.rolname); "
          "EXECUTE format('GRANT INSERT ON riventar.trips TO %I', r.rolname); "
          "EXECUTE format('GRANT EXECUTE ON FUNCTION "
          "riventar.riventar_add_vehicle(text, text, text, text, bytea, bytea, bytea), %1 TO %I', r.rolname); "
          "END IF; "
          "IF r.rolname = 'riventar_admin' THEN "
          "EXECUTE format('GRANT EXECUTE ON FUNCTION "
          "riventar.riventar_set_vehicle(text, text, text, text, bytea, bytea, bytea), "
          "riventar.riventar_move_trips(bigint, bigint[], bigint[], bigint[], bigint[], bigint[]), "
          "riventar.riventar_recount(), %2 TO %I', r.rolname); END IF; END LOOP; END $$")
          .arg(RecordFunction, CorrectionFunctions),
  };
}

// Step i brings a logbook from version i to i + 1; a released step is never
// changed. The tables and columns are the SQLite file's, in PostgreSQL's words.
// Every step runs in the schema riventar (steps 1 and 2 once ran in the
// owner's current schema: Migrate moves such a logbook first).
const SchemaSteps& Migrations() {
  static const SchemaSteps steps = {
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
      {
          // Trips as the device and the ".dat" format can give them: a stamp
          // of six bytes, 32-bit measures, and the lower bounds both apply. A
          // row outside them, made by hand, is kept aside, not deleted.
          "CREATE TABLE riventar.trips_set_aside (LIKE riventar.trips, "
          "set_aside_at TIMESTAMPTZ NOT NULL DEFAULT pg_catalog.now())",
          QStringLiteral("WITH bad AS (DELETE FROM riventar.trips WHERE NOT (%1) RETURNING *) "
                         "INSERT INTO riventar.trips_set_aside (stamp, trip_time, moving_time, distance, fuel, "
                         "vehicle, first_import) SELECT stamp, trip_time, moving_time, distance, fuel, vehicle, "
                         "first_import FROM bad")
              .arg(TripRanges),
          QStringLiteral("ALTER TABLE riventar.trips ADD CONSTRAINT trip_ranges CHECK (%1)").arg(TripRanges),
          // PostgreSQL's text holds no NUL: a text that it cannot hold as
          // given is kept here byte for byte, its column holding it cleaned
          // for display. NULL: the text column is the original.
          "ALTER TABLE riventar.vehicles ADD COLUMN model_bytes BYTEA, ADD COLUMN reg_id_bytes BYTEA, "
          "ADD COLUMN owner_bytes BYTEA",
          "ALTER TABLE riventar.imports ADD COLUMN source_bytes BYTEA",
          // Every function runs with this path and names what it uses: no
          // object of a caller's schema (an operator, a function, a table)
          // can take the place of the logbook's. pg_temp is never searched
          // for functions or operators, and last for tables.
          "DROP FUNCTION riventar.riventar_vehicle(text, text, text, text, boolean)",
          // The recorder's: a vehicle made when missing (its texts then those
          // given), never changed; locked either way.
          "CREATE FUNCTION riventar.riventar_add_vehicle(text, text, text, text, bytea, bytea, bytea) "
          "RETURNS bigint LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, riventar, pg_temp AS $$ "
          "DECLARE vehicle_id bigint; BEGIN "
          "INSERT INTO riventar.vehicles (plate_key, model, reg_id, owner, model_bytes, reg_id_bytes, owner_bytes, "
          "trips, distance) VALUES ($1, $2, $3, $4, $5, $6, $7, 0, 0) ON CONFLICT (plate_key) DO NOTHING "
          "RETURNING id INTO vehicle_id; "
          "IF vehicle_id IS NULL THEN "
          "SELECT id INTO vehicle_id FROM riventar.vehicles WHERE plate_key = $1 FOR UPDATE; END IF; "
          "RETURN vehicle_id; END $$",
          // The administrator's: a saved table's texts become the vehicle's.
          "CREATE FUNCTION riventar.riventar_set_vehicle(text, text, text, text, bytea, bytea, bytea) "
          "RETURNS bigint LANGUAGE sql SECURITY DEFINER SET search_path = pg_catalog, riventar, pg_temp AS $$ "
          "INSERT INTO riventar.vehicles AS v (plate_key, model, reg_id, owner, model_bytes, reg_id_bytes, "
          "owner_bytes, trips, distance) VALUES ($1, $2, $3, $4, $5, $6, $7, 0, 0) "
          "ON CONFLICT (plate_key) DO UPDATE SET model = excluded.model, reg_id = excluded.reg_id, "
          "owner = excluded.owner, model_bytes = excluded.model_bytes, reg_id_bytes = excluded.reg_id_bytes, "
          "owner_bytes = excluded.owner_bytes RETURNING id $$",
          // The administrator's: a saved table's trips move to its vehicle.
          "CREATE OR REPLACE FUNCTION riventar.riventar_move_trips(vehicle bigint, stamps bigint[], "
          "trip_times bigint[], moving_times bigint[], distances bigint[], fuels bigint[]) "
          "RETURNS void LANGUAGE sql SECURITY DEFINER SET search_path = pg_catalog, riventar, pg_temp AS $$ "
          "WITH wanted AS (SELECT DISTINCT * FROM unnest($2, $3, $4, $5, $6) "
          "AS u (stamp, trip_time, moving_time, distance, fuel)), "
          "moved AS (SELECT t.stamp, t.trip_time, t.moving_time, t.distance, t.fuel FROM riventar.trips t "
          "JOIN wanted USING (stamp, trip_time, moving_time, distance, fuel) WHERE t.vehicle <> $1 "
          "ORDER BY 1, 2, 3, 4, 5 FOR UPDATE OF t) "
          "UPDATE riventar.trips SET vehicle = $1 FROM moved WHERE trips.stamp = moved.stamp "
          "AND trips.trip_time = moved.trip_time AND trips.moving_time = moved.moving_time "
          "AND trips.distance = moved.distance AND trips.fuel = moved.fuel $$",
          // Totals are summed as numeric and held within bigint: no trip can
          // make a later recording fail.
          QStringLiteral("CREATE OR REPLACE FUNCTION riventar.riventar_trips_added() RETURNS trigger LANGUAGE plpgsql "
                         "SECURITY DEFINER SET search_path = pg_catalog, riventar, pg_temp AS $$ BEGIN "
                         "UPDATE riventar.vehicles v SET trips = v.trips + n.trips, "
                         "distance = LEAST(v.distance::numeric + n.distance, %1)::bigint, "
                         "first_stamp = LEAST(v.first_stamp, n.first), last_stamp = GREATEST(v.last_stamp, n.last) "
                         "FROM (SELECT vehicle, COUNT(*) AS trips, SUM(distance) AS distance, MIN(stamp) AS first, "
                         "MAX(stamp) AS last FROM new_trips GROUP BY vehicle) n WHERE v.id = n.vehicle; "
                         "UPDATE riventar.imports i SET added = LEAST(i.added::bigint + n.added, 2147483647)::integer "
                         "FROM (SELECT first_import, COUNT(*) AS added FROM new_trips GROUP BY first_import) n "
                         "WHERE i.id = n.first_import; "
                         "RETURN NULL; END $$")
              .arg(BigintMax),
          QStringLiteral(
              "CREATE OR REPLACE FUNCTION riventar.riventar_trips_changed() RETURNS trigger LANGUAGE plpgsql "
              "SECURITY DEFINER SET search_path = pg_catalog, riventar, pg_temp AS $$ BEGIN "
              "PERFORM 1 FROM riventar.vehicles WHERE id IN "
              "(SELECT vehicle FROM old_trips UNION SELECT vehicle FROM new_trips) ORDER BY id FOR UPDATE; "
              "UPDATE riventar.vehicles v SET trips = GREATEST(v.trips + d.trips, 0), "
              "distance = GREATEST(LEAST(v.distance::numeric + d.distance, %1), 0)::bigint, "
              "first_stamp = (SELECT MIN(stamp) FROM riventar.trips WHERE vehicle = v.id), "
              "last_stamp = (SELECT MAX(stamp) FROM riventar.trips WHERE vehicle = v.id) "
              "FROM (SELECT vehicle, SUM(n) AS trips, SUM(distance) AS distance FROM "
              "(SELECT vehicle, 1 AS n, distance::numeric FROM new_trips UNION ALL "
              "SELECT vehicle, -1, -distance::numeric FROM old_trips) c GROUP BY vehicle) d WHERE v.id = d.vehicle; "
              "RETURN NULL; END $$")
              .arg(BigintMax),
          // Trips deleted or truncated by the owner take their part of the
          // totals with them.
          QStringLiteral(
              "CREATE FUNCTION riventar.riventar_trips_removed() RETURNS trigger LANGUAGE plpgsql "
              "SECURITY DEFINER SET search_path = pg_catalog, riventar, pg_temp AS $$ BEGIN "
              "PERFORM 1 FROM riventar.vehicles WHERE id IN (SELECT vehicle FROM old_trips) ORDER BY id FOR UPDATE; "
              "UPDATE riventar.vehicles v SET trips = GREATEST(v.trips - d.trips, 0), "
              "distance = GREATEST(v.distance::numeric - d.distance, 0)::bigint, "
              "first_stamp = (SELECT MIN(stamp) FROM riventar.trips WHERE vehicle = v.id), "
              "last_stamp = (SELECT MAX(stamp) FROM riventar.trips WHERE vehicle = v.id) "
              "FROM (SELECT vehicle, COUNT(*) AS trips, SUM(distance) AS distance FROM old_trips GROUP BY vehicle) d "
              "WHERE v.id = d.vehicle; RETURN NULL; END $$"),
          "CREATE TRIGGER trips_removed AFTER DELETE ON riventar.trips REFERENCING OLD TABLE AS old_trips "
          "FOR EACH STATEMENT EXECUTE FUNCTION riventar.riventar_trips_removed()",
          // Every vehicle's totals counted again from its trips; the number
          // of vehicles whose kept totals were wrong. Trips wait meanwhile.
          QStringLiteral("CREATE FUNCTION riventar.riventar_recount() RETURNS bigint LANGUAGE plpgsql SECURITY DEFINER "
                         "SET search_path = pg_catalog, riventar, pg_temp AS $$ DECLARE fixed bigint; BEGIN "
                         "LOCK TABLE riventar.trips IN SHARE MODE; "
                         "WITH counted AS (SELECT v.id, COUNT(t.vehicle) AS trips, "
                         "LEAST(COALESCE(SUM(t.distance), 0), %1)::bigint AS distance, MIN(t.stamp) AS first, "
                         "MAX(t.stamp) AS last FROM riventar.vehicles v LEFT JOIN riventar.trips t ON t.vehicle = v.id "
                         "GROUP BY v.id), "
                         "changed AS (UPDATE riventar.vehicles v SET trips = c.trips, distance = c.distance, "
                         "first_stamp = c.first, last_stamp = c.last FROM counted c WHERE v.id = c.id "
                         "AND (v.trips, v.distance, v.first_stamp, v.last_stamp) IS DISTINCT FROM "
                         "(c.trips, c.distance, c.first, c.last) RETURNING 1) "
                         "SELECT COUNT(*) INTO fixed FROM changed; RETURN fixed; END $$")
              .arg(BigintMax),
          "CREATE FUNCTION riventar.riventar_trips_truncated() RETURNS trigger LANGUAGE plpgsql SECURITY DEFINER "
          "SET search_path = pg_catalog, riventar, pg_temp AS $$ BEGIN PERFORM riventar.riventar_recount(); "
          "RETURN NULL; END $$",
          "CREATE TRIGGER trips_truncated AFTER TRUNCATE ON riventar.trips "
          "FOR EACH STATEMENT EXECUTE FUNCTION riventar.riventar_trips_truncated()",
          // Totals a hand or an earlier version left wrong are right from now on.
          "SELECT riventar.riventar_recount()",
          "ALTER TABLE riventar.vehicles ADD CONSTRAINT vehicle_totals CHECK (trips >= 0 AND distance >= 0)",
          // The rights of the roles, all of them set anew: a GRANT of an
          // earlier version (UPDATE, DELETE, a function since taken away) is
          // gone. Run by every migration, and by the owner after making a
          // role; only the owner's.
          "CREATE FUNCTION riventar.riventar_grant_roles() RETURNS void LANGUAGE plpgsql "
          "SET search_path = pg_catalog, riventar, pg_temp AS $$ DECLARE r record; BEGIN "
          "FOR r IN SELECT a.grantee FROM pg_class c, aclexplode(c.relacl) a "
          "WHERE c.relnamespace = 'riventar'::regnamespace AND a.grantee <> c.relowner "
          "UNION SELECT a.grantee FROM pg_class c JOIN pg_attribute t ON t.attrelid = c.oid, aclexplode(t.attacl) a "
          "WHERE c.relnamespace = 'riventar'::regnamespace AND a.grantee <> c.relowner "
          "UNION SELECT a.grantee FROM pg_proc p, aclexplode(p.proacl) a "
          "WHERE p.pronamespace = 'riventar'::regnamespace AND a.grantee <> p.proowner "
          "UNION SELECT a.grantee FROM pg_namespace n, aclexplode(n.nspacl) a "
          "WHERE n.nspname = 'riventar' AND a.grantee <> n.nspowner LOOP "
          "IF r.grantee <> 0 THEN "
          "EXECUTE format('REVOKE ALL ON ALL TABLES IN SCHEMA riventar FROM %s', r.grantee::regrole); "
          "EXECUTE format('REVOKE ALL ON ALL SEQUENCES IN SCHEMA riventar FROM %s', r.grantee::regrole); "
          "EXECUTE format('REVOKE ALL ON ALL FUNCTIONS IN SCHEMA riventar FROM %s', r.grantee::regrole); "
          "EXECUTE format('REVOKE ALL ON SCHEMA riventar FROM %s', r.grantee::regrole); END IF; END LOOP; "
          "REVOKE ALL ON ALL TABLES IN SCHEMA riventar FROM PUBLIC; "
          "REVOKE ALL ON ALL SEQUENCES IN SCHEMA riventar FROM PUBLIC; "
          "REVOKE ALL ON ALL FUNCTIONS IN SCHEMA riventar FROM PUBLIC; "
          "REVOKE ALL ON SCHEMA riventar FROM PUBLIC; "
          "FOR r IN SELECT rolname FROM pg_roles "
          "WHERE rolname IN ('riventar_reader', 'riventar_recorder', 'riventar_admin') LOOP "
          "EXECUTE format('GRANT USAGE ON SCHEMA riventar TO %I', r.rolname); "
          "EXECUTE format('GRANT SELECT ON riventar.schema_version, riventar.vehicles, riventar.imports, "
          "riventar.trips TO %I', r.rolname); "
          "IF r.rolname <> 'riventar_reader' THEN "
          "EXECUTE format('GRANT INSERT (origin, at, source, source_bytes, read_count, recording) "
          "ON riventar.imports TO %I', r.rolname); "
          "EXECUTE format('GRANT INSERT ON riventar.trips TO %I', r.rolname); "
          "EXECUTE format('GRANT EXECUTE ON FUNCTION "
          "riventar.riventar_add_vehicle(text, text, text, text, bytea, bytea, bytea) TO %I', r.rolname); END IF; "
          "IF r.rolname = 'riventar_admin' THEN "
          "EXECUTE format('GRANT EXECUTE ON FUNCTION "
          "riventar.riventar_set_vehicle(text, text, text, text, bytea, bytea, bytea), "
          "riventar.riventar_move_trips(bigint, bigint[], bigint[], bigint[], bigint[], bigint[]), "
          "riventar.riventar_recount() TO %I', r.rolname); END IF; END LOOP; END $$",
      },
      CorrectionStep(),
      // Each vehicle's totals by month (pg_months.h).
      MonthTotalsStep(),
  };
  return steps;
}

// The schema of the logbook; the path every session and function runs with.
constexpr char Schema[] = "riventar";
constexpr char SafePath[] = "pg_catalog, riventar, pg_temp";

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

// A text as PostgreSQL can hold it: UTF-8 without NUL (a NUL, or bytes that
// are not UTF-8, become U+FFFD).
QString Cleaned(const std::string& text) {
  QString clean = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  clean.replace(QChar(u'\0'), QChar(0xFFFD));
  return clean;
}

// ---- Reaching the server ----

using Options = std::map<std::string, std::string>;
using Clock = std::chrono::steady_clock;

std::string OneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

// libpq's own reading of the URI: Qt's driver would pass it on as a database
// name, which libpq's PQconnectdb takes literally.
Options Parsed(const std::string& location, const std::string& shown) {
  char* parseError = nullptr;
  std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)> parsed(PQconninfoParse(location.c_str(), &parseError),
                                                                      &PQconninfoFree);
  if (!parsed) {
    const std::string why = parseError ? parseError : "out of memory";
    PQfreemem(parseError);
    throw StoreError(Kind::CannotOpen, shown, Scrubbed(OneLine(why), location));
  }
  Options options;
  for (const PQconninfoOption* o = parsed.get(); o->keyword != nullptr; ++o)
    if (o->val != nullptr) options[o->keyword] = o->val;
  return options;
}

struct Arrays {
  explicit Arrays(const Options& options) {
    for (const auto& [key, value] : options) {
      keys.push_back(key.c_str());
      values.push_back(value.c_str());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
  }
  std::vector<const char*> keys, values;
};

using PgConnection = std::unique_ptr<PGconn, decltype(&PQfinish)>;

// The options as libpq will use them: the service file's and the
// environment's added to the URI's. PQconnectStartParams adds them as for a
// real connection; an impossible target_session_attrs, which libpq checks
// after everything else, stops it before it reaches anybody.
Options InEffect(Options stated, const std::string& location, const std::string& shown) {
  static constexpr char Stop[] = "riventar-reads-its-options";
  stated["target_session_attrs"] = Stop;
  const Arrays arrays(stated);
  const PgConnection probe(PQconnectStartParams(arrays.keys.data(), arrays.values.data(), 0), &PQfinish);
  if (!probe) throw StoreError(Kind::Other, shown, "out of memory");
  const std::string why = PQerrorMessage(probe.get());
  // Another error is the options' own: no such service, a bad value.
  if (PQstatus(probe.get()) == CONNECTION_BAD && why.find(Stop) == std::string::npos)
    throw StoreError(Kind::CannotOpen, shown, Scrubbed(OneLine(why), location));
  const std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)> found(PQconninfo(probe.get()), &PQconninfoFree);
  if (!found) throw StoreError(Kind::Other, shown, "out of memory");
  Options options;
  for (const PQconninfoOption* o = found.get(); o->keyword != nullptr; ++o)
    if (o->val != nullptr) options[o->keyword] = o->val;
  return options;
}

// The root certificate that can prove the server: the one named (a file that
// exists, or "system" where libpq knows it), else ~/.postgresql/root.crt.
std::string RootCertificate(const Options& inEffect, const std::string& shown) {
  std::error_code ignored;
  const auto named = inEffect.find("sslrootcert");
  if (named != inEffect.end() && !named->second.empty()) {
    if (named->second == "system") {
      if (PQlibVersion() >= 160000) return named->second;
      throw StoreError(Kind::CannotOpen, shown,
                       "sslrootcert=system needs libpq 16 or newer; name the root certificate's file instead");
    }
    return std::filesystem::is_regular_file(named->second, ignored) ? named->second : std::string();
  }
  std::string home;
  if (const char* env = std::getenv("HOME"); env != nullptr && *env != '\0') {
    home = env;
  } else {
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr)
      home = found->pw_dir;
  }
  if (home.empty()) return {};
  const std::string path = home + "/.postgresql/root.crt";
  return std::filesystem::is_regular_file(path, ignored) ? path : std::string();
}

// A connection with `options` made by `deadline`, or null with libpq's
// words in `why`. PQconnectPoll leaves the time limit to its caller.
PgConnection ConnectedBy(const Options& options, Clock::time_point deadline, std::string& why) {
  Options own = options;
  own.erase("connect_timeout");
  const Arrays arrays(own);
  PgConnection c(PQconnectStartParams(arrays.keys.data(), arrays.values.data(), 0), &PQfinish);
  if (!c) {
    why = "out of memory";
    return c;
  }
  for (PostgresPollingStatusType state = PGRES_POLLING_WRITING;;) {
    if (PQstatus(c.get()) == CONNECTION_BAD || state == PGRES_POLLING_FAILED) {
      why = OneLine(PQerrorMessage(c.get()));
      return PgConnection(nullptr, &PQfinish);
    }
    if (state == PGRES_POLLING_OK) return c;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd ready{PQsocket(c.get()), static_cast<short>(state == PGRES_POLLING_READING ? POLLIN : POLLOUT), 0};
    const int got = left.count() > 0 ? ::poll(&ready, 1, static_cast<int>(left.count())) : 0;
    if (got == 0) {
      why = "no answer in time";
      return PgConnection(nullptr, &PQfinish);
    }
    if (got < 0 && errno != EINTR) {
      why = std::string("poll: ") + std::strerror(errno);
      return PgConnection(nullptr, &PQfinish);
    }
    if (got > 0) state = PQconnectPoll(c.get());
  }
}

std::vector<std::string> Split(const std::string& list) {
  std::vector<std::string> items;
  for (std::size_t at = 0; !list.empty();) {
    const std::size_t comma = list.find(',', at);
    items.push_back(list.substr(at, comma == std::string::npos ? std::string::npos : comma - at));
    if (comma == std::string::npos) break;
    at = comma + 1;
  }
  return items;
}

// The open connections' cancel requests, for a signal handler: lock-free
// slots, each a connection's while it lives.
std::array<std::atomic<PGcancel*>, 16> cancels{};
static_assert(std::atomic<PGcancel*>::is_always_lock_free);

class CancelSlot {
 public:
  explicit CancelSlot(PGconn* connection) : request_(PQgetCancel(connection)) {
    for (std::atomic<PGcancel*>& slot : cancels) {
      PGcancel* empty = nullptr;
      if (request_ != nullptr && slot.compare_exchange_strong(empty, request_)) {
        slot_ = &slot;
        return;
      }
    }
  }
  ~CancelSlot() {
    if (slot_ != nullptr) slot_->store(nullptr);
    PQfreeCancel(request_);
  }
  CancelSlot(const CancelSlot&) = delete;
  CancelSlot& operator=(const CancelSlot&) = delete;

 private:
  PGcancel* request_;
  std::atomic<PGcancel*>* slot_ = nullptr;
};

// Closes the connection's socket when a statement had no answer within the
// silence: libpq then reports a lost connection instead of waiting forever
// (the server's own timeouts need a server that runs).
class SilenceWatch {
 public:
  SilenceWatch(int socket, std::chrono::milliseconds silence)
      : socket_(socket), silence_(silence), thread_([this] { Watch(); }) {}
  ~SilenceWatch() {
    {
      const std::lock_guard lock(mutex_);
      ending_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  SilenceWatch(const SilenceWatch&) = delete;
  SilenceWatch& operator=(const SilenceWatch&) = delete;

  void Sent() {
    {
      const std::lock_guard lock(mutex_);
      deadline_ = Clock::now() + silence_;
    }
    changed_.notify_all();
  }
  void Answered() {
    const std::lock_guard lock(mutex_);
    deadline_.reset();
  }

 private:
  void Watch() {
    std::unique_lock lock(mutex_);
    while (!ending_) {
      if (!deadline_) {
        changed_.wait(lock);
      } else if (changed_.wait_until(lock, *deadline_) == std::cv_status::timeout && deadline_ &&
                 Clock::now() >= *deadline_) {
        ::shutdown(socket_, SHUT_RDWR);  // the socket stays libpq's to close
        deadline_.reset();
      }
    }
  }

  int socket_;
  std::chrono::milliseconds silence_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::optional<Clock::time_point> deadline_;
  bool ending_ = false;
  std::thread thread_;
};

// ---- One connection ----

// PostgreSQL's dialect: its errors, its collations, and a server that may
// fall silent. Unqualified names are found in the session's path (SafePath).
const Dialect Postgres{QStringLiteral("BEGIN"), QStringLiteral("riventar.schema_version"),
                       // Byte order, as the SQLite file sorts, whatever the database's collation.
                       QStringLiteral(" COLLATE \"C\"")};

class Connection final : public SqlConnection {
 public:
  Connection(const std::string& location, const ServerTimeouts& timeouts)
      : SqlConnection(Postgres, QStringLiteral("riventar-server-logbook-%1").arg(++counter_),
                      RedactedLocation(location)),
        location_(location) {
    if (!IsServerLocation(location))
      throw StoreError(Kind::CannotOpen, Shown(), "not a postgresql:// or postgres:// URI");
    const Clock::time_point deadline = Clock::now() + timeouts.connect;
    Options options = Parsed(location, Shown());
    stated_ = options.count("sslmode") ? options["sslmode"] : std::string();

    // Whatever brings the hosts (the URI, a service file, PGHOST, PGHOSTADDR),
    // the rule is settled before anything is sent to any of them.
    Options inEffect = InEffect(options, location, Shown());
    const std::vector<ServerEndpoint> endpoints = EndpointsOf(inEffect["host"], inEffect["hostaddr"]);
    const TlsSettings tls = TlsFor(endpoints, stated_, inEffect["sslmode"], RootCertificate(inEffect, Shown()));
    if (!tls.sslMode.empty()) options["sslmode"] = tls.sslMode;
    if (!tls.channelBinding.empty()) options["channel_binding"] = tls.channelBinding;
    if (!tls.rootCertificate.empty()) options["sslrootcert"] = tls.rootCertificate;
    if (options["application_name"].empty()) options["application_name"] = "riventar";

    if (endpoints.size() > 1) {
      // libpq's connect_timeout is per host: the hosts are tried here, one
      // after the other, each in its share of what is left, and the one that
      // answered is connected to again.
      const std::vector<std::string> ports = Split(inEffect["port"]);
      std::string why;
      bool found = false;
      for (std::size_t i = 0; i < endpoints.size() && !found; ++i) {
        Options one = options;
        one["host"] = endpoints[i].host;
        one["hostaddr"] = endpoints[i].address;
        if (ports.size() == endpoints.size()) one["port"] = ports[i];
        const auto share = (deadline - Clock::now()) / static_cast<long>(endpoints.size() - i);
        const PgConnection tried = ConnectedBy(one, Clock::now() + share, why);
        if (!tried) continue;
        one["host"] = PQhost(tried.get());
        one["hostaddr"] = PQhostaddr(tried.get()) ? PQhostaddr(tried.get()) : "";
        one["port"] = PQport(tried.get());
        options = one;
        found = true;
      }
      if (!found)
        throw StoreError(
            Kind::CannotOpen, Shown(),
            Scrubbed("no server answered within " + std::to_string(timeouts.connect.count()) + " s; the last: " + why,
                     location));
      const auto left = std::chrono::ceil<std::chrono::seconds>(deadline - Clock::now());
      options["connect_timeout"] = std::to_string(std::max<std::int64_t>(2, left.count()));
    } else if (options["connect_timeout"].empty()) {
      options["connect_timeout"] = std::to_string(timeouts.connect.count());
    }

    db_ = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), Name());
    if (!db_.isValid())
      throw StoreError(Kind::Other, Shown(), "Qt's PostgreSQL driver is missing (the package libqt6sql6-psql)");
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
        throw StoreError(Kind::CannotOpen, Shown(), "the parameter " + key + " holds a ';', which cannot be passed on");
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
      throw StoreError(Kind::CannotOpen, Shown(), Scrubbed(OneLine(text.trimmed().toStdString()), location));
    }
    try {
      PGconn* const connection = Handle();
      CheckEncryption(connection);
      cancel_ = std::make_unique<CancelSlot>(connection);
      watch_ = std::make_unique<SilenceWatch>(PQsocket(connection), timeouts.silence);
      Exec(QStringLiteral("SET client_min_messages = warning"));
      Exec(QStringLiteral("SET statement_timeout = %1").arg(timeouts.statement.count()));
      Exec(QStringLiteral("SET lock_timeout = %1").arg(timeouts.lock.count()));
    } catch (const StoreError&) {
      Close();
      throw;
    }
  }
  ~Connection() override { Close(); }

  [[noreturn]] void Fail(const QSqlError& error) override {
    // Rolled back at once (a COMMIT that fails has ended the transaction
    // too): the statements that go out of scope while the exception unwinds
    // are freed on the server, which an aborted transaction would refuse.
    if (inTransaction_) {
      inTransaction_ = false;
      Sending();
      const QSqlQuery rollback(QStringLiteral("ROLLBACK"), db_);
      Answered();
    }
    const QString state = error.nativeErrorCode();
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    const std::string detail = Scrubbed(OneLine(text.trimmed().toStdString()), location_);
    if (state == "40001" || state == "40P01") throw Conflict(Kind::Locked, Shown(), detail);
    // A data exception or a broken constraint: the statement's content.
    if (state.startsWith("22") || state.startsWith("23")) throw RecordingRefused(KindOf(state), Shown(), detail);
    throw StoreError(KindOf(state), Shown(), detail);
  }

  QVariant Text(const std::string& text) const override { return Cleaned(text); }

  // While one lives, within a transaction: no statement timeout and no watch
  // for silence, for changes to the schema, which take as long as the
  // tables are big.
  class Unhurried {
   public:
    explicit Unhurried(Connection& c) : c_(c) {
      c_.Exec(QStringLiteral("SET LOCAL statement_timeout = 0"));
      c_.unhurried_ = true;
    }
    ~Unhurried() { c_.unhurried_ = false; }
    Unhurried(const Unhurried&) = delete;
    Unhurried& operator=(const Unhurried&) = delete;

   private:
    Connection& c_;
  };

 protected:
  // While a statement is out, the silence is watched.
  void Sending() override {
    if (watch_ && !unhurried_) watch_->Sent();
  }
  void Answered() override {
    if (watch_ && !unhurried_) watch_->Answered();
  }

 private:
  PGconn* Handle() {
    const QVariant handle = db_.driver()->handle();
    // The driver hands out its PGconn* under the struct's own name.
    PGconn* const connection = handle.isValid() && qstrcmp(handle.typeName(), "pg_conn*") == 0
                                   ? *static_cast<PGconn* const*>(handle.data())
                                   : nullptr;
    if (connection == nullptr)
      throw StoreError(Kind::Other, Shown(), "Qt's PostgreSQL driver gives no connection to check");
    return connection;
  }

  // The rule again, on the connection made: a session to a remote server in
  // plain text goes no further.
  void CheckEncryption(PGconn* connection) {
    const char* host = PQhost(connection);
    const char* address = PQhostaddr(connection);
    const ServerEndpoint server{host ? host : "", address ? address : ""};
    if (PQsslInUse(connection) == 0 && !PlainTextAllowed(server, stated_))
      throw StoreError(Kind::CannotOpen, Shown(),
                       "the connection to " + server.host +
                           " is not encrypted (TLS); the server must offer TLS, or the URI must say sslmode=disable");
  }

  void Close() {
    watch_.reset();
    cancel_.reset();
    SqlConnection::Close();
  }

  static inline std::atomic<int> counter_{0};
  std::string location_;
  std::string stated_;  // the URI's sslmode
  bool unhurried_ = false;
  std::unique_ptr<CancelSlot> cancel_;
  std::unique_ptr<SilenceWatch> watch_;
};

QString Quoted(QString identifier) { return '"' + identifier.replace('"', QStringLiteral("\"\"")) + '"'; }

bool HasVersionTable(Connection& c, const QString& schema) {
  // Read from the catalog with the statement's snapshot: to_regclass() would
  // consult the session's catalog cache, which a wait on an advisory lock
  // does not refresh, and miss a schema made meanwhile.
  QSqlQuery exists =
      c.Prepared(QStringLiteral("SELECT EXISTS (SELECT 1 FROM pg_catalog.pg_tables WHERE schemaname = ? "
                                "AND tablename = 'schema_version')"));
  exists.bindValue(0, schema);
  c.Run(exists);
  return exists.next() && exists.value(0).toBool();
}

// Where the logbook is, and its version (0: none yet). `legacy`: the schema
// an earlier version made it in (the owner's current schema), where it still
// is; empty once it is in riventar.
struct Found {
  int version = 0;
  QString legacy;
};

// Version 3 leaves this in the schema it moved the logbook from, so that an
// earlier program finds a newer logbook there rather than none.
constexpr int MovedMark = 3;

Found ReadVersion(Connection& c, const QString& currentSchema) {
  Found found;
  QString schema = QString::fromLatin1(Schema);
  if (!HasVersionTable(c, schema)) {
    if (currentSchema.isEmpty() || currentSchema == schema || !HasVersionTable(c, currentSchema)) return found;
    schema = found.legacy = currentSchema;
  }
  // Without the right to use the schema: permission denied, ReadOnly.
  QSqlQuery read = c.Prepared(QStringLiteral("SELECT MAX(version) FROM %1.schema_version").arg(Quoted(schema)));
  const std::optional<std::int64_t> version = c.Value(read);
  if (!version) throw StoreError(Kind::Corrupt, c.Shown(), "the logbook has no schema version");
  if (*version > ServerSchemaVersion)
    throw StoreError(Kind::Newer, c.Shown(),
                     "the server's logbook has schema version " + std::to_string(*version) +
                         ", this program knows up to " + std::to_string(ServerSchemaVersion) +
                         ": it needs a newer Riventar; the server was left as it is");
  if (!found.legacy.isEmpty() && *version >= MovedMark)
    throw StoreError(Kind::Corrupt, c.Shown(),
                     "the logbook was moved to the schema riventar, which is missing; the server was left as it is");
  found.version = static_cast<int>(*version);
  return found;
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

// `text` cleaned at `at`, and its own bytes at `bytesAt` when cleaning
// changed it (else NULL).
void BindText(QSqlQuery& q, int at, int bytesAt, const std::string& text) {
  const QString clean = Cleaned(text);
  q.bindValue(at, clean);
  q.bindValue(bytesAt, clean.toStdString() == text
                           ? QVariant(QMetaType(QMetaType::QByteArray))
                           : QVariant(QByteArray(text.data(), static_cast<qsizetype>(text.size()))));
}

// ---- The store ----

class PgStore final : public SqlStore<Store, Connection> {
 public:
  PgStore(const std::string& location, const ServerTimeouts& timeouts) : SqlStore(location, timeouts) {
    // Where an earlier version made the logbook; then this session's path is
    // the one the logbook's functions run with, whatever the role's default.
    QSqlQuery current = c_.Exec(QStringLiteral("SELECT current_schema()"));
    if (current.next()) currentSchema_ = current.value(0).toString();
    current.finish();
    c_.Exec(QStringLiteral("SET search_path = %1").arg(QString::fromLatin1(SafePath)));
    if (ReadVersion(c_, currentSchema_).version < ServerSchemaVersion) Migrate();
  }

  Recorded Record(const Recording& recording) override {
    return Retrying([&] { return Alone(recording, false); });
  }
  Recorded RecordSaved(const Recording& recording) override {
    return Retrying([&] { return Alone(recording, true); });
  }

  // The batch's vehicles are locked first, in one order, so that batches of
  // several cars wait for each other instead of meeting in a deadlock.
  std::int64_t RecordAll(const std::vector<Queued>& batch) override {
    // A car only a saving names is made (and locked) by the saving, and only
    // if it files a trip there; a deadlock that may then meet is retried.
    struct Named {
      trips::VehicleInfo texts;  // as first seen in the batch
      bool read = false;         // by a reading or import, not only a saving
    };
    std::map<std::string, Named> vehicles;
    for (const Queued& q : batch) {
      Named& named =
          vehicles.try_emplace(PlateKey(q.recording.vehicle.RegId), Named{q.recording.vehicle}).first->second;
      named.read = named.read || !q.saved;
    }
    return Retrying([&] {
      Transaction transaction(c_);
      for (const auto& [plateKey, named] : vehicles)
        if (named.read) LockVehicle(plateKey, named.texts);
      std::int64_t added = 0;
      for (const Queued& q : batch) added += Write(q.recording, q.saved, q.id).added;
      transaction.Commit();
      return added;
    });
  }

  std::vector<VehicleSummary> Vehicles() override {
    std::vector<VehicleSummary> vehicles = SqlStore::Vehicles();
    // The unassigned row without trips is no vehicle (it stays when its last
    // trip is filed under a car: a recorder deletes nothing).
    std::erase_if(vehicles, [](const VehicleSummary& v) { return v.plateKey.empty() && v.trips == 0; });
    // The texts PostgreSQL could not hold as they were.
    QSqlQuery raw =
        c_.Exec(QStringLiteral("SELECT plate_key, model_bytes, reg_id_bytes, owner_bytes FROM vehicles "
                               "WHERE model_bytes IS NOT NULL OR reg_id_bytes IS NOT NULL OR owner_bytes IS NOT NULL"));
    std::map<std::string, std::array<QVariant, 3>> original;
    while (raw.next()) original[raw.value(0).toString().toStdString()] = {raw.value(1), raw.value(2), raw.value(3)};
    for (VehicleSummary& v : vehicles) {
      const auto found = original.find(v.plateKey);
      if (found == original.end()) continue;
      std::string* texts[] = {&v.texts.Model, &v.texts.RegId, &v.texts.Owner};
      for (std::size_t i = 0; i < 3; ++i)
        if (!found->second[i].isNull()) *texts[i] = found->second[i].toByteArray().toStdString();
    }
    return vehicles;
  }

  std::vector<ImportRow> Imports() override {
    std::vector<ImportRow> imports = SqlStore::Imports();
    QSqlQuery raw = c_.Exec(QStringLiteral("SELECT id, source_bytes FROM imports WHERE source_bytes IS NOT NULL"));
    std::map<std::int64_t, std::string> original;
    while (raw.next()) original[raw.value(0).toLongLong()] = raw.value(1).toByteArray().toStdString();
    for (ImportRow& row : imports)
      if (const auto found = original.find(row.id); found != original.end()) row.source = found->second;
    return imports;
  }

  // A period of whole months is summed from the kept months.
  std::vector<PeriodTotals> SumsByVehicle(const TripQuery& query) override {
    if (auto sums = SumsOfMonths(c_, query)) return std::move(*sums);
    return SqlStore::SumsByVehicle(query);
  }

  // A device is one computer's (and its path names a device on every
  // computer): the server keeps no device's memory, each computer's own
  // logbook does.
  trips::TripList DeviceMemory(const std::string&) override { return {}; }

  std::optional<std::string> VehicleOf(const TripRecord& trip) override {
    QSqlQuery q = c_.Prepared(QStringLiteral("SELECT v.plate_key FROM trips t JOIN vehicles v ON v.id = t.vehicle "
                                             "JOIN %1 AS u (s, tt, mt, d, f) ON %2")
                                  .arg(Unnest, SameTrip));
    BindKeys(q, 0, {KeyOf(trip)});
    c_.Run(q);
    return c_.Rows(q, [](QSqlQuery& rows) -> std::optional<std::string> {
      if (!rows.next()) return std::nullopt;
      return rows.value(0).toString().toStdString();
    });
  }

  std::vector<LoggedTrip> LoggedTrips(const TripQuery& query) override {
    QSqlQuery q = c_.Prepared(
        QStringLiteral("SELECT %1, (SELECT plate_key FROM vehicles v WHERE v.id = trips.vehicle), purpose, driver, "
                       "note FROM trips WHERE %2 ORDER BY %1")
            .arg(TripColumns, TripsWhere(query)));
    BindTripQuery(q, query, c_.Shown());
    if (query.plateKey) q.bindValue(0, c_.Text(PlateKey(*query.plateKey)));
    c_.Run(q);
    return c_.Rows(q, [](QSqlQuery& rows) {
      std::vector<LoggedTrip> out;
      while (rows.next())
        out.push_back({TripAt(rows),
                       rows.value(5).toString().toStdString(),
                       {rows.value(6).toString().toStdString(), rows.value(7).toString().toStdString(),
                        rows.value(8).toString().toStdString()}});
      return out;
    });
  }

  std::int64_t Move(const TripSelection& which, const trips::VehicleInfo& to) override {
    return Correcting([&] {
      const std::vector<Key> keys = Selected(which);
      const std::string plateKey = PlateKey(to.RegId);
      QSqlQuery q = c_.Prepared(
          QStringLiteral("SELECT riventar_move(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, CAST(? AS bigint[]), CAST(? AS bigint[]), "
                         "CAST(? AS bigint[]), CAST(? AS bigint[]), CAST(? AS bigint[]))"));
      q.bindValue(0, Cleaned(plateKey));
      BindText(q, 1, 4, to.Model);
      BindText(q, 2, 5, to.RegId);
      BindText(q, 3, 6, to.Owner);
      q.bindValue(7, Cleaned(RecordingTimeNow()));
      q.bindValue(8, Cleaned(computer_));
      q.bindValue(9, Cleaned(NamesOf(keys, plateKey)));
      BindKeys(q, 10, keys);
      return c_.Value(q).value_or(0);
    });
  }

  void EditVehicle(const std::string& plateKey, const trips::VehicleInfo& texts) override {
    Correcting([&] {
      QSqlQuery q = c_.Prepared(QStringLiteral("SELECT riventar_edit_vehicle(?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
      q.bindValue(0, Cleaned(PlateKey(plateKey)));
      q.bindValue(1, Cleaned(PlateKey(texts.RegId)));
      BindText(q, 2, 5, texts.Model);
      BindText(q, 3, 6, texts.RegId);
      BindText(q, 4, 7, texts.Owner);
      q.bindValue(8, Cleaned(RecordingTimeNow()));
      q.bindValue(9, Cleaned(computer_));
      c_.Run(q);
      return 0;
    });
  }

  std::int64_t Merge(const std::string& from, const std::string& into) override {
    return Correcting([&] {
      const std::string fromKey = PlateKey(from);
      QSqlQuery name = c_.Prepared(QStringLiteral("SELECT reg_id FROM vehicles WHERE plate_key = ?"));
      name.bindValue(0, Cleaned(fromKey));
      c_.Run(name);
      const std::string fromName = c_.Rows(name, [&fromKey](QSqlQuery& rows) {
        return rows.next() ? Named(QString::fromStdString(fromKey), rows.value(0).toString()) : std::string();
      });
      name.finish();
      QSqlQuery q = c_.Prepared(QStringLiteral("SELECT riventar_merge(?, ?, ?, ?, ?)"));
      q.bindValue(0, Cleaned(fromKey));
      q.bindValue(1, Cleaned(PlateKey(into)));
      q.bindValue(2, Cleaned(RecordingTimeNow()));
      q.bindValue(3, Cleaned(computer_));
      q.bindValue(4, Cleaned(fromName));
      return c_.Value(q).value_or(0);
    });
  }

  void DeleteVehicle(const std::string& plateKey) override {
    Correcting([&] {
      QSqlQuery q = c_.Prepared(QStringLiteral("SELECT riventar_delete_vehicle(?, ?, ?)"));
      q.bindValue(0, Cleaned(PlateKey(plateKey)));
      q.bindValue(1, Cleaned(RecordingTimeNow()));
      q.bindValue(2, Cleaned(computer_));
      c_.Run(q);
      return 0;
    });
  }

  std::int64_t Undo(std::int64_t importId) override {
    return Correcting([&] {
      QSqlQuery q = c_.Prepared(QStringLiteral("SELECT riventar_undo(?, ?, ?)"));
      q.bindValue(0, Big(importId));
      q.bindValue(1, Cleaned(RecordingTimeNow()));
      q.bindValue(2, Cleaned(computer_));
      return c_.Value(q).value_or(0);
    });
  }

  std::int64_t Tag(const TripSelection& which, const TagChange& tags) override {
    if (!tags.purpose && !tags.driver && !tags.note)
      throw RecordingRefused(Kind::Other, c_.Shown(), "nothing to tag: no purpose, driver or note given");
    return Correcting([&] {
      const std::vector<Key> keys = Selected(which);
      QSqlQuery q =
          c_.Prepared(QStringLiteral("SELECT riventar_tag(?, ?, ?, ?, ?, CAST(? AS bigint[]), CAST(? AS bigint[]), "
                                     "CAST(? AS bigint[]), CAST(? AS bigint[]), CAST(? AS bigint[]))"));
      const std::optional<std::string>* given[] = {&tags.purpose, &tags.driver, &tags.note};
      for (int i = 0; i < 3; ++i)
        q.bindValue(i, *given[i] ? Cleaned(**given[i]) : QVariant(QMetaType(QMetaType::QString)));
      q.bindValue(3, Cleaned(RecordingTimeNow()));
      q.bindValue(4, Cleaned(computer_));
      BindKeys(q, 5, keys);
      return c_.Value(q).value_or(0);
    });
  }

  // Newest first by the server's clock (the computers' may differ).
  std::vector<HistoryRow> History() override {
    QSqlQuery q = c_.Exec(QStringLiteral(
        "SELECT CASE origin WHEN 1 THEN 'import' WHEN 2 THEN 'saved' ELSE 'reading' END, id, at, computer, "
        "COALESCE(plate_key, ''), COALESCE(vehicle, ''), '', source, source_bytes, read_count, added, undone, made "
        "FROM imports WHERE origin <> 2 OR added > 0 "
        "UNION ALL SELECT c.kind, c.id, c.at, c.computer, COALESCE(c.plate_key, ''), COALESCE(c.vehicle, ''), "
        "COALESCE(c.from_vehicle, ''), COALESCE(i.source, ''), i.source_bytes, 0, c.trips, false, c.made "
        "FROM changes c LEFT JOIN imports i ON i.id = c.import_id ORDER BY 13 DESC, 2 DESC"));
    return c_.Rows(q, [](QSqlQuery& rows) {
      static const std::map<QString, HistoryRow::Kind> kinds = {
          {"reading", HistoryRow::Kind::Reading}, {"import", HistoryRow::Kind::Import},
          {"saved", HistoryRow::Kind::Saved},     {"move", HistoryRow::Kind::Move},
          {"edit", HistoryRow::Kind::Edit},       {"merge", HistoryRow::Kind::Merge},
          {"delete", HistoryRow::Kind::Delete},   {"undo", HistoryRow::Kind::Undo},
          {"tag", HistoryRow::Kind::Tag}};
      std::vector<HistoryRow> out;
      while (rows.next()) {
        HistoryRow& h = out.emplace_back();
        const auto kind = kinds.find(rows.value(0).toString());
        if (kind != kinds.end()) h.kind = kind->second;
        h.id = rows.value(1).toLongLong();
        h.at = rows.value(2).toString().toStdString();
        h.computer = rows.value(3).toString().toStdString();
        h.plateKey = rows.value(4).toString().toStdString();
        h.vehicle = Named(rows.value(4).toString(), rows.value(5).toString());
        std::string source =
            rows.value(8).isNull() ? rows.value(7).toString().toStdString() : rows.value(8).toByteArray().toStdString();
        if (h.kind == HistoryRow::Kind::Undo) {  // `from`: the reading or import it took back
          h.from = std::move(source);
        } else {
          h.from = rows.value(6).toString().toStdString();
          h.source = std::move(source);
        }
        h.read = rows.value(9).toLongLong();
        h.trips = rows.value(10).toLongLong();
        h.undone = rows.value(11).toBool();
      }
      return out;
    });
  }

 private:
  // Two computers starting at once: one makes the schema, the other waits for
  // the lock and then finds it made.
  void Migrate() {
    Transaction transaction(c_);
    QSqlQuery lock = c_.Prepared(QStringLiteral("SELECT pg_advisory_xact_lock(?)"));
    lock.bindValue(0, Big(SchemaLock));
    c_.Run(lock);
    lock.finish();
    const Connection::Unhurried unhurried(c_);
    const Found found = ReadVersion(c_, currentSchema_);
    if (found.version < ServerSchemaVersion) {
      // Unqualified names are made in riventar (steps 1 and 2 name none);
      // functions made with SET ... FROM CURRENT keep this path.
      c_.Exec(QStringLiteral("SELECT set_config('search_path', 'riventar, pg_temp', true)"));
      c_.Exec(QStringLiteral("CREATE SCHEMA IF NOT EXISTS riventar"));
      QSqlQuery own = c_.Exec(QStringLiteral(
          "SELECT pg_has_role(nspowner, 'USAGE') FROM pg_catalog.pg_namespace WHERE nspname = 'riventar'"));
      if (!own.next() || !own.value(0).toBool())
        throw StoreError(Kind::Corrupt, c_.Shown(),
                         "the schema riventar belongs to another role; the server was left as it is");
      own.finish();
      if (!found.legacy.isEmpty()) MoveIn(found.legacy, found.version);
      RunSteps(c_, Migrations(), found.version);
      c_.Exec(QStringLiteral("SELECT riventar.riventar_grant_roles()"));
    }
    transaction.Commit();
  }

  // A logbook of version 1 or 2, in the schema `from`, becomes riventar's:
  // its tables (with their rows, indexes, triggers and rights, which the
  // steps then set anew) and functions.
  void MoveIn(const QString& from, int version) {
    const QString schema = Quoted(from);
    QStringList tables{"schema_version", "vehicles", "imports", "trips"};
    if (version == 1) tables << QStringLiteral("device_memory");
    for (const QString& table : tables)
      c_.Exec(QStringLiteral("ALTER TABLE %1.%2 SET SCHEMA riventar").arg(schema, table));
    if (version >= 2)
      for (const char* function : {"riventar_vehicle(text, text, text, text, boolean)",
                                   "riventar_move_trips(bigint, bigint[], bigint[], bigint[], bigint[], bigint[])",
                                   "riventar_trips_added()", "riventar_trips_changed()"})
        c_.Exec(QStringLiteral("ALTER FUNCTION %1.%2 SET SCHEMA riventar").arg(schema, QLatin1String(function)));
    c_.Exec(QStringLiteral("CREATE TABLE %1.schema_version (version INTEGER NOT NULL)").arg(schema));
    c_.Exec(QStringLiteral("INSERT INTO %1.schema_version (version) VALUES (%2)").arg(schema).arg(MovedMark));
    c_.Exec(QStringLiteral("GRANT SELECT ON %1.schema_version TO PUBLIC").arg(schema));
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

  // The vehicle's row, made when missing (with these texts) and locked.
  std::int64_t LockVehicle(const std::string& plateKey, const trips::VehicleInfo& vehicle) {
    QSqlQuery q = c_.Prepared(QStringLiteral("SELECT riventar_add_vehicle(?, ?, ?, ?, ?, ?, ?)"));
    q.bindValue(0, Cleaned(plateKey));
    BindText(q, 1, 4, vehicle.Model);
    BindText(q, 2, 5, vehicle.RegId);
    BindText(q, 3, 6, vehicle.Owner);
    return c_.Value(q).value_or(-1);
  }

  // Within the caller's transaction, through the owner's riventar_record,
  // which takes the locks in one order for every writer: the unassigned
  // row, the recording's vehicle row (so writers of one car queue there),
  // then its import, the trips in key order, the vehicles trips moved from
  // by id. A recording whose `id` is already there changes nothing.
  Recorded Write(const Recording& recording, bool saved, const std::string& id) {
    std::vector<Key> keys;
    keys.reserve(recording.trips.size());
    for (const TripRecord& trip : recording.trips) keys.push_back(KeyOf(trip));
    QSqlQuery record = c_.Prepared(QStringLiteral(
        "SELECT * FROM riventar_record(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, CAST(? AS bigint[]), "
        "CAST(? AS bigint[]), CAST(? AS bigint[]), CAST(? AS bigint[]), CAST(? AS bigint[]))"));
    record.bindValue(0, static_cast<int>(recording.origin));
    record.bindValue(1, Cleaned(recording.at));
    BindText(record, 2, 3, recording.source);
    record.bindValue(4, static_cast<int>(recording.trips.size()));
    record.bindValue(5, id.empty() ? QVariant(QMetaType(QMetaType::QString)) : Cleaned(id));
    record.bindValue(6, Cleaned(computer_));
    record.bindValue(7, Cleaned(PlateKey(recording.vehicle.RegId)));
    BindText(record, 8, 11, recording.vehicle.Model);
    BindText(record, 9, 12, recording.vehicle.RegId);
    BindText(record, 10, 13, recording.vehicle.Owner);
    record.bindValue(14, saved);
    BindKeys(record, 15, keys);
    c_.Run(record);
    std::set<Key> inserted;
    c_.Rows(record, [&inserted](QSqlQuery& q) {
      while (q.next()) inserted.insert(KeyAt(q, 0));
      return 0;
    });

    Recorded result;
    result.read = static_cast<int>(recording.trips.size());
    result.wasNew.reserve(keys.size());
    for (const Key& key : keys) {
      const bool added = inserted.erase(key) == 1;  // a repeat within the recording is not new
      result.wasNew.push_back(added);
      result.added += added;
    }
    return result;
  }

  // ---- Corrections ----

  // A correction in one transaction, tried again after a deadlock. A role
  // without the right is told who has it.
  template <typename F>
  std::invoke_result_t<F> Correcting(F change) {
    try {
      return Retrying([&] {
        Transaction transaction(c_);
        auto result = change();
        transaction.Commit();
        return result;
      });
    } catch (const RecordingRefused&) {
      throw;
    } catch (const StoreError& e) {
      if (e.kind() != Kind::ReadOnly || std::string(e.what()).find("permission denied") == std::string::npos) throw;
      throw StoreError(Kind::ReadOnly, e.path(),
                       "only the fleet's administrator may correct the shared logbook (connect with the "
                       "riventar_admin role's URI)");
    }
  }

  // The trips a selection takes, as they are now.
  std::vector<Key> Selected(const TripSelection& which) {
    trips::TripList found;
    if (which.import) {
      QSqlQuery undone = c_.Prepared(QStringLiteral("SELECT CAST(undone AS integer) FROM imports WHERE id = ?"));
      undone.bindValue(0, Big(*which.import));
      const std::optional<std::int64_t> state = c_.Value(undone);
      undone.finish();
      const std::string number = std::to_string(*which.import);
      if (!state) throw RecordingRefused(Kind::Other, c_.Shown(), "no reading or import " + number + " in the logbook");
      if (*state != 0)
        throw RecordingRefused(Kind::Other, c_.Shown(), "the reading or import " + number + " was undone already");
      QSqlQuery q = c_.Prepared(QStringLiteral("SELECT %1 FROM import_trips h JOIN trips USING (%1) "
                                               "WHERE h.import_id = ? ORDER BY %1")
                                    .arg(TripColumns));
      q.bindValue(0, Big(*which.import));
      c_.Run(q);
      found = c_.Rows(q, TripRows);
    } else {
      if (which.query.plateKey) {
        QSqlQuery known = c_.Prepared(QStringLiteral("SELECT COUNT(*) FROM vehicles WHERE plate_key = ?"));
        known.bindValue(0, Cleaned(PlateKey(*which.query.plateKey)));
        if (c_.Value(known).value_or(0) == 0)
          throw RecordingRefused(Kind::Other, c_.Shown(),
                                 "no vehicle \"" + *which.query.plateKey + "\" in the logbook");
      }
      found = ReadTrips(c_, which.query);
    }
    const std::set<std::string> wanted(which.keys.begin(), which.keys.end());
    std::vector<Key> keys;
    for (const TripRecord& r : found)
      if (wanted.empty() || wanted.contains(TripKey(r))) keys.push_back(KeyOf(r));
    if (keys.empty()) throw RecordingRefused(Kind::Other, c_.Shown(), "nothing selected: no trip of the logbook");
    return keys;
  }

  // How history names the vehicles these trips are on now, but `except`:
  // "А123ВС77, не назначены".
  std::string NamesOf(const std::vector<Key>& keys, const std::string& except) {
    QSqlQuery q = c_.Prepared(
        QStringLiteral("SELECT DISTINCT v.plate_key, v.reg_id FROM trips t JOIN vehicles v ON v.id = t.vehicle "
                       "JOIN %1 AS u (s, tt, mt, d, f) ON %2 WHERE v.plate_key <> ?")
            .arg(Unnest, SameTrip));
    BindKeys(q, 0, keys);
    q.bindValue(5, Cleaned(except));
    c_.Run(q);
    std::map<std::string, std::string> byPlate;  // in the plate keys' byte order, as the vehicles are listed
    c_.Rows(q, [&byPlate](QSqlQuery& rows) {
      while (rows.next())
        byPlate[rows.value(0).toString().toStdString()] = Named(rows.value(0).toString(), rows.value(1).toString());
      return 0;
    });
    std::string names;
    for (const auto& [plate, name] : byPlate) names += (names.empty() ? "" : ", ") + name;
    return names;
  }

  static std::string Named(const QString& plateKey, const QString& text) {
    return plateKey.isEmpty() ? std::string(UnassignedName) : text.toStdString();
  }

  QString currentSchema_;                  // the role's own, before the session's path was set
  std::string computer_ = ThisComputer();  // named in what this connection records
};

}  // namespace

std::string ServerQueueKey(const std::string& location) {
  char* parseError = nullptr;
  std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)> parsed(PQconninfoParse(location.c_str(), &parseError),
                                                                      &PQconninfoFree);
  PQfreemem(parseError);
  if (!parsed) return RedactedLocation(location);
  std::map<std::string, std::string> options;
  for (const PQconninfoOption* o = parsed.get(); o->keyword != nullptr; ++o)
    if (o->val != nullptr) options[o->keyword] = o->val;
  const auto value = [&options](const std::string& key, const char* variable, const std::string& fallback) {
    if (!options[key].empty()) return options[key];
    const char* set = std::getenv(variable);
    return set && *set ? std::string(set) : fallback;
  };
  std::string host = options["host"].empty() ? options["hostaddr"] : options["host"];
  const std::string service = value("service", "PGSERVICE", "");
  if (host.empty() && !service.empty())
    return "service " + service + (options["dbname"].empty() ? "" : "/" + options["dbname"]);
  if (host.empty()) host = value("host", "PGHOST", value("hostaddr", "PGHOSTADDR", ""));
  std::string login;
  if (const passwd* me = ::getpwuid(::getuid())) login = me->pw_name;
  const std::string user = value("user", "PGUSER", login);
  return host + ":" + value("port", "PGPORT", "5432") + "/" + value("dbname", "PGDATABASE", user);
}

std::unique_ptr<Store> OpenServerLogbook(const std::string& location, const ServerTimeouts& timeouts) {
  return std::make_unique<PgStore>(location, timeouts);
}

std::unique_ptr<Store> OpenServerLogbook(const std::string& location, std::chrono::seconds connectTimeout) {
  ServerTimeouts timeouts;
  timeouts.connect = connectTimeout;
  return OpenServerLogbook(location, timeouts);
}

void CancelServerStatements() {
  bool any = false;
  for (const std::atomic<PGcancel*>& slot : cancels) any = any || slot.load() != nullptr;
  if (!any) return;
  // PQcancel waits for the server; the child does, not whoever pressed Ctrl+C.
  if (::_Fork() != 0) return;  // the parent, or no child could be made
  // Whoever reads this program's output need not wait for the child.
  for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) ::close(fd);
  char why[256];
  for (const std::atomic<PGcancel*>& slot : cancels)
    if (PGcancel* request = slot.load()) PQcancel(request, why, sizeof why);
  ::_exit(0);
}

}  // namespace riventar::logbook
