#include "ui/app/Main_form.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <memory>
#include <utility>

#include "adapters/desktop/help_viewer.h"
#include "adapters/link/link.h"
#include "ui/common/dialogs.h"
#include "ui/common/handler_guard.h"
#include "ui/common/placement.h"
#include "ui/common/ui_style.h"
#include "ui/config/Cfg_form.h"
#include "ui/logbook/Logbook_form.h"
#include "ui/trips/trip_table_model.h"
#include "ui/trips/vehicle_edit.h"

namespace riventar::ui {

TMonitor_Form::TMonitor_Form(Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), device_(std::make_unique<link::Link>()), dialogs_(dialogs) {
  BuildControls();
  Monitor_Form_Create();
  StartLogbookCheck();
}

TMonitor_Form::~TMonitor_Form() {
  Monitor_Form_Destroy();
  // A send under way ends first (up to the server's timeouts); out of sight.
  hide();
  logbook_.reset();
}

void TMonitor_Form::BuildControls() {
  setWindowTitle(QStringLiteral("Ривентар"));
  setFont(style::FormFont());
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(712, 316);
  move(218, 155);
  KeepOnScreen();  // a small screen or a large scale factor

  COM_Select_Panel = style::Panel(this, {600, 8, 105, 81});
  COM1_Select_RadioButton = new QRadioButton(QStringLiteral("COM1"), COM_Select_Panel);
  COM1_Select_RadioButton->setGeometry(24, 8, 57, 17);
  COM1_Select_RadioButton->setChecked(true);
  COM2_Select_RadioButton = new QRadioButton(QStringLiteral("COM2"), COM_Select_Panel);
  COM2_Select_RadioButton->setGeometry(24, 24, 57, 17);
  Connect_SpeedButton = new QToolButton(COM_Select_Panel);
  Connect_SpeedButton->setObjectName(QStringLiteral("Connect_SpeedButton"));
  Connect_SpeedButton->setCheckable(true);
  Connect_SpeedButton->setGeometry(8, 48, 89, 25);
  Connect_SpeedButton->setText(QStringLiteral("Подключиться"));
  Connect_SpeedButton->setToolTip(QStringLiteral("Установить связь с БК"));
  connect(Connect_SpeedButton, &QToolButton::clicked, this, Handler(&TMonitor_Form::Connect_SpeedButton_Click));

  Configuration_Button =
      style::Button(this, {608, 104, 89, 25}, QStringLiteral("Конфигурация"), QStringLiteral("Конфигурирование БК"));
  Configuration_Button->setEnabled(false);
  connect(Configuration_Button, &QPushButton::clicked, this, Handler(&TMonitor_Form::Configuration_Button_Click));
  About_Button = style::Button(this, {608, 160, 89, 25}, QStringLiteral("О программе"),
                               QStringLiteral("Информация о программе монитора"));
  connect(About_Button, &QPushButton::clicked, this, Handler(&TMonitor_Form::About_Button_Click));
  Exit_Button =
      style::Button(this, {608, 200, 89, 25}, QStringLiteral("Выход"), QStringLiteral("Завершить работу с программой"));
  connect(Exit_Button, &QPushButton::clicked, this, Handler(&TMonitor_Form::Exit_Button_Click));
  Logbook_Button = style::Button(this, {608, 240, 89, 25}, QStringLiteral("Журнал"),
                                 QStringLiteral("Все маршруты, когда-либо считанные из БК или из файлов"));
  connect(Logbook_Button, &QPushButton::clicked, this, Handler(&TMonitor_Form::Logbook_Button_Click));

  Vehicle_Info_Panel = style::Panel(this, {8, 8, 577, 25});
  Vehicle_Model_Label = style::Label(Vehicle_Info_Panel, {8, 6, 42, 13}, QStringLiteral("Модель:"));
  Vehicle_Model_Edit = style::Edit(Vehicle_Info_Panel, {56, 4, 89, 16}, 20);
  Vehicle_Reg_Id_Label = style::Label(Vehicle_Info_Panel, {152, 6, 57, 13}, QStringLiteral("Рег.номер:"));
  Vehicle_Reg_Id_Edit = style::Edit(Vehicle_Info_Panel, {216, 4, 89, 16}, 20);
  Vehicle_Owner_Label = style::Label(Vehicle_Info_Panel, {312, 6, 57, 13}, QStringLiteral("Владелец:"));
  Vehicle_Owner_Edit = style::Edit(Vehicle_Info_Panel, {368, 4, 201, 16}, 50);
  for (auto [edit, limit] : {std::pair{Vehicle_Model_Edit, 20}, {Vehicle_Reg_Id_Edit, 20}, {Vehicle_Owner_Edit, 50}}) {
    ApplyVehicleTextRules(*edit, limit, [this] { dialogs_.Beep(); });
    edit->installEventFilter(this);  // a key press counts even when it changes nothing
    // Paste, cut, undo, drag and drop: every user edit, never text the program sets.
    connect(edit, &QLineEdit::textEdited, this, [this] { Vehicle_Info_Edits_Key_Press(); });
  }

  Trip_Params_Panel = style::Panel(this, {8, 40, 577, 265});
  model_ = new TripTableModel(document_.Trips(), this);
  Trip_Params_StringGrid = new QTableView(Trip_Params_Panel);
  Trip_Params_StringGrid->setObjectName(QStringLiteral("Trip_Params_StringGrid"));
  Trip_Params_StringGrid->setGeometry(8, 8, 561, 209);
  Trip_Params_StringGrid->setModel(model_);
  style::SetUpTripGrid(*Trip_Params_StringGrid);
  // The heading row is part of the grid: a right click there opens the menu too.
  Trip_Params_StringGrid->viewport()->installEventFilter(this);
  Trip_Params_StringGrid->installEventFilter(this);  // the menu key
  Trip_Params_StringGrid->horizontalHeader()->viewport()->installEventFilter(this);

  Read_Trip_From_BK_Button = style::Button(Trip_Params_Panel, {16, 232, 81, 25}, QStringLiteral("Из БК"),
                                           QStringLiteral("Считать параметры пройденных маршрутов из БК"));
  Read_Trip_From_BK_Button->setEnabled(false);
  connect(Read_Trip_From_BK_Button, &QPushButton::clicked, this,
          Handler(&TMonitor_Form::Read_Trip_From_BK_Button_Click));
  Read_Trip_From_File_Button = style::Button(Trip_Params_Panel, {120, 232, 81, 25}, QStringLiteral("Из файла"),
                                             QStringLiteral("Считать параметры маршрутов из файла"));
  connect(Read_Trip_From_File_Button, &QPushButton::clicked, this,
          Handler(&TMonitor_Form::Read_Trip_From_File_Button_Click));
  Save_Trip_To_File_Button = style::Button(Trip_Params_Panel, {224, 232, 81, 25}, QStringLiteral("В файл"),
                                           QStringLiteral("Сохранить параметры маршрутов в файле"));
  Save_Trip_To_File_Button->setEnabled(false);
  connect(Save_Trip_To_File_Button, &QPushButton::clicked, this,
          Handler(&TMonitor_Form::Save_Trip_To_File_Button_Click));
  Clear_Trip_Table_Button = style::Button(Trip_Params_Panel, {328, 232, 81, 25}, QStringLiteral("Очистить"),
                                          QStringLiteral("Очистить таблицу маршрутов"));
  Clear_Trip_Table_Button->setEnabled(false);
  connect(Clear_Trip_Table_Button, &QPushButton::clicked, this, Handler(&TMonitor_Form::Clear_Trip_Table_Button_Click));
  // Right of the buttons, where the panel has room; two short lines at most.
  Logbook_Status_Label = style::Label(Trip_Params_Panel, {416, 228, 153, 33}, QString());
  Logbook_Status_Label->setObjectName(QStringLiteral("Logbook_Status_Label"));
  Logbook_Status_Label->setWordWrap(true);
  Logbook_Status_Label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  // From the grid, Tab walks the buttons below it left to right.
  QWidget* previous = Trip_Params_StringGrid;
  for (QWidget* next :
       {Read_Trip_From_BK_Button, Read_Trip_From_File_Button, Save_Trip_To_File_Button, Clear_Trip_Table_Button}) {
    QWidget::setTabOrder(previous, next);
    previous = next;
  }

  auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
  connect(help, &QShortcut::activated, this, Handler(&TMonitor_Form::ShowHelp));

  PopupMenu = new QMenu(this);
  const QString designCaptions[] = {QStringLiteral("За день"),  QStringLiteral("За неделю"), QStringLiteral("За месяц"),
                                    QStringLiteral("За сезон"), QStringLiteral("За год"),    QStringLiteral("Всего")};
  for (int tag = 0; tag < 6; ++tag) {
    QAction* item = PopupMenu->addAction(designCaptions[tag]);
    item->setObjectName(QStringLiteral("N%1").arg(tag + 1));
    item->setData(tag);
    connect(item, &QAction::triggered, this,
            [this, tag] { Guarded(dialogs_, [this, tag] { Popup_Menu_Click(tag); }); });
    PopupItems.append(item);
  }
  // Tests and tools find each control by its name.
  const std::pair<QObject*, const char*> named[] = {{COM_Select_Panel, "COM_Select_Panel"},
                                                    {COM1_Select_RadioButton, "COM1_Select_RadioButton"},
                                                    {COM2_Select_RadioButton, "COM2_Select_RadioButton"},
                                                    {Configuration_Button, "Configuration_Button"},
                                                    {About_Button, "About_Button"},
                                                    {Exit_Button, "Exit_Button"},
                                                    {Logbook_Button, "Logbook_Button"},
                                                    {Vehicle_Info_Panel, "Vehicle_Info_Panel"},
                                                    {Vehicle_Model_Label, "Vehicle_Model_Label"},
                                                    {Vehicle_Model_Edit, "Vehicle_Model_Edit"},
                                                    {Vehicle_Reg_Id_Label, "Vehicle_Reg_Id_Label"},
                                                    {Vehicle_Reg_Id_Edit, "Vehicle_Reg_Id_Edit"},
                                                    {Vehicle_Owner_Label, "Vehicle_Owner_Label"},
                                                    {Vehicle_Owner_Edit, "Vehicle_Owner_Edit"},
                                                    {Trip_Params_Panel, "Trip_Params_Panel"},
                                                    {Read_Trip_From_BK_Button, "Read_Trip_From_BK_Button"},
                                                    {Read_Trip_From_File_Button, "Read_Trip_From_File_Button"},
                                                    {Save_Trip_To_File_Button, "Save_Trip_To_File_Button"},
                                                    {Clear_Trip_Table_Button, "Clear_Trip_Table_Button"},
                                                    {PopupMenu, "PopupMenu"}};
  for (auto [control, name] : named) control->setObjectName(QLatin1String(name));
  BuildPortChoice();
}

void TMonitor_Form::Monitor_Form_Create() {
  document_.Clear();
  statWindows_.clear();
  // The headings live in the model (row 0 of the grid).
}

void TMonitor_Form::Monitor_Form_Destroy() {
  if (destroyed_) return;
  destroyed_ = true;
  // The receiver ends and the port closes before anything shared goes away;
  // nothing is sent and the button is left as it is.
  if (Connect_SpeedButton->isChecked()) device_.Disconnect();
  Clear_Trip_Table_Button_Click();
  document_.Clear();
  CloseStatisticWindows();
  statWindows_.clear();
  if (logbookWindow_) delete logbookWindow_.data();
  if (helpWindow_) delete helpWindow_.data();
}

void TMonitor_Form::About_Button_Click() {
  dialogs_.Notice(this, QStringLiteral("О программе..."),
                  QStringLiteral("Ривентар %1\n\n"
                                 "Программа-монитор бортового компьютера (БК).\n"
                                 "Считывает маршруты из БК, хранит их в файлах,\n"
                                 "выводит статистику и настраивает БК.")
                      .arg(QStringLiteral(RIVENTAR_VERSION)));
}

void TMonitor_Form::Exit_Button_Click() { QApplication::quit(); }

void TMonitor_Form::Configuration_Button_Click() {
  const ExchangeScope exchanging(*this);
  // Creating the window already reads the device's settings.
  auto form = std::make_unique<TConfig_Form>(device_.Link(), dialogs_, this);
  CentreOver(*form, *this);
  bool success = false;
  if (form->ModalResult() == TConfig_Form::ResultNone) success = form->exec() == TConfig_Form::ResultExit;
  if (!success) DropConnection();
}

QPrinter& TMonitor_Form::StatisticPrinter() {
  if (!statisticPrinter_) statisticPrinter_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
  return *statisticPrinter_;
}

void TMonitor_Form::PrintOnStatisticPrinter(QWidget* from, const std::function<bool(QPrinter&)>& print,
                                            const QString& failure) {
  QPrinter& printer = StatisticPrinter();
  if (!dialogs_.Print(from, printer)) return;
  if (!print(printer)) dialogs_.Error(from, QStringLiteral("Ошибка печати"), failure);
}

void TMonitor_Form::ShowHelp() { helpWindow_ = desktop::ShowHelp(helpWindow_, QStringLiteral("содержание")); }

TMonitor_Form::ExchangeScope::ExchangeScope(TMonitor_Form& form) : form_(form) { ++form_.exchangesRunning_; }

TMonitor_Form::ExchangeScope::~ExchangeScope() {
  if (--form_.exchangesRunning_ > 0 || !form_.closeWanted_) return;
  form_.closeWanted_ = false;
  QTimer::singleShot(0, &form_, &QWidget::close);
}

void TMonitor_Form::KeepOnScreen() {
  const QRect frame = frameGeometry();
  QScreen* screen = QGuiApplication::screenAt(frame.center());
  if (!screen) screen = QGuiApplication::screenAt(frame.topLeft());
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QPoint topLeft = PlacedInside(frame, screen->availableGeometry());
  if (topLeft != frame.topLeft()) move(topLeft);
}

void TMonitor_Form::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  // Before the window is shown its frame is unknown; the window manager's title bar and borders can push it out.
  if (!placedWithFrame_ && isVisible() && frameGeometry() != geometry()) {
    placedWithFrame_ = true;
    KeepOnScreen();
  }
}

