#pragma once
// The fleet benchmarks' server logbook, made by server-side SQL: the Store
// would take hours for ten million trips.
#include <string>

namespace riventar::bench {

// The same trips in SQL, readings interleaved as a fleet sends them: trip n
// of every vehicle, then trip n + 1, so that no vehicle's trips lie together.
inline std::string FillSql(int vehicles, int perVehicle) {
  const std::string v = "v", n = "n", day = "(n / 5)";
  const std::string stamp =
      "((" + day + " / 336)::bigint << 40) + ((" + day + " / 28 % 12)::bigint << 32) + ((1 + " + day +
      " % 28)::bigint << 24) + ((7 + n % 5 * 3)::bigint << 16) + ((v % 60)::bigint << 8) + " + day + " % 7";
  return "SET search_path = riventar; SET session_replication_role = replica; SET maintenance_work_mem = '1GB'; "
         "INSERT INTO vehicles (plate_key, model, reg_id, owner, trips, distance) "
         "SELECT 'А' || (1000 + v) || 'ВС77', 'ВАЗ-2110', 'А' || (1000 + v) || 'ВС77', 'Иванов', 0, 0 "
         "FROM generate_series(0, " +
         std::to_string(vehicles - 1) +
         ") v ORDER BY v; "
         "INSERT INTO imports (origin, at, source, read_count, added) VALUES (1, '2024-03-01 10:00:00', 'fill', 0, 0); "
         "ALTER TABLE trips DROP CONSTRAINT trips_pkey; DROP INDEX trips_by_vehicle; "
         "INSERT INTO trips (stamp, trip_time, moving_time, distance, fuel, vehicle, first_import) "
         "SELECT " +
         stamp +
         ", 1200 + n % 3000, 900, 30000 + v * 7 + n % 5000, 40000 + n % 7000, v + 1, 1 "
         "FROM generate_series(0, " +
         std::to_string(perVehicle - 1) + ") n, generate_series(0, " + std::to_string(vehicles - 1) +
         ") v; "
         "ALTER TABLE trips ADD PRIMARY KEY (stamp, trip_time, moving_time, distance, fuel); "
         "CREATE INDEX trips_by_vehicle ON trips (vehicle, stamp); "
         "UPDATE vehicles SET trips = t.c, distance = t.d, first_stamp = t.f, last_stamp = t.l FROM "
         "(SELECT vehicle, COUNT(*) c, SUM(distance) d, MIN(stamp) f, MAX(stamp) l FROM trips GROUP BY vehicle) t "
         "WHERE vehicles.id = t.vehicle; "
         "UPDATE imports SET read_count = (SELECT COUNT(*) FROM trips), added = read_count; "
         "ANALYZE;";
}

// The filled logbook taken back to before the step of the months' totals
// (which the fill's replica role left empty), so that the next owner's
// OpenServerLogbook runs that step over every trip, as a server's update does.
inline std::string BeforeMonthTotalsSql() {
  return "SET search_path = riventar; DROP TABLE vehicle_months; "
         "DROP FUNCTION riventar_trips_added_months(), riventar_trips_changed_months(), "
         "riventar_trips_removed_months(), riventar_trips_truncated_months() CASCADE; "
         "DROP FUNCTION riventar_grant_roles(); "
         "ALTER FUNCTION riventar_grant_roles_before_months() RENAME TO riventar_grant_roles; "
         "UPDATE schema_version SET version = version - 1;";
}

// The SQL that sums trips by vehicle for a year of the fill (2000 + `year`),
// as summing the trips themselves does.
inline std::string YearScanSql(int year) {
  const std::string from = std::to_string((static_cast<long long>(year) << 40) + (1LL << 24));
  const std::string to = std::to_string((static_cast<long long>(year) << 40) + (11LL << 32) + (32LL << 24) - 1);
  return "SELECT vehicle, COUNT(*), SUM(distance), SUM(fuel) FROM riventar.trips WHERE stamp BETWEEN " + from +
         " AND " + to + " GROUP BY vehicle";
}

}  // namespace riventar::bench
