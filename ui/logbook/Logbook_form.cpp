#include "ui/logbook/Logbook_form.h"

#include <QAction>
#include <QComboBox>
#include <QDate>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QShortcut>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <set>
#include <utility>

#include "adapters/logbook/location.h"
#include "adapters/logbook/sqlite_store.h"
#include "adapters/print/year_report_page.h"
#include "base/files/file_io.h"
#include "core/logbook/json_text.h"
#include "core/logbook/server_location.h"
#include "core/stats/figures.h"
#include "core/stats/year_report.h"
#include "core/trips/dat_file.h"
#include "core/trips/trip_text.h"
#include "ui/common/dialogs.h"
#include "ui/common/handler_guard.h"
#include "ui/common/ui_style.h"
#include "ui/logbook/Logbook_server_form.h"
#include "ui/logbook/logbook_texts.h"
#include "ui/stats/statistic_host.h"
#include "ui/stats/year_report_page.h"

namespace riventar::ui {
namespace {

constexpr int KeyRole = Qt::UserRole;        // vehicle: index into vehicles_; month tree: year
constexpr int MonthRole = Qt::UserRole + 1;  // month tree: 1..12, 0 for a whole year
constexpr int VehiclePendingColumn = 7;      // "Не отправлено": shown only for a server's logbook
constexpr int MonthPendingColumn = 4;
constexpr int HistorySourceColumn = 2;
constexpr int TripNoteColumn = 7;
constexpr int HistoryRole = Qt::UserRole;  // readings list: index into history_; trips list: into trips_

const char* const MonthNames[] = {"Январь", "Февраль", "Март",     "Апрель",  "Май",    "Июнь",
                                  "Июль",   "Август",  "Сентябрь", "Октябрь", "Ноябрь", "Декабрь"};

QString FromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QTreeWidget* List(QWidget* parent, const QStringList& headings, bool tree = false) {
  auto* list = new QTreeWidget(parent);
  list->setHeaderLabels(headings);
  list->setRootIsDecorated(tree);
  list->setUniformRowHeights(true);
  list->setAllColumnsShowFocus(true);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->header()->setStretchLastSection(false);
  list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  return list;
}

// Numbers right-aligned from column `first` on.
void AlignNumbers(QTreeWidgetItem* item, int first) {
  for (int c = first; c < item->columnCount(); ++c) item->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
}

QString OriginText(logbook::Origin origin) {
  switch (origin) {
    case logbook::Origin::Device:
      return QStringLiteral("БК");
    case logbook::Origin::File:
      return QStringLiteral("Файл");
    case logbook::Origin::Saved:
      return QStringLiteral("Сохранение");
  }
  return {};
}

bool IsRecording(logbook::HistoryRow::Kind kind) {
  using Kind = logbook::HistoryRow::Kind;
  return kind == Kind::Reading || kind == Kind::Import || kind == Kind::Saved;
}

// The readings list's "Откуда": where trips came from, or which correction.
QString KindText(const logbook::HistoryRow& row) {
  using Kind = logbook::HistoryRow::Kind;
  QString text;
  switch (row.kind) {
    case Kind::Reading:
      text = OriginText(logbook::Origin::Device);
      break;
    case Kind::Import:
      text = OriginText(logbook::Origin::File);
      break;
    case Kind::Saved:
      text = OriginText(logbook::Origin::Saved);
      break;
    case Kind::Move:
      text = QStringLiteral("Перенос");
      break;
    case Kind::Edit:
      text = QStringLiteral("Переименование");
      break;
    case Kind::Merge:
      text = QStringLiteral("Объединение");
      break;
    case Kind::Delete:
      text = QStringLiteral("Удаление");
      break;
    case Kind::Undo:
      text = QStringLiteral("Отмена");
      break;
    case Kind::Tag:
      text = QStringLiteral("Метки");
      break;
  }
  return row.undone ? text + QStringLiteral(" (отменено)") : text;
}

// A file name for a vehicle's trips of a period, without an extension: "А123ВС77_2024-03".
QString SuggestedName(const logbook::VehicleSummary& vehicle, const logbook::TripQuery& query) {
  QString name = vehicle.plateKey.empty() ? FromUtf8(std::string(logbook::UnassignedName)) : FromUtf8(vehicle.plateKey);
  static const QRegularExpression unsafe(QStringLiteral("[\\\\/:*?\"<>|\\s]+"));
  name.replace(unsafe, QStringLiteral("_"));
  if (query.from && query.to) {
    const QString from = FromUtf8(*query.from);
    name += QLatin1Char('_') +
            (from.endsWith(QStringLiteral("-01-01")) && query.to->ends_with("-12-31") ? from.left(4) : from.left(7));
  }
  return name;
}

QString TwoDigits(int value) { return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0')); }

}  // namespace

TLogbook_Form::TLogbook_Form(LogbookHost& host) : QWidget(nullptr), host_(host) {
  setAttribute(Qt::WA_DeleteOnClose);
  BuildControls();
}

void TLogbook_Form::BuildControls() {
  setObjectName(QStringLiteral("Logbook_Form"));
  setWindowTitle(LogbookCaption);
  setFont(style::FormFont());
  // Wide and tall enough that every list's columns and the location line fit.
  resize(1040, 700);

  auto* layout = new QVBoxLayout(this);
  auto* where = new QHBoxLayout;
  Location_Label = new QLabel(this);
  Location_Label->setTextFormat(Qt::PlainText);
  Location_Label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  // A long location with the reason it is not open takes a second line rather than being cut.
  Location_Label->setWordWrap(true);
  Location_Label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  Choose_File_Button = new QPushButton(QStringLiteral("Другой файл журнала..."), this);
  Choose_File_Button->setToolTip(QStringLiteral("Вести журнал в другом файле"));
  Server_Button = new QPushButton(QStringLiteral("Сервер журнала..."), this);
  Server_Button->setToolTip(QStringLiteral("Общий журнал автопарка на сервере PostgreSQL"));
  where->addWidget(Location_Label, 1);
  where->addWidget(Choose_File_Button);
  where->addWidget(Server_Button);
  layout->addLayout(where);
  auto* sharing = new QHBoxLayout;
  Sharing_Label = new QLabel(this);
  Sharing_Label->setTextFormat(Qt::PlainText);
  Sharing_Label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  Sharing_Label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  Send_Button = new QPushButton(QStringLiteral("Отправить на сервер"), this);
  Send_Button->setToolTip(QStringLiteral("Отправить на сервер маршруты, которые ждут на этом компьютере"));
  sharing->addWidget(Sharing_Label, 1);
  sharing->addWidget(Send_Button);
  layout->addLayout(sharing);

  auto* split = new QSplitter(Qt::Vertical, this);
  Vehicles_List = List(split, {QStringLiteral("Рег.номер"), QStringLiteral("Модель"), QStringLiteral("Владелец"),
                               QStringLiteral("Маршрутов"), QStringLiteral("Первый"), QStringLiteral("Последний"),
                               QStringLiteral("Путь, км"), QStringLiteral("Не отправлено")});
  auto* lower = new QSplitter(Qt::Horizontal, split);
  Months_Tree = List(lower,
                     {QStringLiteral("Год, месяц"), QStringLiteral("Маршрутов"), QStringLiteral("Путь, км"),
                      QStringLiteral("Топливо, л"), QStringLiteral("Не отправлено")},
                     true);
  Imports_List = List(lower, {QStringLiteral("Дата и время"), QStringLiteral("Откуда"), QStringLiteral("Источник"),
                              QStringLiteral("Считано"), QStringLiteral("Новых"), QStringLiteral("Автомобиль"),
                              QStringLiteral("Компьютер")});
  // The source (a path, or what a correction changed) takes what is left and is cut in the middle; its tip has it
  // whole.
  Imports_List->header()->setSectionResizeMode(HistorySourceColumn, QHeaderView::Stretch);
  Imports_List->setTextElideMode(Qt::ElideMiddle);
  lower->setStretchFactor(0, 0);
  lower->setStretchFactor(1, 1);
  lower->setSizes({330, 690});
  Trips_List = List(split, {QStringLiteral("Дата"), QStringLiteral("Начало"), QStringLiteral("Время в пути"),
                            QStringLiteral("Путь, км"), QStringLiteral("Топливо, л"), QStringLiteral("Цель"),
                            QStringLiteral("Водитель"), QStringLiteral("Заметка")});
  Trips_List->setSelectionMode(QAbstractItemView::ExtendedSelection);
  Trips_List->setToolTip(
      QStringLiteral("Маршруты выбранного года или месяца (пока они не выбраны, последнего года) с их метками"));
  Trips_List->header()->setSectionResizeMode(TripNoteColumn, QHeaderView::Stretch);
  layout->addWidget(split, 1);

  auto* buttons = new QHBoxLayout;
  Show_In_Table_Button = new QPushButton(QStringLiteral("Показать в таблице"), this);
  Show_In_Table_Button->setToolTip(
      QStringLiteral("Маршруты выбранного автомобиля (всего, за выбранный год или месяц) в таблицу главного окна"));
  Import_Button = new QPushButton(QStringLiteral("Импорт..."), this);
  Import_Button->setToolTip(QStringLiteral("Добавить в журнал маршруты из файлов .dat"));
  Export_Button = new QPushButton(QStringLiteral("Экспорт..."), this);
  Export_Button->setToolTip(QStringLiteral("Записать выбранные маршруты в файл .dat или .csv"));
  Backup_Button = new QPushButton(QStringLiteral("Резервная копия..."), this);
  Backup_Button->setToolTip(QStringLiteral("Записать целую копию файла журнала, пока он открыт"));
  Year_Report_Button = new QPushButton(QStringLiteral("Отчёт за год..."), this);
  Year_Report_Button->setToolTip(
      QStringLiteral("По месяцам и за год, по целям поездок: напечатать или записать в PDF или CSV"));
  Close_Button = new QPushButton(QStringLiteral("Закрыть"), this);
  for (QPushButton* button : {Show_In_Table_Button, Import_Button, Export_Button, Backup_Button, Year_Report_Button})
    buttons->addWidget(button);
  buttons->addStretch(1);
  buttons->addWidget(Close_Button);
  layout->addLayout(buttons);

  // The corrections sit in the lists' context menus.
  const auto action = [this](QTreeWidget* list, const QString& text, const QString& tip) {
    auto* a = new QAction(text, list);
    a->setToolTip(tip);
    list->addAction(a);
    return a;
  };
  Vehicles_List->setContextMenuPolicy(Qt::ActionsContextMenu);
  Imports_List->setContextMenuPolicy(Qt::ActionsContextMenu);
  Trips_List->setContextMenuPolicy(Qt::ActionsContextMenu);
  Edit_Vehicle_Action = action(Vehicles_List, QStringLiteral("Изменить номер и данные..."),
                               QStringLiteral("Исправить рег.номер, модель или владельца автомобиля"));
  Merge_Vehicle_Action = action(Vehicles_List, QStringLiteral("Объединить с другим..."),
                                QStringLiteral("Перенести все маршруты в другой автомобиль и удалить этот"));
  Delete_Vehicle_Action =
      action(Vehicles_List, QStringLiteral("Удалить автомобиль"), QStringLiteral("Удалить автомобиль без маршрутов"));
  Move_Import_Action = action(Imports_List, QStringLiteral("Перенести в автомобиль..."),
                              QStringLiteral("Записать маршруты этого считывания или импорта за другим автомобилем"));
  Undo_Import_Action = action(Imports_List, QStringLiteral("Отменить..."),
                              QStringLiteral("Убрать из журнала маршруты этого считывания или импорта"));
  Move_Trips_Action = action(Trips_List, QStringLiteral("Перенести в автомобиль..."),
                             QStringLiteral("Записать выбранные маршруты за другим автомобилем"));
  Tag_Trips_Action = action(Trips_List, QStringLiteral("Метки..."),
                            QStringLiteral("Цель поездки, водитель и заметка для выбранных маршрутов"));

  // Tests and tools find each control by its name.
  const std::pair<QObject*, const char*> named[] = {{Location_Label, "Location_Label"},
                                                    {Choose_File_Button, "Choose_File_Button"},
                                                    {Server_Button, "Server_Button"},
                                                    {Sharing_Label, "Sharing_Label"},
                                                    {Send_Button, "Send_Button"},
                                                    {Vehicles_List, "Vehicles_List"},
                                                    {Months_Tree, "Months_Tree"},
                                                    {Imports_List, "Imports_List"},
                                                    {Trips_List, "Trips_List"},
                                                    {Show_In_Table_Button, "Show_In_Table_Button"},
                                                    {Import_Button, "Import_Button"},
                                                    {Export_Button, "Export_Button"},
                                                    {Backup_Button, "Backup_Button"},
                                                    {Year_Report_Button, "Year_Report_Button"},
                                                    {Close_Button, "Close_Button"},
                                                    {Edit_Vehicle_Action, "Edit_Vehicle_Action"},
                                                    {Merge_Vehicle_Action, "Merge_Vehicle_Action"},
                                                    {Delete_Vehicle_Action, "Delete_Vehicle_Action"},
                                                    {Move_Import_Action, "Move_Import_Action"},
                                                    {Undo_Import_Action, "Undo_Import_Action"},
                                                    {Move_Trips_Action, "Move_Trips_Action"},
                                                    {Tag_Trips_Action, "Tag_Trips_Action"}};
  for (auto [control, name] : named) control->setObjectName(QLatin1String(name));

  const auto guarded = [this](void (TLogbook_Form::*handler)()) {
    return [this, handler] { Guarded(host_.UiDialogs(), [this, handler] { (this->*handler)(); }); };
  };
  connect(Show_In_Table_Button, &QPushButton::clicked, this, guarded(&TLogbook_Form::Show_In_Table_Button_Click));
  connect(Import_Button, &QPushButton::clicked, this, guarded(&TLogbook_Form::Import_Button_Click));
  connect(Export_Button, &QPushButton::clicked, this, guarded(&TLogbook_Form::Export_Button_Click));
  connect(Backup_Button, &QPushButton::clicked, this, guarded(&TLogbook_Form::Backup_Button_Click));
  connect(Year_Report_Button, &QPushButton::clicked, this, guarded(&TLogbook_Form::Year_Report_Button_Click));
  connect(Choose_File_Button, &QPushButton::clicked, this, guarded(&TLogbook_Form::Choose_File_Button_Click));
  connect(Server_Button, &QPushButton::clicked, this, guarded(&TLogbook_Form::Server_Button_Click));
  connect(Send_Button, &QPushButton::clicked, this, guarded(&TLogbook_Form::Send_Button_Click));
  connect(Close_Button, &QPushButton::clicked, this, &QWidget::close);
  connect(Vehicles_List, &QTreeWidget::itemSelectionChanged, this, guarded(&TLogbook_Form::ShowMonths));
  connect(Vehicles_List, &QTreeWidget::itemDoubleClicked, this, guarded(&TLogbook_Form::Show_In_Table_Button_Click));
  connect(Months_Tree, &QTreeWidget::itemSelectionChanged, this, guarded(&TLogbook_Form::ShowTrips));
  connect(Trips_List, &QTreeWidget::itemSelectionChanged, this, &TLogbook_Form::EnableCorrections);
  connect(Imports_List, &QTreeWidget::itemSelectionChanged, this, &TLogbook_Form::EnableCorrections);
  const std::pair<QAction*, void (TLogbook_Form::*)()> corrections[] = {
      {Edit_Vehicle_Action, &TLogbook_Form::Edit_Vehicle_Action_Triggered},
      {Merge_Vehicle_Action, &TLogbook_Form::Merge_Vehicle_Action_Triggered},
      {Delete_Vehicle_Action, &TLogbook_Form::Delete_Vehicle_Action_Triggered},
      {Move_Import_Action, &TLogbook_Form::Move_Import_Action_Triggered},
      {Undo_Import_Action, &TLogbook_Form::Undo_Import_Action_Triggered},
      {Move_Trips_Action, &TLogbook_Form::Move_Trips_Action_Triggered},
      {Tag_Trips_Action, &TLogbook_Form::Tag_Trips_Action_Triggered}};
  for (auto [a, handler] : corrections) connect(a, &QAction::triggered, this, guarded(handler));
  // Escape closes like the other windows.
  connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &QWidget::close);
  EnableCorrections();
}

bool TLogbook_Form::Guard(const std::function<void(logbook::Store&)>& action) {
  logbook::Store* store = Session().Store();
  if (!store) return false;
  try {
    action(*store);
    return true;
  } catch (const logbook::StoreError& e) {
    SayReadFailed(LogbookFailureReason(e).toStdString());
    return false;
  }
}

void TLogbook_Form::SayReadFailed(const std::string& message) {
  const QString path = QFile::decodeName(Session().Location().c_str());
  host_.UiDialogs().Error(this, LogbookCaption,
                          QStringLiteral("Журнал не прочитан и не записан:\n%1\n%2.")
                              .arg(ShownLocation(path), ScrubbedFor(QString::fromStdString(message), path)));
}

bool TLogbook_Form::Reading() const { return Session().Reading(); }

void TLogbook_Form::Refresh() {
  const std::string selected = [this] {
    const QTreeWidgetItem* item = Vehicles_List->currentItem();
    if (!item) return std::string();
    return vehicles_.at(static_cast<std::size_t>(item->data(0, KeyRole).toInt())).plateKey;
  }();
  services::LogbookSession& session = Session();
  const QString path = QFile::decodeName(session.Location().c_str());
  const bool open = session.Store() != nullptr;
  const bool server = session.AtServer();
  const QString where =
      server ? QStringLiteral("сервер ") + ShownLocation(path) + QStringLiteral(", на этом компьютере ") +
                   QDir::toNativeSeparators(QFile::decodeName(logbook::DefaultLogbookLocation().c_str()))
             : ShownLocation(path);
  const QString problem = session.Problem() ? ScrubbedFor(LogbookFailureReason(*session.Problem()), path)
                                            : QStringLiteral("журнал не открыт");
  // A server's logbook is backed up on the server.
  Backup_Button->setEnabled(open && !server);
  Import_Button->setEnabled(open);
  Year_Report_Button->setEnabled(open);
  Location_Label->setToolTip(QString());
  Location_Label->setText(open ? QStringLiteral("Журнал: ") + where
                               : QStringLiteral("Журнал не открыт: ") + where + QStringLiteral(" (") + problem +
                                     QStringLiteral(")"));
  struct Found {
    std::vector<logbook::VehicleSummary> vehicles;
    std::vector<logbook::HistoryRow> history;
  };
  const auto read = [](logbook::Store& store) { return Found{store.Vehicles(), store.History()}; };
  if (session.Shared()) {
    // A fleet's logbook asks its server: never on this thread.
    const int number = ++refreshes_;
    const services::Status asked = session.ReadInBackground<Found>(
        read, [self = QPointer(this), number, selected](services::Result<Found> found,
                                                        const services::SharingStatus& status) {
          if (!self || number != self->refreshes_) return;  // closed, or a later refresh answers
          if (!found) return self->SayReadFailed(found.failure().message);
          self->ShowLists(std::move(found->vehicles), std::move(found->history), selected);
          self->ShowSharing(status);
        });
    if (!asked) SayReadFailed(asked.failure().message);
    return;
  }
  Found found;
  Guard([&](logbook::Store& store) { found = read(store); });
  ShowLists(std::move(found.vehicles), std::move(found.history), selected);
  ShowSharing({});  // a file's: nothing is shared
}

void TLogbook_Form::ShowLists(std::vector<logbook::VehicleSummary> vehicles, std::vector<logbook::HistoryRow> history,
                              const std::string& selected) {
  const bool hadSelection = Vehicles_List->currentItem() != nullptr;
  vehicles_ = std::move(vehicles);
  // The unassigned trips are no vehicle: without any, nothing to show. An
  // empty vehicle stays, to be deleted or merged.
  std::erase_if(vehicles_, [](const logbook::VehicleSummary& v) { return v.trips == 0 && v.plateKey.empty(); });

  const QSignalBlocker quiet(Vehicles_List);
  Vehicles_List->clear();
  QList<QTreeWidgetItem*> rows;
  rows.reserve(static_cast<qsizetype>(vehicles_.size()));
  for (std::size_t i = 0; i < vehicles_.size(); ++i) {
    const logbook::VehicleSummary& v = vehicles_[i];
    const QString plate = FromUtf8(logbook::DisplayName(v.texts));
    auto* item = new QTreeWidgetItem({plate, FromUtf8(v.texts.Model), FromUtf8(v.texts.Owner), QString::number(v.trips),
                                      FromUtf8(v.firstDate), FromUtf8(v.lastDate), KmText(v.distance),
                                      v.pending > 0 ? QString::number(v.pending) : QString()});
    if (v.pending > 0) item->setToolTip(0, QStringLiteral("Не все маршруты еще отправлены на сервер"));
    item->setData(0, KeyRole, static_cast<int>(i));
    AlignNumbers(item, 3);
    rows.append(item);
  }
  Vehicles_List->addTopLevelItems(rows);

  // Newest first, whatever order the store gives.
  history_ = std::move(history);
  std::stable_sort(history_.begin(), history_.end(),
                   [](const logbook::HistoryRow& a, const logbook::HistoryRow& b) { return a.at > b.at; });
  const QSignalBlocker quietHistory(Imports_List);
  Imports_List->clear();
  QList<QTreeWidgetItem*> historyRows;
  historyRows.reserve(static_cast<qsizetype>(history_.size()));
  for (std::size_t i = 0; i < history_.size(); ++i) {
    const logbook::HistoryRow& h = history_[i];
    const bool recording = IsRecording(h.kind);
    const QString source = recording        ? FromUtf8(h.source)
                           : h.from.empty() ? QString()
                                            : QStringLiteral("из ") + FromUtf8(h.from);
    auto* item = new QTreeWidgetItem(
        {FromUtf8(h.at), KindText(h), source, recording ? QString::number(h.read) : QString(), QString::number(h.trips),
         FromUtf8(h.vehicle.empty() && h.plateKey.empty() ? std::string(logbook::UnassignedName) : h.vehicle),
         FromUtf8(h.computer)});
    item->setToolTip(HistorySourceColumn, source);
    item->setData(0, HistoryRole, static_cast<int>(i));
    if (h.undone) {
      // Taken back: kept in the history, greyed and struck through.
      for (int c = 0; c < item->columnCount(); ++c) {
        QFont font = item->font(c);
        font.setStrikeOut(true);
        item->setFont(c, font);
        item->setForeground(c, palette().brush(QPalette::Disabled, QPalette::Text));
      }
      item->setToolTip(1, QStringLiteral("Отменено: маршруты этой записи убраны из журнала"));
    }
    AlignNumbers(item, 3);
    item->setTextAlignment(5, Qt::AlignLeft | Qt::AlignVCenter);
    item->setTextAlignment(6, Qt::AlignLeft | Qt::AlignVCenter);
    historyRows.append(item);
  }
  Imports_List->addTopLevelItems(historyRows);

  if (!hadSelection || !SelectVehicle(selected)) {
    if (Vehicles_List->topLevelItemCount() > 0) Vehicles_List->setCurrentItem(Vehicles_List->topLevelItem(0));
  }
  ShowMonths();
}

void TLogbook_Form::ShowSharing(const services::SharingStatus& status) {
  Sharing_Label->setVisible(status.shared);
  Send_Button->setVisible(status.shared);
  Vehicles_List->setColumnHidden(VehiclePendingColumn, !status.shared);
  Months_Tree->setColumnHidden(MonthPendingColumn, !status.shared);
  if (!status.shared) return;
  const services::WaitingTotals& w = status.waiting;
  QString text = w.recordings == 0
                     ? QStringLiteral("Ничего не ждет отправки на сервер.")
                     : QStringLiteral("Ждут отправки на сервер: %1 (с %2).").arg(TripsText(w.trips), FromUtf8(w.since));
  if (!status.setAside.empty())
    text += QStringLiteral(" Сервер не принял записей: %1 (%2); они отложены на этом компьютере.")
                .arg(status.setAside.size())
                .arg(FromUtf8(status.setAside.front().reason));
  const QString problem = ServerProblemText(status);
  if (!problem.isEmpty()) text += QStringLiteral(" Последняя ошибка: ") + problem + QLatin1Char('.');
  Sharing_Label->setText(text);
  Sharing_Label->setToolTip(text);
}

bool TLogbook_Form::SelectVehicle(const std::string& plateKey) {
  for (int i = 0; i < Vehicles_List->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = Vehicles_List->topLevelItem(i);
    if (vehicles_.at(static_cast<std::size_t>(item->data(0, KeyRole).toInt())).plateKey == plateKey) {
      Vehicles_List->setCurrentItem(item);
      return true;
    }
  }
  return false;
}

void TLogbook_Form::ShowMonths() {
  {
    const QSignalBlocker quiet(Months_Tree);  // the vehicle's trips come with its months
    Months_Tree->clear();
  }
  const QTreeWidgetItem* current = Vehicles_List->currentItem();
  const bool chosen = current != nullptr;
  Show_In_Table_Button->setEnabled(chosen);
  Export_Button->setEnabled(chosen);
  if (!chosen) {
    ShowTrips();
    return;
  }
  const std::string key = vehicles_.at(static_cast<std::size_t>(current->data(0, KeyRole).toInt())).plateKey;
  // The trips list comes in the same read (a fleet's server is asked once):
  // until a year or month is chosen, the vehicle's latest year, so that a
  // vehicle of many years never fills the list with all of them.
  struct Found {
    std::vector<logbook::MonthSummary> months;
    trips::TripList unsent;
    std::vector<logbook::LoggedTrip> trips;
  };
  const auto read = [key](logbook::Store& store) {
    Found found{store.Months(key), store.Unsent({key, std::nullopt, std::nullopt}), {}};
    int latest = 0;
    for (const logbook::MonthSummary& m : found.months) latest = std::max(latest, m.year);
    if (latest > 0) {
      const std::string year = std::to_string(latest);
      found.trips = store.LoggedTrips({key, year + "-01-01", year + "-12-31"});
    }
    return found;
  };
  if (Session().Shared()) {
    const int number = ++monthReads_;
    const services::Status asked = Session().ReadInBackground<Found>(
        read, [self = QPointer(this), number](services::Result<Found> found, const services::SharingStatus&) {
          if (!self || number != self->monthReads_) return;  // another vehicle was chosen meanwhile
          if (!found) return self->SayReadFailed(found.failure().message);
          self->FillMonths(found->months, found->unsent);
          ++self->tripReads_;  // an older period's trips are dropped
          self->FillTrips(std::move(found->trips));
        });
    if (!asked) SayReadFailed(asked.failure().message);
    return;
  }
  Found found;
  if (Guard([&](logbook::Store& store) { found = read(store); })) FillMonths(found.months, found.unsent);
  ++tripReads_;
  FillTrips(std::move(found.trips));
}

void TLogbook_Form::FillMonths(const std::vector<logbook::MonthSummary>& months, const trips::TripList& unsent) {
  const QSignalBlocker quiet(Months_Tree);  // the trips are shown once, at the end
  Months_Tree->clear();
  std::map<std::pair<int, int>, std::int64_t> pending;  // (year, month): trips not yet on the server
  for (const trips::TripRecord& r : unsent) ++pending[{2000 + r.Year, r.Month + 1}];
  const auto pendingText = [](std::int64_t n) { return n > 0 ? QString::number(n) : QString(); };

  QTreeWidgetItem* year = nullptr;
  std::int64_t yearTrips = 0, yearPending = 0;
  std::uint64_t yearDistance = 0, yearFuel = 0;
  const auto closeYear = [&] {
    if (!year) return;
    year->setText(1, QString::number(yearTrips));
    year->setText(2, KmText(yearDistance));
    year->setText(3, LitresText(yearFuel));
    year->setText(MonthPendingColumn, pendingText(yearPending));
    AlignNumbers(year, 1);
  };
  for (const logbook::MonthSummary& m : months) {
    if (!year || year->data(0, KeyRole).toInt() != m.year) {
      closeYear();
      year = new QTreeWidgetItem(Months_Tree, {QString::number(m.year)});
      year->setData(0, KeyRole, m.year);
      year->setData(0, MonthRole, 0);
      yearTrips = yearPending = 0;
      yearDistance = yearFuel = 0;
    }
    const QString name =
        m.month >= 1 && m.month <= 12 ? QString::fromUtf8(MonthNames[m.month - 1]) : QString::number(m.month);
    const std::int64_t waiting = pending[{m.year, m.month}];
    auto* item = new QTreeWidgetItem(
        year, {name, QString::number(m.trips), KmText(m.distance), LitresText(m.fuel), pendingText(waiting)});
    item->setData(0, KeyRole, m.year);
    item->setData(0, MonthRole, m.month);
    AlignNumbers(item, 1);
    yearTrips += m.trips;
    yearPending += waiting;
    yearDistance += m.distance;
    yearFuel += m.fuel;
  }
  closeYear();
}

std::optional<TLogbook_Form::Selection> TLogbook_Form::Selected() const {
  const QTreeWidgetItem* vehicle = Vehicles_List->currentItem();
  if (!vehicle) return std::nullopt;
  Selection s{vehicles_.at(static_cast<std::size_t>(vehicle->data(0, KeyRole).toInt())), {}};
  s.query.plateKey = s.vehicle.plateKey;
  const QList<QTreeWidgetItem*> period = Months_Tree->selectedItems();
  if (!period.isEmpty()) {
    const QString year = QString::number(period.first()->data(0, KeyRole).toInt());
    const int month = period.first()->data(0, MonthRole).toInt();
    const QString from = month == 0 ? QStringLiteral("-01-01") : QStringLiteral("-") + TwoDigits(month) + "-01";
    const QString to = month == 0 ? QStringLiteral("-12-31") : QStringLiteral("-") + TwoDigits(month) + "-31";
    s.query.from = (year + from).toStdString();
    s.query.to = (year + to).toStdString();
  }
  return s;
}

void TLogbook_Form::Show_In_Table_Button_Click() {
  const std::optional<Selection> selection = Selected();
  if (!selection) return;
  ReadTrips(selection->query, [this, vehicle = selection->vehicle.texts](trips::TripList trips) {
    host_.ShowTripsInTable(vehicle, std::move(trips));
  });
}

void TLogbook_Form::ReadTrips(const logbook::TripQuery& query, std::function<void(trips::TripList)> use) {
  const auto read = [query](logbook::Store& store) { return store.Trips(query); };
  if (Session().Shared()) {
    const services::Status asked = Session().ReadInBackground<trips::TripList>(
        read, [self = QPointer(this), use = std::move(use)](services::Result<trips::TripList> found,
                                                            const services::SharingStatus&) {
          if (!self) return;
          if (!found) return self->SayReadFailed(found.failure().message);
          Guarded(self->host_.UiDialogs(), [&] { use(std::move(found).value()); });
        });
    if (!asked) SayReadFailed(asked.failure().message);
    return;
  }
  trips::TripList found;
  if (Guard([&](logbook::Store& store) { found = read(store); })) use(std::move(found));
}

void TLogbook_Form::Import_Button_Click() {
  Dialogs& dialogs = host_.UiDialogs();
  if (!Session().Store()) {
    const QString path = QFile::decodeName(Session().Location().c_str());
    dialogs.Error(this, LogbookCaption,
                  QStringLiteral("Журнал не открыт: %1.")
                      .arg(Session().Problem() ? ScrubbedFor(LogbookFailureReason(*Session().Problem()), path)
                                               : QStringLiteral("журнал не открыт")));
    return;
  }
  FileDialogOptions options;
  options.initialDirectory = DialogFolder();
  options.filters = {QStringLiteral("Маршрутные параметры (*.dat)"), QStringLiteral("Все файлы (*)")};
  options.defaultSuffix = QStringLiteral("dat");
  const QStringList paths = dialogs.OpenFiles(this, options);
  if (paths.isEmpty()) return;
  folder_ = QFileInfo(paths.constFirst()).absolutePath();

  QStringList report;
  bool refused = false;
  for (const QString& path : paths) {
    const QString name = QFileInfo(path).fileName();
    const files::ReadResult read = files::ReadWholeFile(QFile::encodeName(path).toStdString(), trips::MaxDatFileBytes);
    if (!read.ok) {
      refused = true;
      report << QStringLiteral("%1: не принят, %2")
                    .arg(name, read.error == EFBIG ? QStringLiteral("неверный формат")
                                                   : QString::fromLocal8Bit(std::strerror(read.error)));
      continue;
    }
    auto parsed = trips::ParseDatFile(read.bytes);
    if (const auto* problem = std::get_if<trips::DatProblem>(&parsed)) {
      refused = true;
      report << QStringLiteral("%1: не принят, %2")
                    .arg(name, *problem == trips::DatProblem::WrongFormat ? QStringLiteral("неверный формат")
                                                                          : QStringLiteral("нет параметров маршрутов"));
      continue;
    }
    trips::DatContents& contents = std::get<trips::DatContents>(parsed);
    logbook::Recorded recorded;
    const bool stored = Guard([&](logbook::Store& store) {
      recorded = store.Record({logbook::Origin::File, QFile::encodeName(path).toStdString(),
                               logbook::RecordingTimeNow(), contents.Vehicle, contents.Trips});
    });
    if (!stored) {
      refused = true;
      report << QStringLiteral("%1: не записан в журнал").arg(name);
      break;  // the reason is said; the next files would meet it too
    }
    report << QStringLiteral("%1: считано %2, новых %3").arg(name).arg(recorded.read).arg(recorded.added);
  }
  // Recorded here; a fleet's server has them from the session's thread.
  if (Session().Shared()) host_.SendToServer({});
  Refresh();
  dialogs.Message(this, refused ? MsgIcon::Warning : MsgIcon::Information, QStringLiteral("Импорт маршрутов"),
                  report.join(QLatin1Char('\n')), MsgButtons::Ok, MsgAnswer::Ok);
}

void TLogbook_Form::Export_Button_Click() {
  const std::optional<Selection> selection = Selected();
  if (!selection) return;
  Dialogs& dialogs = host_.UiDialogs();
  FileDialogOptions options;
  options.initialDirectory = DialogFolder();
  options.filters = {QStringLiteral("Параметры маршрутов (*.dat)"), QStringLiteral("Текстовые файлы Exel (*.csv)")};
  options.filterIndex = exportFilter_;
  options.defaultSuffix = exportFilter_ == 1 ? QStringLiteral("csv") : QStringLiteral("dat");
  // Without an extension: the dialog adds the one of the type chosen.
  options.suggestedName = SuggestedName(selection->vehicle, selection->query);
  const std::optional<FileChoice> choice = dialogs.SaveFile(this, options);
  if (!choice) return;
  folder_ = QFileInfo(choice->path).absolutePath();
  if (choice->filterIndex >= 0) exportFilter_ = choice->filterIndex;
  ReadTrips(selection->query, [this, choice = *choice, vehicle = selection->vehicle.texts](trips::TripList trips) {
    WriteExport(choice, vehicle, trips);
  });
}

void TLogbook_Form::WriteExport(const FileChoice& choice, const trips::VehicleInfo& vehicle,
                                const trips::TripList& trips) {
  Dialogs& dialogs = host_.UiDialogs();
  // The type chosen decides; only when the dialog could not say, the name's extension does.
  const bool csv = choice.filterIndex == 1 ||
                   (choice.filterIndex < 0 &&
                    QFileInfo(choice.path).suffix().compare(QStringLiteral("csv"), Qt::CaseInsensitive) == 0);
  const std::string bytes = csv ? trips::SerializeCsv(trips) : trips::SerializeDatFile(vehicle, trips);
  const files::WriteResult written = files::ReplaceFileAtomically(QFile::encodeName(choice.path).toStdString(), bytes);
  if (!written.ok())
    dialogs.Error(
        this, QStringLiteral("Ошибка записи файла"),
        QStringLiteral("Не возможно записать выбранный файл\n%1\n%2.\nПрежнее содержимое файла сохранено.")
            .arg(QDir::toNativeSeparators(choice.path), QString::fromLocal8Bit(std::strerror(written.error))));
}

void TLogbook_Form::Backup_Button_Click() {
  if (!Session().Store()) return;
  const QString logbookPath = QFile::decodeName(Session().Location().c_str());
  if (logbook::IsServerLocation(logbookPath.toStdString())) return;
  Dialogs& dialogs = host_.UiDialogs();
  FileDialogOptions options;
  options.initialDirectory = DialogFolder();
  options.filters = {QStringLiteral("Журнал маршрутов (*.sqlite)")};
  options.defaultSuffix = QStringLiteral("sqlite");
  const std::optional<FileChoice> choice = dialogs.SaveFile(this, options);
  if (!choice) return;
  folder_ = QFileInfo(choice->path).absolutePath();
  const QString caption = QStringLiteral("Резервная копия журнала");
  try {
    logbook::BackUpLogbook(QFile::encodeName(logbookPath).toStdString(), QFile::encodeName(choice->path).toStdString());
  } catch (const logbook::StoreError& e) {
    const bool copyFailed = e.path() == QFile::encodeName(choice->path).toStdString();
    dialogs.Error(this, caption,
                  QStringLiteral("Копия журнала не записана:\n%1\n%2.\n\n%3")
                      .arg(QDir::toNativeSeparators(copyFailed ? choice->path : logbookPath), LogbookFailureReason(e),
                           copyFailed ? QStringLiteral("Прежнее содержимое файла сохранено; журнал не изменен.")
                                      : QStringLiteral("Журнал не изменен.")));
    return;
  }
  dialogs.Notice(this, caption,
                 QStringLiteral("Копия журнала записана в файл\n%1.").arg(QDir::toNativeSeparators(choice->path)));
}

void TLogbook_Form::Choose_File_Button_Click() {
  FileDialogOptions options;
  const QString current = QFile::decodeName(Session().Location().c_str());
  options.initialDirectory =
      QFileInfo(Session().AtServer() ? QFile::decodeName(logbook::DefaultLogbookLocation().c_str()) : current)
          .absolutePath();
  options.filters = {QStringLiteral("Журнал маршрутов (*.sqlite)"), QStringLiteral("Все файлы (*)")};
  options.defaultSuffix = QStringLiteral("sqlite");
  options.confirmOverwrite = false;  // an existing logbook is opened, never replaced
  // A logbook file is opened; a name not yet there makes a new one.
  const std::optional<FileChoice> choice =
      host_.UiDialogs().OpenOrNewFile(this, options, QStringLiteral("Открыть файл журнала"));
  if (!choice) return;
  if (host_.SwitchLogbook(choice->path)) Refresh();
}

void TLogbook_Form::Server_Button_Click() {
  TLogbook_Server_Form dialog(QFile::decodeName(Session().Location().c_str()), this);
  if (host_.UiDialogs().Exec(dialog) != QDialog::Accepted) return;
  if (host_.SwitchLogbook(dialog.Location())) Refresh();
}

void TLogbook_Form::Send_Button_Click() {
  if (!Session().Shared()) return;
  // Sent on the session's thread; the box comes with the outcome.
  host_.SendToServer([self = QPointer(this)](const services::SendOutcome& outcome) {
    if (self) self->Sent(outcome);
  });
}

void TLogbook_Form::Sent(const services::SendOutcome& outcome) {
  if (outcome.failure) return SayReadFailed(LogbookFailureReason(*outcome.failure).toStdString());
  const services::SendReport& result = outcome.report;
  const services::SharingStatus& status = outcome.status;
  Refresh();
  const QString caption = QStringLiteral("Отправка на сервер");
  Dialogs& dialogs = host_.UiDialogs();
  if (result.complete) {
    dialogs.Notice(this, caption,
                   result.sentRecordings == 0
                       ? QStringLiteral("Все маршруты уже на сервере, отправлять нечего.")
                       : QStringLiteral("Отправлено на сервер: %1.").arg(TripsText(result.sentTrips)));
    return;
  }
  const QString problem = ServerProblemText(status);
  QString why = problem.isEmpty() ? QStringLiteral("сервер принял не все") : problem;
  if (problem.isEmpty() && !status.setAside.empty())
    why = QStringLiteral("сервер не принял записей: %1 (%2), они отложены на этом компьютере")
              .arg(status.setAside.size())
              .arg(FromUtf8(status.setAside.front().reason));
  const QString left = TripsText(result.left.trips);
  dialogs.Message(
      this, MsgIcon::Warning, caption,
      result.sentRecordings == 0
          ? QStringLiteral("Маршруты не отправлены: %1. На этом компьютере ждут отправки: %2.").arg(why, left)
          : QStringLiteral("Отправлено на сервер: %1, ждут на этом компьютере: %2; %3.")
                .arg(TripsText(result.sentTrips), left, why),
      MsgButtons::Ok, MsgAnswer::Ok);
}

QString TLogbook_Form::DialogFolder() const {
  return folder_.isEmpty() || !QFileInfo(folder_).isDir() ? QDir::homePath() : folder_;
}

const logbook::VehicleSummary* TLogbook_Form::SelectedVehicle() const {
  const QTreeWidgetItem* item = Vehicles_List->currentItem();
  if (!item) return nullptr;
  return &vehicles_.at(static_cast<std::size_t>(item->data(0, KeyRole).toInt()));
}

QString TLogbook_Form::VehicleName(const std::string& plateKey) const {
  for (const logbook::VehicleSummary& v : vehicles_)
    if (v.plateKey == plateKey) return FromUtf8(logbook::DisplayName(v.texts));
  return FromUtf8(plateKey.empty() ? std::string(logbook::UnassignedName) : plateKey);
}

void TLogbook_Form::ShowTrips() {
  std::optional<Selection> selection = Selected();
  const int number = ++tripReads_;
  if (!selection) return FillTrips({});
  if (!selection->query.from) {  // no period chosen: the latest year, as with the months
    int latest = 0;
    for (int i = 0; i < Months_Tree->topLevelItemCount(); ++i)
      latest = std::max(latest, Months_Tree->topLevelItem(i)->data(0, KeyRole).toInt());
    if (latest == 0) return FillTrips({});
    selection->query.from = std::to_string(latest) + "-01-01";
    selection->query.to = std::to_string(latest) + "-12-31";
  }
  using Found = std::vector<logbook::LoggedTrip>;
  const auto read = [query = selection->query](logbook::Store& store) { return store.LoggedTrips(query); };
  if (Session().Shared()) {
    const services::Status asked = Session().ReadInBackground<Found>(
        read, [self = QPointer(this), number](services::Result<Found> found, const services::SharingStatus&) {
          if (!self || number != self->tripReads_) return;  // another vehicle or period was chosen meanwhile
          if (!found) return self->SayReadFailed(found.failure().message);
          self->FillTrips(std::move(found).value());
        });
    if (!asked) SayReadFailed(asked.failure().message);
    return;
  }
  Found found;
  Guard([&](logbook::Store& store) { found = read(store); });
  FillTrips(std::move(found));
}

void TLogbook_Form::FillTrips(std::vector<logbook::LoggedTrip> trips) {
  trips_ = std::move(trips);
  {
    const QSignalBlocker quiet(Trips_List);
    Trips_List->clear();
    QList<QTreeWidgetItem*> rows;
    rows.reserve(static_cast<qsizetype>(trips_.size()));
    for (std::size_t i = 0; i < trips_.size(); ++i) {
      const logbook::LoggedTrip& t = trips_[i];
      auto* item = new QTreeWidgetItem({FromUtf8(trips::DateText(t.trip)), FromUtf8(trips::StartTimeText(t.trip)),
                                        FromUtf8(stats::DurationText(t.trip.TripTime)), KmText(t.trip.Distance),
                                        LitresText(t.trip.Fuel), FromUtf8(t.tags.purpose), FromUtf8(t.tags.driver),
                                        FromUtf8(t.tags.note)});
      item->setData(0, HistoryRole, static_cast<int>(i));
      item->setToolTip(TripNoteColumn, FromUtf8(t.tags.note));
      for (int c = 2; c <= 4; ++c) item->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
      rows.append(item);
    }
    Trips_List->addTopLevelItems(rows);
  }
  EnableCorrections();
}

void TLogbook_Form::EnableCorrections() {
  const bool open = Session().Store() != nullptr;
  const logbook::VehicleSummary* v = SelectedVehicle();
  Edit_Vehicle_Action->setEnabled(open && v && !v->plateKey.empty());
  Merge_Vehicle_Action->setEnabled(open && v && vehicles_.size() > 1);
  Delete_Vehicle_Action->setEnabled(open && v && !v->plateKey.empty() && v->trips == 0);
  const bool trips = open && !Trips_List->selectedItems().isEmpty();
  Move_Trips_Action->setEnabled(trips);
  Tag_Trips_Action->setEnabled(trips);
  const bool recording = open && SelectedRecording() != nullptr;
  Move_Import_Action->setEnabled(recording);
  Undo_Import_Action->setEnabled(recording);
}

std::optional<logbook::TripSelection> TLogbook_Form::SelectedTrips() const {
  const std::optional<Selection> selection = Selected();
  const QList<QTreeWidgetItem*> items = Trips_List->selectedItems();
  if (!selection || items.isEmpty()) return std::nullopt;
  logbook::TripSelection which;
  which.query = selection->query;
  for (const QTreeWidgetItem* item : items)
    which.keys.push_back(
        logbook::TripKey(trips_.at(static_cast<std::size_t>(item->data(0, HistoryRole).toInt())).trip));
  return which;
}

const logbook::HistoryRow* TLogbook_Form::SelectedRecording() const {
  const QList<QTreeWidgetItem*> items = Imports_List->selectedItems();
  if (items.isEmpty()) return nullptr;
  const logbook::HistoryRow& row = history_.at(static_cast<std::size_t>(items.first()->data(0, HistoryRole).toInt()));
  return IsRecording(row.kind) && !row.undone ? &row : nullptr;
}

std::optional<trips::VehicleInfo> TLogbook_Form::ChooseTarget(const QString& caption, const QString& label) {
  QStringList names;
  for (const logbook::VehicleSummary& v : vehicles_) names << FromUtf8(logbook::DisplayName(v.texts));
  const std::optional<QString> typed =
      host_.UiDialogs().ChooseItem(this, caption, label, names, QString(), /*editable=*/true);
  if (!typed) return std::nullopt;
  const std::string text = typed->simplified().toStdString();
  if (text.empty()) {
    host_.UiDialogs().Error(this, caption, QStringLiteral("Автомобиль не указан; журнал не изменен."));
    return std::nullopt;
  }
  if (logbook::NamesUnassigned(text)) return trips::VehicleInfo{};
  if (const std::optional<logbook::VehicleSummary> known = logbook::FindVehicle(vehicles_, text)) return known->texts;
  trips::VehicleInfo fresh;
  fresh.RegId = text;
  return fresh;
}

void TLogbook_Form::Correct(const QString& caption, const QString& question,
                            const std::function<void(logbook::Store&)>& change, const std::string& select) {
  Dialogs& dialogs = host_.UiDialogs();
  if (!dialogs.Ask(this, caption, question, MsgAnswer::No)) return;
  const auto done = [this, caption, select](const services::Result<bool>& outcome) {
    if (!outcome) {
      const QString path = QFile::decodeName(Session().Location().c_str());
      host_.UiDialogs().Error(this, caption,
                              QStringLiteral("Журнал не изменен:\n%1.")
                                  .arg(ScrubbedFor(QString::fromStdString(outcome.failure().message), path)));
      return;
    }
    Refresh();
    SelectVehicle(select);  // a fleet's lists come later, keeping the vehicle chosen before
  };
  // Copied: a fleet's change runs on the session's thread (its server is never waited for here).
  const auto run = [change](logbook::Store& store) {
    change(store);
    return true;
  };
  if (Session().Shared()) {
    const services::Status asked = Session().ReadInBackground<bool>(
        run, [self = QPointer(this), done](services::Result<bool> outcome, const services::SharingStatus&) {
          if (self) Guarded(self->host_.UiDialogs(), [&] { done(outcome); });
        });
    if (!asked) done(asked.failure());
    return;
  }
  done(Session().With(run));
}

namespace {

// "считывание из БК 2024-03-01 10:00:00 (/dev/ttyUSB0)", "импорт файла a.dat от ...".
QString RecordingText(const logbook::HistoryRow& row) {
  using Kind = logbook::HistoryRow::Kind;
  const QString source = FromUtf8(row.source);
  const QString at = FromUtf8(row.at);
  switch (row.kind) {
    case Kind::Reading:
      return QStringLiteral("считывание из БК %1 (%2)").arg(at, source);
    case Kind::Saved:
      return QStringLiteral("сохранение в файл %1 от %2").arg(QDir::toNativeSeparators(source), at);
    default:
      return QStringLiteral("импорт файла %1 от %2").arg(QDir::toNativeSeparators(source), at);
  }
}

QString Quoted(const QString& text) { return QStringLiteral("«") + text + QStringLiteral("»"); }

// A dialog of the window's own: the line edits and combo boxes are found by their object names.
class FormDialog : public QDialog {
 public:
  FormDialog(QWidget* parent, const QString& title, const QString& objectName) : QDialog(parent) {
    setWindowTitle(title);
    setObjectName(objectName);
    form_ = new QFormLayout;
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
  }
  QLineEdit* Line(const QString& label, const char* name, const QString& text) {
    auto* edit = new QLineEdit(text, this);
    edit->setObjectName(QLatin1String(name));
    edit->setMinimumWidth(280);
    form_->addRow(label, edit);
    return edit;
  }
  QComboBox* Choice(const QString& label, const char* name, const QStringList& items, bool editable) {
    auto* combo = new QComboBox(this);
    combo->setObjectName(QLatin1String(name));
    combo->setEditable(editable);
    combo->addItems(items);
    form_->addRow(label, combo);
    return combo;
  }

