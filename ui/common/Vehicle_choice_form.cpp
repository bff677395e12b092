#include "ui/common/Vehicle_choice_form.h"

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <utility>

#include "core/logbook/json_text.h"
#include "core/logbook/logbook.h"
#include "ui/common/ui_style.h"
#include "ui/trips/vehicle_edit.h"

namespace riventar::ui {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

bool Names(const trips::VehicleInfo& vehicle) { return !logbook::PlateKey(vehicle.RegId).empty(); }

}  // namespace

QString VehicleLabel(const trips::VehicleInfo& vehicle) {
  if (!Names(vehicle)) return Q(std::string(logbook::UnassignedName));
  const QString model = Q(vehicle.Model).trimmed();
  return model.isEmpty() ? Q(vehicle.RegId) : model + QLatin1Char(' ') + Q(vehicle.RegId);
}

TVehicle_Choice_Form::TVehicle_Choice_Form(const VehicleQuestion& question, QWidget* parent)
    : QDialog(parent), question_(question) {
  setObjectName(QStringLiteral("Vehicle_Choice_Form"));
  setWindowTitle(QStringLiteral("Автомобиль маршрутов"));
  setFont(style::FormFont());
  auto* layout = new QVBoxLayout(this);
  Question_Label = new QLabel(question.text, this);
  Question_Label->setTextFormat(Qt::PlainText);  // device and vehicle texts are never markup
  Question_Label->setWordWrap(true);
  layout->addWidget(Question_Label);

  // The fields' vehicle, when they name one: offered on its own, or as the
  // known vehicle of the same plate.
  const std::string shownKey = logbook::PlateKey(question.shown.RegId);
  int shownKnown = -1;
  std::vector<trips::VehicleInfo> known;
  for (const trips::VehicleInfo& v : question.known)
    if (Names(v)) known.push_back(v);
  question_.known = known;

  auto* choices = new QGridLayout;
  int row = 0;
  if (!known.empty()) {
    Known_Radio = new QRadioButton(QStringLiteral("Автомобиль из журнала:"), this);
    Known_Combo = new QComboBox(this);
    for (std::size_t i = 0; i < known.size(); ++i) {
      QString item = VehicleLabel(known[i]);
      if (!known[i].Owner.empty()) item += QStringLiteral(", ") + Q(known[i].Owner);
      Known_Combo->addItem(item);
      if (!shownKey.empty() && logbook::PlateKey(known[i].RegId) == shownKey) shownKnown = static_cast<int>(i);
    }
    if (shownKnown >= 0) Known_Combo->setCurrentIndex(shownKnown);
    choices->addWidget(Known_Radio, row, 0);
    choices->addWidget(Known_Combo, row++, 1);
    connect(Known_Combo, &QComboBox::activated, Known_Radio, [this] { Known_Radio->setChecked(true); });
  }
  if (!shownKey.empty() && shownKnown < 0 && !logbook::NamesUnassigned(question.shown.RegId)) {
    Shown_Radio = new QRadioButton(QStringLiteral("Указанный в окне: ") + VehicleLabel(question.shown), this);
    choices->addWidget(Shown_Radio, row++, 0, 1, 2);
  }
  New_Radio = new QRadioButton(QStringLiteral("Другой автомобиль:"), this);
  auto* typed = new QHBoxLayout;
  const struct {
    QLineEdit** edit;
    const char* label;
    int limit;
    const char* name;
  } edits[] = {{&New_Model_Edit, "Модель:", 20, "New_Model_Edit"},
               {&New_Reg_Id_Edit, "Рег.номер:", 20, "New_Reg_Id_Edit"},
               {&New_Owner_Edit, "Владелец:", 50, "New_Owner_Edit"}};
  for (const auto& e : edits) {
    typed->addWidget(new QLabel(QString::fromUtf8(e.label), this));
    *e.edit = new QLineEdit(this);
    (*e.edit)->setObjectName(QLatin1String(e.name));
    // What a ".dat" file can hold, as in the main window's fields.
    ApplyVehicleTextRules(**e.edit, e.limit, [] { QApplication::beep(); });
    typed->addWidget(*e.edit, e.limit);
    connect(*e.edit, &QLineEdit::textEdited, this, [this] {
      New_Radio->setChecked(true);
      UpdateOk();
    });
  }
  choices->addWidget(New_Radio, row, 0);
  choices->addLayout(typed, row++, 1);
  Unassigned_Radio = new QRadioButton(
      QStringLiteral("Не назначать: маршруты будут записаны как «%1», их можно перенести позже в окне «Журнал»")
          .arg(Q(std::string(logbook::UnassignedName))),
      this);
  choices->addWidget(Unassigned_Radio, row++, 0, 1, 2);
  layout->addLayout(choices);

  auto* buttons = new QHBoxLayout;
  Ok_Button = new QPushButton(QStringLiteral("Записать"), this);
  Ok_Button->setDefault(true);
  Cancel_Button = new QPushButton(QStringLiteral("Отмена"), this);
  Cancel_Button->setToolTip(QStringLiteral("Записать маршруты как «%1»").arg(Q(std::string(logbook::UnassignedName))));
  buttons->addStretch(1);
  buttons->addWidget(Ok_Button);
  buttons->addWidget(Cancel_Button);
  layout->addLayout(buttons);
  connect(Ok_Button, &QPushButton::clicked, this, &QDialog::accept);
  connect(Cancel_Button, &QPushButton::clicked, this, &QDialog::reject);
  for (QRadioButton* radio : {Known_Radio, Shown_Radio, New_Radio, Unassigned_Radio})
    if (radio) connect(radio, &QRadioButton::toggled, this, &TVehicle_Choice_Form::UpdateOk);

  const std::pair<QObject*, const char*> named[] = {
      {Question_Label, "Question_Label"}, {Known_Radio, "Known_Radio"},    {Known_Combo, "Known_Combo"},
      {Shown_Radio, "Shown_Radio"},       {New_Radio, "New_Radio"},        {Unassigned_Radio, "Unassigned_Radio"},
      {Ok_Button, "Ok_Button"},           {Cancel_Button, "Cancel_Button"}};
  for (auto [control, name] : named)
    if (control) control->setObjectName(QLatin1String(name));

  // The fields' vehicle is proposed: the user confirms it or picks another.
  if (Shown_Radio)
    Shown_Radio->setChecked(true);
  else if (shownKnown >= 0)
    Known_Radio->setChecked(true);
  else
    Unassigned_Radio->setChecked(true);
  UpdateOk();
}

void TVehicle_Choice_Form::UpdateOk() {
  // A new vehicle needs a plate: without one it would be the unassigned trips.
  const bool typedPlate = !logbook::PlateKey(New_Reg_Id_Edit->text().toStdString()).empty() &&
                          !logbook::NamesUnassigned(New_Reg_Id_Edit->text().toStdString());
  Ok_Button->setEnabled(!New_Radio->isChecked() || typedPlate);
}

std::optional<trips::VehicleInfo> TVehicle_Choice_Form::Chosen() const {
  if (result() != QDialog::Accepted) return std::nullopt;
  if (Known_Radio && Known_Radio->isChecked() && Known_Combo->currentIndex() >= 0)
    return question_.known.at(static_cast<std::size_t>(Known_Combo->currentIndex()));
  if (Shown_Radio && Shown_Radio->isChecked()) return question_.shown;
  if (New_Radio->isChecked() && Ok_Button->isEnabled())
    return trips::VehicleInfo{New_Model_Edit->text().toStdString(), New_Reg_Id_Edit->text().toStdString(),
                              New_Owner_Edit->text().toStdString()};
  return std::nullopt;
}

}  // namespace riventar::ui
