#pragma once
// The trip table's view of TripList. Cell texts are formatted on demand, so a
// table of 100,000 trips costs no more than the rows on screen.
#include <QAbstractTableModel>

#include "core/trips/trip_record.h"

namespace riventar::ui {

class TripTableModel final : public QAbstractTableModel {
  Q_OBJECT

 public:
  TripTableModel(const trips::TripList& trips, QObject* parent);

  // Row count of the grid below its heading row: TripList's size after a
  // redraw, EmptyRow (one empty row) at start and after clearing.
  static constexpr int EmptyRow = -1;
  void SetTripRows(int rows);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // The text of a cell as the user sees it (row 0 is the first trip row).
  QString CellText(int row, int column) const;

 private:
  const trips::TripList& trips_;
  int rows_ = EmptyRow;
};

}  // namespace riventar::ui
