#pragma once
// What the SQLite file and the PostgreSQL server share: one Qt SQL connection,
// its transactions, the schema's steps and the reading of the logbook. What
// differs by database (the SQL it says otherwise, how it orders texts, how it
// locks, what its errors mean) is said once, by its Dialect and its
// connection's overrides.
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "adapters/logbook/sql_rows.h"
#include "core/logbook/logbook.h"

namespace riventar::logbook {

// The SQL text that differs by database.
struct Dialect {
  QString beginWrite;    // starts a transaction that will write
  QString versionTable;  // the table of the schema's version
  QString byteOrder;     // after "ORDER BY plate_key": byte order, as the file sorts
};

// One connection through Qt SQL; every failure is a StoreError its dialect
// words (Fail). One thread's.
class SqlConnection {
 public:
  SqlConnection(Dialect dialect, QString name, std::string shown)
      : dialect_(std::move(dialect)), name_(std::move(name)), shown_(std::move(shown)) {}
  virtual ~SqlConnection() = default;
  SqlConnection(const SqlConnection&) = delete;
  SqlConnection& operator=(const SqlConnection&) = delete;

  const Dialect& Sql() const { return dialect_; }
  // The logbook as a message may name it.
  const std::string& Shown() const { return shown_; }

  // The database's failure as the StoreError it means.
  [[noreturn]] virtual void Fail(const QSqlError& error) = 0;
  // A text as the database can hold it.
  virtual QVariant Text(const std::string& text) const { return QString::fromStdString(text); }

  QSqlQuery Prepared(const QString& sql);
  void Run(QSqlQuery& q);
  // A statement with nothing bound, run once.
  QSqlQuery Exec(const QString& sql);
  // The first row's one value; a failure when there is no row.
  std::int64_t Integer(const QString& sql);
  // Runs `q`: its one value, or nothing for no row or NULL.
  std::optional<std::int64_t> Value(QSqlQuery& q);
  // Rows read to their end: a step that failed on the way is a failure,
  // never a shorter answer.
  template <typename Read>
  auto Rows(QSqlQuery& q, Read read) -> decltype(read(q)) {
    auto out = read(q);
    if (q.lastError().isValid()) Fail(q.lastError());
    return out;
  }

  void Begin();
  void Commit();
  // Never throws: a connection gone has ended the transaction too.
  void Rollback();

 protected:
  // Around every statement sent to the database.
  virtual void Sending() {}
  virtual void Answered() {}
  // After a commit succeeded.
  virtual void Committed() {}
  void Close();
  // Qt's name of the connection, for QSqlDatabase::addDatabase.
  const QString& Name() const { return name_; }

  QSqlDatabase db_;
  bool inTransaction_ = false;

 private:
  class Out;
  Dialect dialect_;
  QString name_;
  std::string shown_;
};

// A transaction rolled back unless committed.
class Transaction {
 public:
  explicit Transaction(SqlConnection& c) : c_(c) { c_.Begin(); }
  ~Transaction() { c_.Rollback(); }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void Commit() { c_.Commit(); }

 private:
  SqlConnection& c_;
};

// Step i brings a logbook from version i to i + 1. A released step is never
// changed; the next change is a new step.
using SchemaSteps = std::vector<std::vector<QString>>;

// Runs the steps from `from` to the last, each followed by its version,
// within the caller's transaction.
void RunSteps(SqlConnection& c, const SchemaSteps& steps, int from);

// The reading both databases answer with the same SQL.
std::vector<VehicleSummary> ReadVehicles(SqlConnection& c);
std::vector<MonthSummary> ReadMonths(SqlConnection& c, const std::string& plateKey);
trips::TripList ReadTrips(SqlConnection& c, const TripQuery& query);
std::vector<ImportRow> ReadImports(SqlConnection& c);
std::vector<PeriodTotals> ReadSums(SqlConnection& c, const TripQuery& query);

// This computer's name, as the history says where a change came from; empty
// when the system knows none.
std::string ThisComputer();

// A store over `Connection` (an SqlConnection) implementing `Interface`
// (Store, or one that extends it): the reading written once.
template <typename Interface, typename Connection>
class SqlStore : public Interface {
 public:
  std::vector<VehicleSummary> Vehicles() override { return ReadVehicles(c_); }
  std::vector<MonthSummary> Months(const std::string& plateKey) override { return ReadMonths(c_, plateKey); }
  trips::TripList Trips(const TripQuery& query) override { return ReadTrips(c_, query); }
  std::vector<ImportRow> Imports() override { return ReadImports(c_); }
  std::vector<PeriodTotals> SumsByVehicle(const TripQuery& query) override { return ReadSums(c_, query); }

 protected:
  template <typename... Args>
  explicit SqlStore(Args&&... args) : c_(std::forward<Args>(args)...) {}

  Connection c_;  // first: the derived store's statements go before it
};

}  // namespace riventar::logbook
