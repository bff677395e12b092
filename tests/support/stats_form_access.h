#pragma once
// What tests, benchmarks and tools reach of a statistics window and its
// chart: their controls, found by their object names, the chart's series,
// and the handlers called as a click would call them.
#include <QBarSet>
#include <QChartView>
#include <QFrame>
#include <QLabel>
#include <QLineSeries>
#include <QList>
#include <QToolButton>

#include "ui/stats/Chart_form.h"
#include "ui/stats/Statistic_form.h"

namespace riventar::ui {

class TTrip_Stat_Form::TestAccess {
  TTrip_Stat_Form& form_;  // first: the controls below are found in it

  template <class T>
  T* Control(const char* name) const {
    return form_.findChild<T*>(QLatin1String(name));
  }

 public:
  explicit TestAccess(TTrip_Stat_Form& form) : form_(form) {}

  QFrame* Statistic_Period_Panel = Control<QFrame>("Statistic_Period_Panel");
  QLabel* Statistic_Period_Caption_Label = Control<QLabel>("Statistic_Period_Caption_Label");
  QLabel* Statistic_Period_Label = Control<QLabel>("Statistic_Period_Label");
  QFrame* Statistic_Days_Panel = Control<QFrame>("Statistic_Days_Panel");
  QLabel* Statistic_Days_Caption_Label = Control<QLabel>("Statistic_Days_Caption_Label");
  QLabel* Statistic_Days_Label = Control<QLabel>("Statistic_Days_Label");
  QLabel* Statistic_Trip_Days_Caption_Label = Control<QLabel>("Statistic_Trip_Days_Caption_Label");
  QLabel* Statistic_Trip_Days_Label = Control<QLabel>("Statistic_Trip_Days_Label");
  QFrame* Statistic_Trips_Count_Panel = Control<QFrame>("Statistic_Trips_Count_Panel");
  QLabel* Statistic_Trips_Count_Caption_Label = Control<QLabel>("Statistic_Trips_Count_Caption_Label");
  QLabel* Statistic_Trips_Count_Label = Control<QLabel>("Statistic_Trips_Count_Label");
  QFrame* Statistic_Trips_Time_Panel = Control<QFrame>("Statistic_Trips_Time_Panel");
  QLabel* Statistic_Total_Time_Caption_Label = Control<QLabel>("Statistic_Total_Time_Caption_Label");
  QLabel* Statistic_Total_Time_Label = Control<QLabel>("Statistic_Total_Time_Label");
  QLabel* Statistic_Time_In_Go_Caption_Label = Control<QLabel>("Statistic_Time_In_Go_Caption_Label");
  QLabel* Statistic_Time_In_Go_Label = Control<QLabel>("Statistic_Time_In_Go_Label");
  QFrame* Statistic_Way_Panel = Control<QFrame>("Statistic_Way_Panel");
  QLabel* Statistic_Total_Way_Caption_Label = Control<QLabel>("Statistic_Total_Way_Caption_Label");
  QLabel* Statistic_Total_Way_Label = Control<QLabel>("Statistic_Total_Way_Label");
  QFrame* Statistic_Speed_Panel = Control<QFrame>("Statistic_Speed_Panel");
  QLabel* Statistic_Aver_Speed_Caption_Label = Control<QLabel>("Statistic_Aver_Speed_Caption_Label");
  QLabel* Statistic_Aver_Speed_Label = Control<QLabel>("Statistic_Aver_Speed_Label");
  QFrame* Statistic_Total_Fuel_Panel = Control<QFrame>("Statistic_Total_Fuel_Panel");
  QLabel* Statistic_Total_Fuel_Caption_Label = Control<QLabel>("Statistic_Total_Fuel_Caption_Label");
  QLabel* Statistic_Total_Fuel_Label = Control<QLabel>("Statistic_Total_Fuel_Label");
  QFrame* Statistic_Aver_Fuel_Panel = Control<QFrame>("Statistic_Aver_Fuel_Panel");
  QLabel* Statistic_Aver_Fuel_Caption_Label = Control<QLabel>("Statistic_Aver_Fuel_Caption_Label");
  QLabel* Statistic_Aver_Fuel_Label = Control<QLabel>("Statistic_Aver_Fuel_Label");
  QToolButton* Statistic_Close_Speed_Button = Control<QToolButton>("Statistic_Close_Speed_Button");
  QToolButton* Statistic_Print_Speed_Button = Control<QToolButton>("Statistic_Print_Speed_Button");
  QToolButton* Statistic_Chart_Speed_Button = Control<QToolButton>("Statistic_Chart_Speed_Button");

  void Statistic_Chart_Speed_Button_Click() { form_.Statistic_Chart_Speed_Button_Click(); }
};

class TTrip_Chart_Form::TestAccess {
  TTrip_Chart_Form& form_;  // first: the controls below are found in it

  template <class T>
  T* Control(const char* name) const {
    return form_.findChild<T*>(QLatin1String(name));
  }

 public:
  explicit TestAccess(TTrip_Chart_Form& form) : form_(form) {}

  QChartView* Chart_View = Control<QChartView>("Chart_View");
  QToolButton* Chart_Save_Button = Control<QToolButton>("Chart_Save_Button");
  QToolButton* Chart_Print_Button = Control<QToolButton>("Chart_Print_Button");
  QToolButton* Chart_Close_Button = Control<QToolButton>("Chart_Close_Button");
  // The series are the chart's, not the window's children.
  QBarSet* DistanceSet = form_.DistanceSet;
  QBarSet* FuelSet = form_.FuelSet;
  QList<QLineSeries*> ConsumptionLines = form_.ConsumptionLines;
};

inline TTrip_Stat_Form::TestAccess Ui(TTrip_Stat_Form& form) { return TTrip_Stat_Form::TestAccess(form); }
inline TTrip_Chart_Form::TestAccess Ui(TTrip_Chart_Form& form) { return TTrip_Chart_Form::TestAccess(form); }

}  // namespace riventar::ui
