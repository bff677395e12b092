#include "adapters/logbook/sql_store.h"

#include <QSysInfo>

#include "core/logbook/stamp.h"

namespace riventar::logbook {

// While a statement is out.
class SqlConnection::Out {
 public:
  explicit Out(SqlConnection& c) : c_(c) { c_.Sending(); }
  ~Out() { c_.Answered(); }
  Out(const Out&) = delete;
  Out& operator=(const Out&) = delete;

 private:
  SqlConnection& c_;
};

QSqlQuery SqlConnection::Prepared(const QString& sql) {
  QSqlQuery q(db_);
  q.setForwardOnly(true);
  const Out out(*this);
  if (!q.prepare(sql)) Fail(q.lastError());
  return q;
}

void SqlConnection::Run(QSqlQuery& q) {
  const Out out(*this);
  if (!q.exec()) Fail(q.lastError());
}

QSqlQuery SqlConnection::Exec(const QString& sql) {
  // Not prepared: PostgreSQL prepares no statement that changes the schema.
  QSqlQuery q(db_);
  q.setForwardOnly(true);
  const Out out(*this);
  if (!q.exec(sql)) Fail(q.lastError());
  return q;
}

std::int64_t SqlConnection::Integer(const QString& sql) {
  QSqlQuery q = Exec(sql);
  if (!q.next()) Fail(q.lastError());
  return q.value(0).toLongLong();
}

std::optional<std::int64_t> SqlConnection::Value(QSqlQuery& q) {
  Run(q);
  if (!q.next() || q.value(0).isNull()) return std::nullopt;
  return q.value(0).toLongLong();
}

void SqlConnection::Begin() {
  Exec(dialect_.beginWrite);
  inTransaction_ = true;
}

void SqlConnection::Commit() {
  Exec(QStringLiteral("COMMIT"));
  inTransaction_ = false;
  Committed();
}

void SqlConnection::Rollback() {
  if (!inTransaction_) return;
  inTransaction_ = false;
  try {
    Exec(QStringLiteral("ROLLBACK"));
  } catch (const StoreError&) {  // rolled back already, or the connection is gone
  }
}

void SqlConnection::Close() {
  db_.close();
  db_ = QSqlDatabase();
  QSqlDatabase::removeDatabase(name_);
}

void RunSteps(SqlConnection& c, const SchemaSteps& steps, int from) {
  for (int version = from; version < static_cast<int>(steps.size()); ++version) {
    for (const QString& sql : steps[static_cast<std::size_t>(version)]) c.Exec(sql);
    QSqlQuery done = c.Prepared(QStringLiteral("UPDATE %1 SET version = ?").arg(c.Sql().versionTable));
    done.bindValue(0, version + 1);
    c.Run(done);
  }
}

std::vector<VehicleSummary> ReadVehicles(SqlConnection& c) {
  QSqlQuery q = c.Exec(
      QStringLiteral("SELECT plate_key, model, reg_id, owner, trips, first_stamp, last_stamp, distance FROM vehicles "
                     "ORDER BY plate_key%1")
          .arg(c.Sql().byteOrder));
  return c.Rows(q, VehicleRows);
}

std::vector<MonthSummary> ReadMonths(SqlConnection& c, const std::string& plateKey) {
  QSqlQuery q =
      c.Prepared(QStringLiteral("SELECT stamp / %1, COUNT(*), SUM(distance), SUM(fuel) FROM trips "
                                "WHERE vehicle = (SELECT id FROM vehicles WHERE plate_key = ?) GROUP BY 1 ORDER BY 1")
                     .arg(MonthUnit));
  q.bindValue(0, c.Text(PlateKey(plateKey)));
  c.Run(q);
  return c.Rows(q, MonthRows);
}

trips::TripList ReadTrips(SqlConnection& c, const TripQuery& query) {
  QSqlQuery q =
      c.Prepared(QStringLiteral("SELECT %1 FROM trips WHERE %2 ORDER BY %1").arg(TripColumns, TripsWhere(query)));
  BindTripQuery(q, query, c.Shown());
  if (query.plateKey) q.bindValue(0, c.Text(PlateKey(*query.plateKey)));  // as the vehicle was kept
  c.Run(q);
  return c.Rows(q, TripRows);
}

std::vector<ImportRow> ReadImports(SqlConnection& c) {
  // A saved table that added nothing is no import: its row stays only where
  // it marks its recording as recorded (a server's recorder may not delete).
  QSqlQuery q = c.Exec(
      QStringLiteral("SELECT id, origin, at, source, read_count, added FROM imports WHERE origin <> %1 OR added > 0 "
                     "ORDER BY id")
          .arg(static_cast<int>(Origin::Saved)));
  return c.Rows(q, ImportRows);
}

std::vector<PeriodTotals> ReadSums(SqlConnection& c, const TripQuery& query) {
  // Summed by the period's range on the key (its date first), then named.
  const TripQuery period{std::nullopt, query.from, query.to};
  QSqlQuery q = c.Prepared(
      QStringLiteral("SELECT v.plate_key, s.c, s.d, s.f FROM (SELECT vehicle, COUNT(*) c, SUM(distance) d, "
                     "SUM(fuel) f FROM trips WHERE %1 GROUP BY vehicle) s JOIN vehicles v ON v.id = s.vehicle")
          .arg(TripsWhere(period)));
  BindTripQuery(q, period, c.Shown());
  c.Run(q);
  return c.Rows(q, TotalRows);
}

std::string ThisComputer() { return QSysInfo::machineHostName().toStdString(); }

}  // namespace riventar::logbook
