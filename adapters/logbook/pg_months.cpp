#include "adapters/logbook/pg_months.h"

#include <QSqlQuery>
#include <cstdint>

#include "core/logbook/stamp.h"

namespace riventar::logbook {
namespace {

// A trip's month as the table keys it: stamp / MonthUnit, year * 256 + month.
constexpr char Month[] = "(stamp >> 32)::integer";

// `changes` (rows of month, vehicle, n, d, f: +1 and the values of a trip
// that came, -1 and their negatives of one that went) added to the kept
// months, in key order so that writers lock rows in one order. Sums are
// numeric: no count of trips can overflow them.
QString Apply(const QString& changes) {
  return QStringLiteral(
             "INSERT INTO riventar.vehicle_months AS m (month, vehicle, trips, distance, fuel) "
             "SELECT month, vehicle, SUM(n), SUM(d), SUM(f) FROM (%1) c GROUP BY month, vehicle "
             "HAVING SUM(n) <> 0 OR SUM(d) <> 0 OR SUM(f) <> 0 ORDER BY month, vehicle "
             "ON CONFLICT (month, vehicle) DO UPDATE SET trips = m.trips + excluded.trips, "
             "distance = m.distance + excluded.distance, fuel = m.fuel + excluded.fuel; ")
      .arg(changes);
}

QString Came(const char* table) {
  return QStringLiteral("SELECT %1 AS month, vehicle, 1 AS n, distance::numeric AS d, fuel::numeric AS f FROM %2")
      .arg(QLatin1String(Month), QLatin1String(table));
}
QString Went(const char* table) {
  return QStringLiteral("SELECT %1 AS month, vehicle, -1 AS n, -distance::numeric AS d, -fuel::numeric AS f FROM %2")
      .arg(QLatin1String(Month), QLatin1String(table));
}

// A month a vehicle no longer has trips in is no row.
QString Emptied() {
  return QStringLiteral(
             "DELETE FROM riventar.vehicle_months m USING (SELECT DISTINCT %1 AS month, vehicle FROM old_trips) o "
             "WHERE m.month = o.month AND m.vehicle = o.vehicle AND m.trips <= 0; ")
      .arg(QLatin1String(Month));
}

// A trigger function of the owner, run with the logbook's fixed path.
QString Function(const char* name, const QString& body) {
  return QStringLiteral(
             "CREATE FUNCTION riventar.%1() RETURNS trigger LANGUAGE plpgsql SECURITY DEFINER "
             "SET search_path = pg_catalog, riventar, pg_temp AS $$ BEGIN %2RETURN NULL; END $$")
      .arg(QLatin1String(name), body);
}

}  // namespace

std::vector<QString> MonthTotalsStep() {
  return {
      // Recordings wait from here to the commit: none falls between the
      // fill below and the triggers.
      QStringLiteral("LOCK TABLE riventar.trips IN SHARE ROW EXCLUSIVE MODE"),
      QStringLiteral("CREATE TABLE riventar.vehicle_months ("
                     " month INTEGER NOT NULL,"
                     " vehicle BIGINT NOT NULL REFERENCES riventar.vehicles (id) ON DELETE CASCADE,"
                     " trips BIGINT NOT NULL, distance NUMERIC NOT NULL, fuel NUMERIC NOT NULL,"
                     " PRIMARY KEY (month, vehicle))"),
      // Each runs after the vehicles' trigger of the same event (triggers
      // fire in the order of their names), which has locked the vehicles.
      Function("riventar_trips_added_months", Apply(Came("new_trips"))),
      QStringLiteral("CREATE TRIGGER trips_added_months AFTER INSERT ON riventar.trips "
                     "REFERENCING NEW TABLE AS new_trips "
                     "FOR EACH STATEMENT EXECUTE FUNCTION riventar.riventar_trips_added_months()"),
      Function("riventar_trips_changed_months",
               Apply(Came("new_trips") + QStringLiteral(" UNION ALL ") + Went("old_trips")) + Emptied()),
      QStringLiteral("CREATE TRIGGER trips_changed_months AFTER UPDATE ON riventar.trips "
                     "REFERENCING OLD TABLE AS old_trips NEW TABLE AS new_trips "
                     "FOR EACH STATEMENT EXECUTE FUNCTION riventar.riventar_trips_changed_months()"),
      Function("riventar_trips_removed_months", Apply(Went("old_trips")) + Emptied()),
      QStringLiteral("CREATE TRIGGER trips_removed_months AFTER DELETE ON riventar.trips "
                     "REFERENCING OLD TABLE AS old_trips "
                     "FOR EACH STATEMENT EXECUTE FUNCTION riventar.riventar_trips_removed_months()"),
      Function("riventar_trips_truncated_months", QStringLiteral("DELETE FROM riventar.vehicle_months; ")),
      QStringLiteral("CREATE TRIGGER trips_truncated_months AFTER TRUNCATE ON riventar.trips "
                     "FOR EACH STATEMENT EXECUTE FUNCTION riventar.riventar_trips_truncated_months()"),
      QStringLiteral("INSERT INTO riventar.vehicle_months (month, vehicle, trips, distance, fuel) "
                     "SELECT %1, vehicle, COUNT(*), SUM(distance), SUM(fuel) FROM riventar.trips GROUP BY 1, 2")
          .arg(QLatin1String(Month)),
      QStringLiteral("ANALYZE riventar.vehicle_months"),
      // Every role that reads the logbook reads the months too: the rights
      // set anew by the earlier steps' function, then this table's. A later
      // step that writes the rights anew grants it as well.
      QStringLiteral("ALTER FUNCTION riventar.riventar_grant_roles() RENAME TO riventar_grant_roles_before_months"),
      QStringLiteral("CREATE FUNCTION riventar.riventar_grant_roles() RETURNS void LANGUAGE plpgsql "
                     "SET search_path = pg_catalog, riventar, pg_temp AS $$ DECLARE r record; BEGIN "
                     "PERFORM riventar.riventar_grant_roles_before_months(); "
                     "FOR r IN SELECT rolname FROM pg_roles "
                     "WHERE rolname IN ('riventar_reader', 'riventar_recorder', 'riventar_admin') LOOP "
                     "EXECUTE format('GRANT SELECT ON riventar.vehicle_months TO %I', r.rolname); END LOOP; END $$"),
      QStringLiteral("REVOKE ALL ON FUNCTION riventar.riventar_grant_roles(), "
                     "riventar.riventar_grant_roles_before_months(), riventar.riventar_trips_added_months(), "
                     "riventar.riventar_trips_changed_months(), riventar.riventar_trips_removed_months(), "
                     "riventar.riventar_trips_truncated_months() FROM PUBLIC"),
  };
}

std::optional<std::vector<PeriodTotals>> SumsOfMonths(SqlConnection& c, const TripQuery& query) {
  const std::int64_t from = query.from ? DayBound(*query.from, false, c.Shown()) : 0;
  const std::int64_t to = query.to ? DayBound(*query.to, true, c.Shown()) : LastStamp;
  const auto day = [](std::int64_t stamp) { return stamp / DayUnit % 256; };
  if (to < from || day(from) > 1 || day(to) < 28) return std::nullopt;
  const std::int64_t first = from / MonthUnit, last = to / MonthUnit;
  // The planner cannot know that a month's stamps past its days are empty:
  // its guess for them can pass JIT's threshold, and compiling would cost
  // several times the query.
  Transaction reading(c);
  c.Exec(QStringLiteral("SET LOCAL jit = off"));
  // The months' trips before `from` (a day 0) and after `to` (past the last
  // day given) are few, found by the key's leading stamp.
  QSqlQuery q = c.Prepared(QStringLiteral(
      "SELECT v.plate_key, SUM(s.n), SUM(s.d), SUM(s.f) FROM ("
      "SELECT vehicle, trips AS n, distance AS d, fuel AS f FROM riventar.vehicle_months "
      "WHERE month BETWEEN ? AND ? "
      "UNION ALL SELECT vehicle, -1, -distance, -fuel FROM riventar.trips WHERE stamp >= ? AND stamp < ? "
      "UNION ALL SELECT vehicle, -1, -distance, -fuel FROM riventar.trips WHERE stamp > ? AND stamp <= ?"
      ") s JOIN riventar.vehicles v ON v.id = s.vehicle GROUP BY v.plate_key HAVING SUM(s.n) > 0"));
  const auto big = [](std::int64_t v) { return QVariant::fromValue<qint64>(v); };
  q.bindValue(0, big(first));
  q.bindValue(1, big(last));
  q.bindValue(2, big(first * MonthUnit));
  q.bindValue(3, big(from));
  q.bindValue(4, big(to));
  q.bindValue(5, big((last + 1) * MonthUnit - 1));
  c.Run(q);
  std::vector<PeriodTotals> sums = c.Rows(q, TotalRows);
  reading.Commit();
  return sums;
}

}  // namespace riventar::logbook
