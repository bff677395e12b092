#pragma once
// What a statistics window and its chart need of the window that opened
// them, and no more: the dialogs, the vehicle's texts as they stand at print
// time, the shared printer, and word when a statistics window closes.
#include <QString>
#include <functional>

#include "core/trips/dat_file.h"

class QPrinter;
class QWidget;

namespace riventar::ui {

class Dialogs;
class TTrip_Stat_Form;

class StatisticHost {
 public:
  virtual Dialogs& UiDialogs() const = 0;
  virtual trips::VehicleInfo VehicleTexts() const = 0;  // UTF-8
  // The print dialog on the shared printer for `from`, then `print`; a
  // failed print is reported with `failure`.
  virtual void PrintOnStatisticPrinter(QWidget* from, const std::function<bool(QPrinter&)>& print,
                                       const QString& failure) = 0;
  virtual void StatisticWindowClosed(TTrip_Stat_Form* window) = 0;

 protected:
  StatisticHost() = default;
  StatisticHost(const StatisticHost&) = default;
  StatisticHost& operator=(const StatisticHost&) = default;
  ~StatisticHost() = default;
};

}  // namespace riventar::ui
