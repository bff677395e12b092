#include "adapters/logbook/sql_rows.h"

#include <QVariant>
#include <cstdint>

#include "core/logbook/stamp.h"

namespace riventar::logbook {

QString TripsWhere(const TripQuery& query, const QString& byPlate) {
  return (query.plateKey ? byPlate + QStringLiteral(" AND ") : QString()) + QStringLiteral("stamp BETWEEN ? AND ?");
}

void BindTripQuery(QSqlQuery& q, const TripQuery& query, const std::string& path) {
  int at = 0;
  if (query.plateKey) q.bindValue(at++, QString::fromStdString(PlateKey(*query.plateKey)));
  q.bindValue(at++, QVariant::fromValue<qint64>(query.from ? DayBound(*query.from, false, path) : 0));
  q.bindValue(at++, QVariant::fromValue<qint64>(query.to ? DayBound(*query.to, true, path) : LastStamp));
}

trips::TripRecord TripAt(const QSqlQuery& q, int column) {
  return TripOf(q.value(column).toLongLong(), q.value(column + 1).toLongLong(), q.value(column + 2).toLongLong(),
                q.value(column + 3).toLongLong(), q.value(column + 4).toLongLong());
}

trips::TripList TripRows(QSqlQuery& q) {
  trips::TripList out;
  while (q.next()) out.push_back(TripAt(q));
  return out;
}

std::vector<VehicleSummary> VehicleRows(QSqlQuery& q) {
  std::vector<VehicleSummary> out;
  while (q.next()) {
    VehicleSummary& v = out.emplace_back();
    v.plateKey = q.value(0).toString().toStdString();
    v.texts = {q.value(1).toString().toStdString(), q.value(2).toString().toStdString(),
               q.value(3).toString().toStdString()};
    v.trips = q.value(4).toLongLong();
    if (v.trips > 0) {
      v.firstDate = DateText(q.value(5).toLongLong());
      v.lastDate = DateText(q.value(6).toLongLong());
    }
    v.distance = static_cast<std::uint64_t>(q.value(7).toLongLong());
  }
  return out;
}

std::vector<ImportRow> ImportRows(QSqlQuery& q) {
  std::vector<ImportRow> out;
  while (q.next()) {
    const int origin = q.value(1).toInt();
    out.push_back({q.value(0).toLongLong(),
                   origin == 1   ? Origin::File
                   : origin == 2 ? Origin::Saved
                                 : Origin::Device,
                   q.value(2).toString().toStdString(), q.value(3).toString().toStdString(), q.value(4).toInt(),
                   q.value(5).toInt()});
  }
  return out;
}

std::vector<MonthSummary> MonthRows(QSqlQuery& q) {
  std::vector<MonthSummary> out;
  while (q.next()) {
    const std::int64_t yearMonth = q.value(0).toLongLong();
    out.push_back({2000 + static_cast<int>(yearMonth / 256), static_cast<int>(yearMonth % 256) + 1,
                   q.value(1).toLongLong(), static_cast<std::uint64_t>(q.value(2).toLongLong()),
                   static_cast<std::uint64_t>(q.value(3).toLongLong())});
  }
  return out;
}

std::vector<PeriodTotals> TotalRows(QSqlQuery& q) {
  std::vector<PeriodTotals> out;
  while (q.next()) {
    out.push_back({q.value(0).toString().toStdString(), q.value(1).toLongLong(),
                   static_cast<std::uint64_t>(q.value(2).toLongLong()),
                   static_cast<std::uint64_t>(q.value(3).toLongLong())});
  }
  return out;
}

}  // namespace riventar::logbook
