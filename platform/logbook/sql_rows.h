#pragma once
// What the SQLite file and the server both answer, read the same way: the
// stores' queries name these columns in this order.
#include <QSqlQuery>
#include <vector>

#include "core/logbook/logbook.h"
#include "core/trips/trip_record.h"

namespace riventar::logbook {

// A trip's identity in integers (see core/logbook/stamp.h).
inline constexpr char TripColumns[] = "stamp, trip_time, moving_time, distance, fuel";

// The trip whose TripColumns start at `column`, derived values filled in.
trips::TripRecord TripAt(const QSqlQuery& q, int column = 0);
// Every row: TripColumns.
trips::TripList TripRows(QSqlQuery& q);
// Every row: plate_key, model, reg_id, owner, trips, first_stamp, last_stamp, distance.
std::vector<VehicleSummary> VehicleRows(QSqlQuery& q);
// Every row: stamp / MonthUnit, the count, the summed distance and fuel.
std::vector<MonthSummary> MonthRows(QSqlQuery& q);

}  // namespace riventar::logbook
