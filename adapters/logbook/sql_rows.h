#pragma once
// What the SQLite file and the server both answer, read the same way: the
// stores' queries name these columns in this order.
#include <QSqlQuery>
#include <QString>
#include <string>
#include <vector>

#include "core/logbook/logbook.h"
#include "core/trips/trip_record.h"

namespace riventar::logbook {

// A trip's identity in integers (see core/logbook/stamp.h).
inline constexpr char TripColumns[] = "stamp, trip_time, moving_time, distance, fuel";

// The condition of a TripQuery: the plate (by `byPlate`, which holds one
// "?"), then the dates, as "… AND stamp BETWEEN ? AND ?"; BindTripQuery
// binds them in that order from position 0. `path` names the logbook when a
// date is no date (StoreError).
inline constexpr char ByVehiclePlate[] = "vehicle = (SELECT id FROM vehicles WHERE plate_key = ?)";
QString TripsWhere(const TripQuery& query, const QString& byPlate = QString::fromLatin1(ByVehiclePlate));
void BindTripQuery(QSqlQuery& q, const TripQuery& query, const std::string& path);

// The trip whose TripColumns start at `column`, derived values filled in.
trips::TripRecord TripAt(const QSqlQuery& q, int column = 0);
// Every row: TripColumns.
trips::TripList TripRows(QSqlQuery& q);
// Every row: plate_key, model, reg_id, owner, trips, first_stamp, last_stamp, distance.
std::vector<VehicleSummary> VehicleRows(QSqlQuery& q);
// Every row: id, origin, at, source, read_count, added.
std::vector<ImportRow> ImportRows(QSqlQuery& q);
// Every row: stamp / MonthUnit, the count, the summed distance and fuel.
std::vector<MonthSummary> MonthRows(QSqlQuery& q);
// plate_key, COUNT(*), SUM(distance), SUM(fuel)
std::vector<PeriodTotals> TotalRows(QSqlQuery& q);

}  // namespace riventar::logbook
