#pragma once
// A fleet's totals by vehicle and month on the PostgreSQL server: the schema
// step that keeps them, and the sums of a period of whole months read from
// them. A year's report over a fleet reads a few thousand kept rows instead of
// summing millions of trips.
#include <QString>
#include <optional>
#include <vector>

#include "adapters/logbook/sql_store.h"
#include "core/logbook/logbook.h"

namespace riventar::logbook {

// The step that makes riventar.vehicle_months, its triggers and the readers'
// right to it, and fills it from the trips. Self-contained: it relies only on
// the tables of version 3 and on riventar_grant_roles(), which it wraps.
std::vector<QString> MonthTotalsStep();

// The vehicles' sums over `query`'s period (its vehicle ignored, as
// SumsByVehicle's), when the period is whole months (from a month's first
// day or earlier, to its 28th or later): the kept months, less the few trips
// of those months outside the period's bounds. Nothing for another period: the
// caller sums the trips. Exact: the same figures as summing every trip.
std::optional<std::vector<PeriodTotals>> SumsOfMonths(SqlConnection& c, const TripQuery& query);

}  // namespace riventar::logbook