void TMonitor_Form::closeEvent(QCloseEvent* event) {
  if (exchangesRunning_ > 0) {
    event->ignore();
    closeWanted_ = true;
    return;
  }
  // Closing from the system menu ends the program like "Выход".
  event->accept();
  QApplication::quit();
}

bool TMonitor_Form::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress &&
      (watched == Vehicle_Model_Edit || watched == Vehicle_Reg_Id_Edit || watched == Vehicle_Owner_Edit)) {
    // Any typed character counts, even one that changes nothing.
    if (!static_cast<QKeyEvent*>(event)->text().isEmpty()) Vehicle_Info_Edits_Key_Press();
    return false;
  }
  auto* area = qobject_cast<QWidget*>(watched);
  if (event->type() == QEvent::MouseButtonPress && area &&
      (area == Trip_Params_StringGrid->viewport() || area == Trip_Params_StringGrid->horizontalHeader()->viewport())) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() == Qt::RightButton) {
      const QPoint inGrid = area->mapTo(Trip_Params_StringGrid, mouse->position().toPoint());
      Guarded(dialogs_, [&] { Trip_Params_StringGridMouseDown(mouse->button(), inGrid); });
      return true;  // a right click does not move the selection
    }
  }
  // The menu key or Shift+F10 opens the period menu under the current row,
  // as the right button does where the pointer is.
  if (event->type() == QEvent::ContextMenu && watched == Trip_Params_StringGrid &&
      static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard) {
    const QRect row = Trip_Params_StringGrid->visualRect(Trip_Params_StringGrid->currentIndex());
    const QPoint inGrid = Trip_Params_StringGrid->viewport()->mapTo(Trip_Params_StringGrid, row.center());
    Guarded(dialogs_, [&] { Trip_Params_StringGridMouseDown(Qt::RightButton, inGrid); });
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace riventar::ui