 private:
  QFormLayout* form_;
};

}  // namespace

void TLogbook_Form::Move_Trips_Action_Triggered() {
  const std::optional<logbook::TripSelection> which = SelectedTrips();
  if (!which) return;
  const QString caption = QStringLiteral("Перенос маршрутов");
  const std::optional<trips::VehicleInfo> to = ChooseTarget(
      caption, QStringLiteral("Перенести выбранные маршруты (%1) в автомобиль (выберите или введите рег.номер):")
                   .arg(which->keys.size()));
  if (!to) return;
  const std::string toKey = logbook::PlateKey(to->RegId);
  const std::string fromKey = which->query.plateKey.value_or("");
  if (toKey == fromKey) {
    host_.UiDialogs().Notice(this, caption,
                             QStringLiteral("Маршруты уже записаны за %1.").arg(Quoted(VehicleName(toKey))));
    return;
  }
  const bool known =
      toKey.empty() || std::any_of(vehicles_.begin(), vehicles_.end(),
                                   [&](const logbook::VehicleSummary& v) { return v.plateKey == toKey; });
  const QString target = known ? Quoted(VehicleName(toKey))
                               : QStringLiteral("новый автомобиль ") + Quoted(FromUtf8(logbook::DisplayName(*to)));
  Correct(
      caption,
      QStringLiteral("Перенести %1 из %2 в %3?")
          .arg(TripsText(static_cast<std::int64_t>(which->keys.size())), Quoted(VehicleName(fromKey)), target),
      [which = *which, to = *to](logbook::Store& store) { store.Move(which, to); }, toKey);
}

void TLogbook_Form::Move_Import_Action_Triggered() {
  const logbook::HistoryRow* row = SelectedRecording();
  if (!row) return;
  const logbook::HistoryRow recording = *row;
  const QString caption = QStringLiteral("Перенос маршрутов");
  const std::optional<trips::VehicleInfo> to =
      ChooseTarget(caption, QStringLiteral("Перенести маршруты (%1) в автомобиль (выберите или введите рег.номер):")
                                .arg(RecordingText(recording)));
  if (!to) return;
  const std::string toKey = logbook::PlateKey(to->RegId);
  const bool known =
      toKey.empty() || std::any_of(vehicles_.begin(), vehicles_.end(),
                                   [&](const logbook::VehicleSummary& v) { return v.plateKey == toKey; });
  const QString target = known ? Quoted(VehicleName(toKey))
                               : QStringLiteral("новый автомобиль ") + Quoted(FromUtf8(logbook::DisplayName(*to)));
  logbook::TripSelection which;
  which.import = recording.id;
  Correct(
      caption,
      QStringLiteral("Перенести все маршруты (%1: %2) в %3?")
          .arg(RecordingText(recording), TripsText(recording.read), target),
      [which, to = *to](logbook::Store& store) { store.Move(which, to); }, toKey);
}

void TLogbook_Form::Undo_Import_Action_Triggered() {
  const logbook::HistoryRow* row = SelectedRecording();
  if (!row) return;
  const logbook::HistoryRow recording = *row;
  const std::string select = SelectedVehicle() ? SelectedVehicle()->plateKey : std::string();
  Correct(
      QStringLiteral("Отмена записи"),
      QStringLiteral("Отменить %1?\nЕго маршруты (%2) будут удалены из журнала, кроме тех, что есть и в других "
                     "считываниях или импортах.")
          .arg(RecordingText(recording), TripsText(recording.read)),
      [id = recording.id](logbook::Store& store) { store.Undo(id); }, select);
}

void TLogbook_Form::Edit_Vehicle_Action_Triggered() {
  const logbook::VehicleSummary* selected = SelectedVehicle();
  if (!selected || selected->plateKey.empty()) return;
  const logbook::VehicleSummary vehicle = *selected;
  const QString caption = QStringLiteral("Изменение автомобиля");
  FormDialog dialog(this, caption, QStringLiteral("Vehicle_Dialog"));
  QLineEdit* reg = dialog.Line(QStringLiteral("Рег.номер:"), "Reg_Edit", FromUtf8(vehicle.texts.RegId));
  QLineEdit* model = dialog.Line(QStringLiteral("Модель:"), "Model_Edit", FromUtf8(vehicle.texts.Model));
  QLineEdit* owner = dialog.Line(QStringLiteral("Владелец:"), "Owner_Edit", FromUtf8(vehicle.texts.Owner));
  if (host_.UiDialogs().Exec(dialog) != QDialog::Accepted) return;
  const trips::VehicleInfo texts{model->text().trimmed().toStdString(), reg->text().trimmed().toStdString(),
                                 owner->text().trimmed().toStdString()};
  if (texts == vehicle.texts) return;
  const std::string key = logbook::PlateKey(texts.RegId);
  Dialogs& dialogs = host_.UiDialogs();
  if (key.empty()) {
    dialogs.Error(this, caption, QStringLiteral("Рег.номер не указан; журнал не изменен."));
    return;
  }
  if (key != vehicle.plateKey && std::any_of(vehicles_.begin(), vehicles_.end(),
                                             [&](const logbook::VehicleSummary& v) { return v.plateKey == key; })) {
    dialogs.Error(this, caption,
                  QStringLiteral("Рег.номер %1 уже есть в журнале у другого автомобиля; журнал не изменен.\n"
                                 "Чтобы записать все маршруты за ним, выберите \"Объединить с другим...\".")
                      .arg(Quoted(VehicleName(key))));
    return;
  }
  QStringList changes;
  const auto line = [&changes](const QString& what, const std::string& was, const std::string& now) {
    if (was != now) changes << QStringLiteral("%1: %2 → %3").arg(what, Quoted(FromUtf8(was)), Quoted(FromUtf8(now)));
  };
  line(QStringLiteral("Рег.номер"), vehicle.texts.RegId, texts.RegId);
  line(QStringLiteral("Модель"), vehicle.texts.Model, texts.Model);
  line(QStringLiteral("Владелец"), vehicle.texts.Owner, texts.Owner);
  Correct(
      caption,
      QStringLiteral("Изменить автомобиль %1 (%2)?\n%3")
          .arg(Quoted(VehicleName(vehicle.plateKey)), TripsText(vehicle.trips), changes.join(QLatin1Char('\n'))),
      [from = vehicle.plateKey, texts](logbook::Store& store) { store.EditVehicle(from, texts); }, key);
}

void TLogbook_Form::Merge_Vehicle_Action_Triggered() {
  const logbook::VehicleSummary* selected = SelectedVehicle();
  if (!selected) return;
  const logbook::VehicleSummary vehicle = *selected;
  const QString caption = QStringLiteral("Объединение автомобилей");
  QStringList names;
  std::vector<std::string> keys;
  for (const logbook::VehicleSummary& v : vehicles_) {
    if (v.plateKey == vehicle.plateKey || v.plateKey.empty()) continue;
    names << FromUtf8(logbook::DisplayName(v.texts));
    keys.push_back(v.plateKey);
  }
  if (names.isEmpty()) return;
  const std::optional<QString> chosen = host_.UiDialogs().ChooseItem(
      this, caption,
      QStringLiteral("Записать все маршруты %1 за автомобилем:").arg(Quoted(VehicleName(vehicle.plateKey))), names,
      names.constFirst(), /*editable=*/false);
  if (!chosen) return;
  const qsizetype at = names.indexOf(*chosen);
  if (at < 0) return;
  const std::string into = keys.at(static_cast<std::size_t>(at));
  Correct(
      caption,
      QStringLiteral("Перенести все маршруты %1 (%2) в %3 и удалить %1 из журнала?")
          .arg(Quoted(VehicleName(vehicle.plateKey)), TripsText(vehicle.trips), Quoted(VehicleName(into))),
      [from = vehicle.plateKey, into](logbook::Store& store) { store.Merge(from, into); }, into);
}

void TLogbook_Form::Delete_Vehicle_Action_Triggered() {
  const logbook::VehicleSummary* selected = SelectedVehicle();
  if (!selected || selected->plateKey.empty() || selected->trips != 0) return;
  const std::string key = selected->plateKey;
  Correct(
      QStringLiteral("Удаление автомобиля"),
      QStringLiteral("Удалить автомобиль %1 из журнала? Маршрутов за ним нет.").arg(Quoted(VehicleName(key))),
      [key](logbook::Store& store) { store.DeleteVehicle(key); }, std::string());
}

void TLogbook_Form::Tag_Trips_Action_Triggered() {
  const std::optional<logbook::TripSelection> which = SelectedTrips();
  if (!which) return;
  // A tag all the selected trips share is shown; differing ones are left empty and kept unless typed.
  std::optional<logbook::TripTags> shared;
  bool purposeSame = true, driverSame = true, noteSame = true;
  for (const QTreeWidgetItem* item : Trips_List->selectedItems()) {
    const logbook::TripTags& t = trips_.at(static_cast<std::size_t>(item->data(0, HistoryRole).toInt())).tags;
    if (!shared) {
      shared = t;
      continue;
    }
    purposeSame = purposeSame && t.purpose == shared->purpose;
    driverSame = driverSame && t.driver == shared->driver;
    noteSame = noteSame && t.note == shared->note;
  }
  std::set<std::string> words = {"служебная", "личная"};
  for (const logbook::LoggedTrip& t : trips_)
    if (!t.tags.purpose.empty()) words.insert(t.tags.purpose);
  QStringList purposes{QString()};
  for (const std::string& w : words) purposes << FromUtf8(w);

  const QString caption = QStringLiteral("Метки маршрутов");
  FormDialog dialog(this, caption, QStringLiteral("Tags_Dialog"));
  QComboBox* purpose = dialog.Choice(QStringLiteral("Цель поездки:"), "Purpose_Combo", purposes, true);
  purpose->setCurrentText(purposeSame ? FromUtf8(shared->purpose) : QString());
  QLineEdit* driver =
      dialog.Line(QStringLiteral("Водитель:"), "Driver_Edit", driverSame ? FromUtf8(shared->driver) : QString());
  QLineEdit* note = dialog.Line(QStringLiteral("Заметка:"), "Note_Edit", noteSame ? FromUtf8(shared->note) : QString());
  const QString differ = QStringLiteral("(разные: не изменять)");
  if (!purposeSame) purpose->lineEdit()->setPlaceholderText(differ);
  if (!driverSame) driver->setPlaceholderText(differ);
  if (!noteSame) note->setPlaceholderText(differ);
  if (host_.UiDialogs().Exec(dialog) != QDialog::Accepted) return;

  logbook::TagChange change;
  QStringList said;
  const auto take = [&said](std::optional<std::string>& field, bool same, const std::string& was, const QString& now,
                            const QString& what) {
    const std::string text = now.simplified().toStdString();
    if (same ? text == was : text.empty()) return;  // untouched
    field = text;
    said << (text.empty() ? QStringLiteral("%1 убрать").arg(what)
                          : QStringLiteral("%1 %2").arg(what, Quoted(FromUtf8(text))));
  };
  take(change.purpose, purposeSame, shared->purpose, purpose->currentText(), QStringLiteral("цель"));
  take(change.driver, driverSame, shared->driver, driver->text(), QStringLiteral("водитель"));
  take(change.note, noteSame, shared->note, note->text(), QStringLiteral("заметка"));
  if (said.isEmpty()) return;
  const std::string select = which->query.plateKey.value_or("");
  Correct(
      caption,
      QStringLiteral("Записать метки (%1): %2?")
          .arg(TripsText(static_cast<std::int64_t>(which->keys.size())), said.join(QStringLiteral(", "))),
      [which = *which, change](logbook::Store& store) { store.Tag(which, change); }, select);
}

void TLogbook_Form::Year_Report_Button_Click() {
  if (!Session().Store()) return;
  int first = 0, last = 0;
  for (const logbook::VehicleSummary& v : vehicles_) {
    if (v.firstDate.size() < 4 || v.lastDate.size() < 4) continue;
    const int a = QString::fromStdString(v.firstDate.substr(0, 4)).toInt();
    const int b = QString::fromStdString(v.lastDate.substr(0, 4)).toInt();
    first = first == 0 ? a : std::min(first, a);
    last = std::max(last, b);
  }
  QStringList years;
  if (last == 0) first = last = QDate::currentDate().year();
  for (int y = last; y >= first; --y) years << QString::number(y);
  QStringList names{FromUtf8(std::string(stats::AllVehiclesName))};
  for (const logbook::VehicleSummary& v : vehicles_) names << FromUtf8(logbook::DisplayName(v.texts));

  FormDialog dialog(this, QStringLiteral("Отчёт за год"), QStringLiteral("Year_Report_Dialog"));
  QComboBox* year = dialog.Choice(QStringLiteral("Год:"), "Year_Combo", years, false);
  QComboBox* vehicle = dialog.Choice(QStringLiteral("Автомобиль:"), "Vehicle_Combo", names, false);
  if (const logbook::VehicleSummary* v = SelectedVehicle())
    vehicle->setCurrentIndex(static_cast<int>(v - vehicles_.data()) + 1);
  QComboBox* output =
      dialog.Choice(QStringLiteral("Куда:"), "Output_Combo",
                    {QStringLiteral("На принтер"), QStringLiteral("В файл PDF"), QStringLiteral("В файл CSV")}, false);
  if (host_.UiDialogs().Exec(dialog) != QDialog::Accepted) return;
  const int chosenYear = year->currentText().toInt();
  const int index = vehicle->currentIndex() - 1;  // -1: all
  const int where = output->currentIndex();
  std::vector<logbook::VehicleSummary> chosen;
  if (index >= 0 && static_cast<std::size_t>(index) < vehicles_.size())
    chosen.push_back(vehicles_[static_cast<std::size_t>(index)]);
  else
    chosen = vehicles_;
  const std::optional<trips::VehicleInfo> one =
      index >= 0 ? std::optional<trips::VehicleInfo>(chosen.front().texts) : std::nullopt;
  // The trips' purposes are the logbook's tags.
  const std::string y = std::to_string(chosenYear);
  const auto read = [chosen, y](logbook::Store& store) {
    std::vector<stats::VehicleTrips> out;
    for (const logbook::VehicleSummary& v : chosen) {
      stats::VehicleTrips t{logbook::Registration(v), {}, {}};
      for (logbook::LoggedTrip& l : store.LoggedTrips({v.plateKey, y + "-01-01", y + "-12-31"})) {
        t.trips.push_back(l.trip);
        t.purposes.push_back(std::move(l.tags.purpose));
      }
      out.push_back(std::move(t));
    }
    return out;
  };
  const auto put = [this, chosenYear, all = index < 0, one, where](const std::vector<stats::VehicleTrips>& trips) {
    PutYearReport(stats::MakeYearReport(trips, chosenYear, all), one, where);
  };
  if (Session().Shared()) {
    const services::Status asked = Session().ReadInBackground<std::vector<stats::VehicleTrips>>(
        read, [self = QPointer(this), put](services::Result<std::vector<stats::VehicleTrips>> found,
                                           const services::SharingStatus&) {
          if (!self) return;
          if (!found) return self->SayReadFailed(found.failure().message);
          Guarded(self->host_.UiDialogs(), [&] { put(found.value()); });
        });
    if (!asked) SayReadFailed(asked.failure().message);
    return;
  }
  std::vector<stats::VehicleTrips> found;
  if (Guard([&](logbook::Store& store) { found = read(store); })) put(found);
}

void TLogbook_Form::PutYearReport(const stats::YearReport& report, const std::optional<trips::VehicleInfo>& vehicle,
                                  int output) {
  Dialogs& dialogs = host_.UiDialogs();
  if (output == 0) {
    // The statistics' printer and its dialog, when the host keeps one.
    if (auto* printing = dynamic_cast<StatisticHost*>(&host_)) return PrintYearReport(*printing, this, report, vehicle);
    QPrinter printer;
    if (dialogs.Print(this, printer) && !PrintYearReportOn(printer, report, vehicle))
      dialogs.Error(this, QStringLiteral("Отчёт за год"), QStringLiteral("Не удалось напечатать годовой отчет."));
    return;
  }
  const bool csv = output == 2;
  FileDialogOptions options;
  options.initialDirectory = DialogFolder();
  options.filters = {csv ? QStringLiteral("Текстовые файлы Exel (*.csv)") : QStringLiteral("Документ PDF (*.pdf)")};
  options.defaultSuffix = csv ? QStringLiteral("csv") : QStringLiteral("pdf");
  options.suggestedName = QStringLiteral("Отчёт_%1").arg(report.year) +
                          (vehicle ? QLatin1Char('_') + FromUtf8(logbook::PlateKey(vehicle->RegId)) : QString());
  const std::optional<FileChoice> choice = dialogs.SaveFile(this, options);
  if (!choice) return;
  folder_ = QFileInfo(choice->path).absolutePath();
  std::string bytes;
  if (csv) {
    bytes = stats::SerializeYearCsv(report);
  } else {
    const std::optional<std::string> page = print::YearReportPdf(report, vehicle);
    if (!page) {
      dialogs.Error(this, QStringLiteral("Отчёт за год"), QStringLiteral("Не удалось составить PDF отчета."));
      return;
    }
    bytes = *page;
  }
  const files::WriteResult written = files::ReplaceFileAtomically(QFile::encodeName(choice->path).toStdString(), bytes);
  if (!written.ok()) {
    dialogs.Error(
        this, QStringLiteral("Ошибка записи файла"),
        QStringLiteral("Не возможно записать выбранный файл\n%1\n%2.\nПрежнее содержимое файла сохранено.")
            .arg(QDir::toNativeSeparators(choice->path), QString::fromLocal8Bit(std::strerror(written.error))));
    return;
  }
  dialogs.Notice(this, QStringLiteral("Отчёт за год"),
                 QStringLiteral("Отчёт за %1 год записан в файл\n%2.")
                     .arg(report.year)
                     .arg(QDir::toNativeSeparators(choice->path)));
}

}  // namespace riventar::ui
