#pragma once
// "Автомобиль маршрутов": which car a reading from the device goes to, asked
// when the logbook does not know the device. One of the logbook's vehicles,
// the texts in the main window's vehicle fields, a new one typed, or none
// (the trips are kept as unassigned and can be moved later).
#include <QDialog>
#include <optional>

#include "core/trips/dat_file.h"
#include "ui/common/dialogs.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace riventar::ui {

class TVehicle_Choice_Form : public QDialog {
  Q_OBJECT

 public:
  TVehicle_Choice_Form(const VehicleQuestion& question, QWidget* parent);

  // The vehicle chosen; nothing: unassigned. Rejected dialogs answer nothing too.
  std::optional<trips::VehicleInfo> Chosen() const;

 private:
  void UpdateOk();

  VehicleQuestion question_;
  // Each control's object name is its member name: tests and tools find it so.
  QLabel* Question_Label = nullptr;
  QRadioButton* Known_Radio = nullptr;  // absent when the logbook knows no vehicle
  QComboBox* Known_Combo = nullptr;
  QRadioButton* Shown_Radio = nullptr;  // absent when the fields name no vehicle, or a known one
  QRadioButton* New_Radio = nullptr;
  QLineEdit* New_Model_Edit = nullptr;
  QLineEdit* New_Reg_Id_Edit = nullptr;
  QLineEdit* New_Owner_Edit = nullptr;
  QRadioButton* Unassigned_Radio = nullptr;
  QPushButton* Ok_Button = nullptr;
  QPushButton* Cancel_Button = nullptr;
};

// How a vehicle is named in a list or a sentence: its model and
// registration, or «не назначены».
QString VehicleLabel(const trips::VehicleInfo& vehicle);

}  // namespace riventar::ui
