// What only real windows on a real X server show: the titles the window
// manager gets, Qt's own button texts, and the file dialog's suffix handling.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdlib>
#include <memory>

#include "core/link/link.h"
#include "platform/desktop/help_viewer.h"
#include "tests/support/on_modal.h"
#include "tests/support/private_x_server.h"
#include "tests/support/scripted_dialogs.h"
#include "ui/app/Main_form.h"
#include "ui/app/application.h"
#include "ui/common/dialogs.h"
#include "ui/config/Cfg_form.h"
#include "ui/stats/Chart_form.h"
#include "ui/stats/Statistic_form.h"
#include "ui/trips/Progressbar_form.h"

// Readable failures: gtest would print a QString as its UTF-16 units.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace {

using riventar::testing::OnModal;
using riventar::testing::ScriptedDialogs;

QString NetWmName(const QWidget& window) {
  QCoreApplication::processEvents();
  return QString::fromStdString(riventar::testing::NetWmName(window.winId()));
}

TEST(RealWindows, EveryWindowCarriesExactlyItsCaption) {
  ScriptedDialogs scripted;
  riventar::ui::TMonitor_Form form(scripted);
  form.show();
  EXPECT_EQ(NetWmName(form), "Ривентар");

  riventar::ui::TProgress_Bar_Form progress(&form);
  progress.show();
  EXPECT_EQ(NetWmName(progress), "Ривентар - обмен");

  form.TripList = {riventar::trips::TripRecord{.Year = 24, .Month = 2, .Weekday = 0, .Day = 4, .Hour = 8,
                                               .Minute = 0, .TripTime = 600, .MovingTime = 500, .Distance = 6000,
                                               .Fuel = 16000, .AvgSpeed = 72, .Consumption = 1000}};
  form.ReDraw_StringGrid();
  form.Popup_Menu_Click(5);
  ASSERT_EQ(form.StatWindowList.size(), 1);
  EXPECT_EQ(NetWmName(*form.StatWindowList.constFirst()), "Статистика по маршрутам");
  riventar::ui::TTrip_Stat_Form& stats = *form.StatWindowList.constFirst();
  stats.Statistic_Chart_Speed_Button_Click();
  ASSERT_NE(stats.ChartWindow(), nullptr);
  EXPECT_EQ(NetWmName(*stats.ChartWindow()), "Статистика по маршрутам - график");

  riventar::link::Link down;  // every reading fails at once: the window still shows its caption
  scripted.answers.assign(8, riventar::ui::MsgAnswer::Ok);
  riventar::ui::TConfig_Form config(down, scripted, &form);
  config.show();
  EXPECT_EQ(NetWmName(config), "Ривентар - Конфигурирование");
  config.hide();

  QPointer<QWidget> help = riventar::desktop::ShowHelp({}, QStringLiteral("содержание"));
  ASSERT_TRUE(help);
  EXPECT_EQ(NetWmName(*help), "Ривентар - справка");
  delete help.data();

  // A real message box, in Russian.
  riventar::ui::QtDialogs real;
  QString boxTitle;
  QStringList buttons;
  OnModal<QMessageBox> answer([&](QMessageBox& box) {
    boxTitle = NetWmName(box);
    EXPECT_EQ(box.textFormat(), Qt::PlainText);
    for (QAbstractButton* b : box.buttons()) buttons << b->text().remove(QLatin1Char('&'));
    box.button(QMessageBox::No)->click();
  });
  EXPECT_FALSE(real.Ask(&form, QStringLiteral("Считывание маршрутов"), QStringLiteral("Обнулить?")));
  ASSERT_TRUE(answer.Ran());
  EXPECT_EQ(boxTitle, "Считывание маршрутов");
  buttons.sort();
  EXPECT_EQ(buttons, (QStringList{QStringLiteral("Да"), QStringLiteral("Нет")}));
  form.TripsUnsaved = false;
}

TEST(RealWindows, SaveDialogOpenedOnTheSpreadsheetTypeGivesCsv) {
  QTemporaryDir dir;
  riventar::ui::QtDialogs real;
  const QStringList filters = {QStringLiteral("Файлы данных (*.dat)"), QStringLiteral("Файлы Excel (*.csv)"),
                               QStringLiteral("Все файлы (*)")};
  for (const int type : {1, 0}) {
    QString dialogTitle;
    OnModal<QFileDialog> typeName([&](QFileDialog& dialog) {
      dialogTitle = dialog.windowTitle();
      dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("trips"));
      static_cast<QDialog&>(dialog).accept();  // QFileDialog::accept(), as the Save button
    });
    const auto choice = real.SaveFile(nullptr, {dir.path(), filters, type, QStringLiteral("dat")});
    ASSERT_TRUE(typeName.Ran());
    ASSERT_TRUE(choice.has_value());
    EXPECT_EQ(choice->path, dir.filePath(type == 1 ? "trips.csv" : "trips.dat"));
    EXPECT_EQ(choice->filterIndex, type);
    EXPECT_EQ(dialogTitle, "Сохранить как") << "Qt's own texts in Russian";
  }
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  riventar::testing::PrivateXServer x;
  if (x.Missing()) {
    std::puts("Xvfb is not installed: nothing to run");
    return 0;
  }
  if (x.Display().empty()) {
    std::fprintf(stderr, "%s\n", x.Failure().c_str());
    return 1;
  }
  ::setenv("DISPLAY", x.Display().c_str(), 1);
  ::setenv("QT_QPA_PLATFORM", "xcb", 1);
  riventar::ui::QtDialogs dialogs;
  riventar::ui::Application app(argc, argv, dialogs);  // as the program sets itself up
  return RUN_ALL_TESTS();
}
