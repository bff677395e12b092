// The question which car a reading goes to, worked as a user would: what it
// proposes, and what each way of answering it files the reading under.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/common/Vehicle_choice_form.h"

namespace {

using riventar::trips::VehicleInfo;
using riventar::ui::TVehicle_Choice_Form;

const VehicleInfo CarA{"ВАЗ-2110", "А123ВС 77", "Иванов"};
const VehicleInfo CarB{"Лада Гранта", "В456ОР 99", "Петров"};
const VehicleInfo CarC{"Нива", "Е789КХ 50", ""};

// Typed as from a keyboard, one character a key press (QTest's key clicks take ASCII only).
void Type(QLineEdit* edit, const QString& text) {
  for (const QChar c : text) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
    QApplication::sendEvent(edit, &press);
  }
}

template <class T>
T* Find(TVehicle_Choice_Form& form, const char* name) {
  return form.findChild<T*>(QLatin1String(name));
}

TEST(VehicleChoice, ProposesTheFieldsVehicleAndFilesWhatIsChosen) {
  struct Case {
    const char* name;
    std::vector<VehicleInfo> known;
    VehicleInfo shown;
    const char* proposed;  // the radio button checked when it opens
    std::function<void(TVehicle_Choice_Form&)> answer;
    std::optional<VehicleInfo> chosen;
  };
  const auto ok = [](TVehicle_Choice_Form& f) { Find<QPushButton>(f, "Ok_Button")->click(); };
  const Case cases[] = {
      // The fields' plate, written another way, is the known car's: its own texts are filed.
      {"fields name a known car", {CarB, CarA}, {"", "a123bc77", ""}, "Known_Radio", ok, CarA},
      {"fields name a new car", {CarA}, CarC, "Shown_Radio", ok, CarC},
      {"fields name no car", {CarA}, {"ВАЗ-2110", "", ""}, "Unassigned_Radio", ok, std::nullopt},
      {"fields say unassigned", {CarA}, {"", "не назначены", ""}, "Unassigned_Radio", ok, std::nullopt},
      {"another known car picked",
       {CarA, CarB},
       CarA,
       "Known_Radio",
       [&](TVehicle_Choice_Form& f) {
         Find<QComboBox>(f, "Known_Combo")->setCurrentIndex(1);
         ok(f);
       },
       CarB},
      {"a new car typed",
       {CarA},
       CarA,
       "Known_Radio",
       [&](TVehicle_Choice_Form& f) {
         Type(Find<QLineEdit>(f, "New_Model_Edit"), QStringLiteral("Лада Гранта"));
         Type(Find<QLineEdit>(f, "New_Reg_Id_Edit"), QStringLiteral("В456ОР 99"));
         Type(Find<QLineEdit>(f, "New_Owner_Edit"), QStringLiteral("Петров"));
         ok(f);
       },
       CarB},
      {"unassigned picked",
       {CarA},
       CarA,
       "Known_Radio",
       [&](TVehicle_Choice_Form& f) {
         Find<QRadioButton>(f, "Unassigned_Radio")->setChecked(true);
         ok(f);
       },
       std::nullopt},
      {"cancelled", {CarA}, CarC, "Shown_Radio", [](TVehicle_Choice_Form& f) { f.reject(); }, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    riventar::ui::VehicleQuestion question{QStringLiteral("Из БК считано: 4 маршрута."), c.known, c.shown};
    TVehicle_Choice_Form form(question, nullptr);
    for (const char* radio : {"Known_Radio", "Shown_Radio", "New_Radio", "Unassigned_Radio"}) {
      if (QRadioButton* r = Find<QRadioButton>(form, radio)) {
        EXPECT_EQ(r->isChecked(), radio == std::string(c.proposed)) << radio;
      }
    }
    c.answer(form);
    EXPECT_EQ(form.Chosen(), c.chosen);
  }
}

TEST(VehicleChoice, ANewCarNeedsAPlateAndTheUnassignedAreNoCar) {
  const VehicleInfo unassigned{"", "", ""};
  riventar::ui::VehicleQuestion question{QStringLiteral("?"), {unassigned, CarA}, {}};
  TVehicle_Choice_Form form(question, nullptr);
  ASSERT_EQ(Find<QComboBox>(form, "Known_Combo")->count(), 1) << "the unassigned trips are not a car to pick";
  EXPECT_EQ(Find<QComboBox>(form, "Known_Combo")->itemText(0), QStringLiteral("ВАЗ-2110 А123ВС 77, Иванов"));
  EXPECT_EQ(Find<QRadioButton>(form, "Shown_Radio"), nullptr) << "empty fields name no car";
  QPushButton* okButton = Find<QPushButton>(form, "Ok_Button");
  QLineEdit* plate = Find<QLineEdit>(form, "New_Reg_Id_Edit");
  for (const char* typed : {"", " - ", "без номера", "не назначены"}) {
    SCOPED_TRACE(typed);
    plate->clear();
    Type(Find<QLineEdit>(form, "New_Model_Edit"), QStringLiteral("x"));
    EXPECT_TRUE(Find<QRadioButton>(form, "New_Radio")->isChecked());
    Type(plate, QString::fromUtf8(typed));
    EXPECT_FALSE(okButton->isEnabled());
  }
  Type(plate, QStringLiteral("1"));
  EXPECT_TRUE(okButton->isEnabled());
}

}  // namespace
