#include "ui/trips/trip_table_model.h"

#include "core/trips/trip_text.h"

namespace riventar::ui {

TripTableModel::TripTableModel(const trips::TripList& trips, QObject* parent)
    : QAbstractTableModel(parent), trips_(trips) {}

void TripTableModel::SetTripRows(int rows) {
  beginResetModel();
  rows_ = rows;
  endResetModel();
}

int TripTableModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return rows_ < 0 ? 1 : rows_;
}

int TripTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : trips::TableColumns; }

QString TripTableModel::CellText(int row, int column) const {
  if (rows_ < 0 || row < 0 || row >= rows_ || static_cast<std::size_t>(row) >= trips_.size()) return {};
  return QString::fromStdString(
      trips::CellText(trips_[static_cast<std::size_t>(row)], static_cast<std::size_t>(row) + 1, column));
}

QVariant TripTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  // The fixed column's colours come from the grid's palette (its delegate).
  return role == Qt::DisplayRole ? QVariant(CellText(index.row(), index.column())) : QVariant();
}

QVariant TripTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= trips::TableColumns)
    return {};
  const std::string_view heading = trips::TableHeadings[static_cast<std::size_t>(section)];
  return QString::fromUtf8(heading.data(), static_cast<qsizetype>(heading.size()));
}

}  // namespace riventar::ui
