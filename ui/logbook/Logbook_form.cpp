#include "ui/logbook/Logbook_form.h"

#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cerrno>
#include <cstring>
#include <map>
#include <utility>

#include "adapters/logbook/location.h"
#include "adapters/logbook/sqlite_store.h"
#include "base/files/file_io.h"
#include "core/logbook/server_location.h"
#include "core/trips/dat_file.h"
#include "ui/common/dialogs.h"
#include "ui/common/handler_guard.h"
#include "ui/common/ui_style.h"
#include "ui/logbook/Logbook_server_form.h"
#include "ui/logbook/logbook_texts.h"

namespace riventar::ui {
namespace {

constexpr int KeyRole = Qt::UserRole;        // vehicle: index into vehicles_; month tree: year
constexpr int MonthRole = Qt::UserRole + 1;  // month tree: 1..12, 0 for a whole year
constexpr int VehiclePendingColumn = 7;      // "Не отправлено": shown only for a server's logbook
constexpr int MonthPendingColumn = 4;

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
  resize(780, 520);

  auto* layout = new QVBoxLayout(this);
  auto* where = new QHBoxLayout;
  Location_Label = new QLabel(this);
  Location_Label->setTextFormat(Qt::PlainText);
  Location_Label->setTextInteractionFlags(Qt::TextSelectableByMouse);
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
                              QStringLiteral("Считано"), QStringLiteral("Новых")});
  Imports_List->setSelectionMode(QAbstractItemView::NoSelection);
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
  Close_Button = new QPushButton(QStringLiteral("Закрыть"), this);
  for (QPushButton* button : {Show_In_Table_Button, Import_Button, Export_Button, Backup_Button})
    buttons->addWidget(button);
  buttons->addStretch(1);
  buttons->addWidget(Close_Button);
  layout->addLayout(buttons);
  // Tests and tools find each control by its name.
  const std::pair<QObject*, const char*> named[] = {{Location_Label, "Location_Label"},
                                                    {Choose_File_Button, "Choose_File_Button"},
                                                    {Server_Button, "Server_Button"},
                                                    {Sharing_Label, "Sharing_Label"},
                                                    {Send_Button, "Send_Button"},
                                                    {Vehicles_List, "Vehicles_List"},
                                                    {Months_Tree, "Months_Tree"},
                                                    {Imports_List, "Imports_List"},
                                                    {Show_In_Table_Button, "Show_In_Table_Button"},
                                                    {Import_Button, "Import_Button"},
                                                    {Export_Button, "Export_Button"},
                                                    {Backup_Button, "Backup_Button"},
                                                    {Close_Button, "Close_Button"}};
  for (auto [control, name] : named) control->setObjectName(QLatin1String(name));

  const auto guarded = [this](void (TLogbook_Form::*handler)()) {
    return [this, handler] { Guarded(host_.UiDialogs(), [this, handler] { (this->*handler)(); }); };
  };
  connect(Show_In_Table_Button, &QPushButton::clicked, this, guarded(&TLogbook_Form::Show_In_Table_Button_Click));
  connect(Import_Button, &QPushButton::clicked, this, guarded(&TLogbook_Form::Import_Button_Click));
  connect(Export_Button, &QPushButton::clicked, this, guarded(&TLogbook_Form::Export_Button_Click));
  connect(Backup_Button, &QPushButton::clicked, this, guarded(&TLogbook_Form::Backup_Button_Click));
  connect(Choose_File_Button, &QPushButton::clicked, this, guarded(&TLogbook_Form::Choose_File_Button_Click));
  connect(Server_Button, &QPushButton::clicked, this, guarded(&TLogbook_Form::Server_Button_Click));
  connect(Send_Button, &QPushButton::clicked, this, guarded(&TLogbook_Form::Send_Button_Click));
  connect(Close_Button, &QPushButton::clicked, this, &QWidget::close);
  connect(Vehicles_List, &QTreeWidget::itemSelectionChanged, this, guarded(&TLogbook_Form::ShowMonths));
  connect(Vehicles_List, &QTreeWidget::itemDoubleClicked, this, guarded(&TLogbook_Form::Show_In_Table_Button_Click));
  // Escape closes like the other windows.
  connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &QWidget::close);
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
  Location_Label->setText(open ? QStringLiteral("Журнал: ") + where
                               : QStringLiteral("Журнал не открыт: ") + where + QStringLiteral(" (") + problem +
                                     QStringLiteral(")"));
  struct Found {
    std::vector<logbook::VehicleSummary> vehicles;
    std::vector<logbook::ImportRow> imports;
  };
  const auto read = [](logbook::Store& store) { return Found{store.Vehicles(), store.Imports()}; };
  if (session.Shared()) {
    // A fleet's logbook asks its server: never on this thread.
    const int number = ++refreshes_;
    const services::Status asked = session.ReadInBackground<Found>(
        read, [self = QPointer(this), number, selected](services::Result<Found> found,
                                                        const services::SharingStatus& status) {
          if (!self || number != self->refreshes_) return;  // closed, or a later refresh answers
          if (!found) return self->SayReadFailed(found.failure().message);
          self->ShowLists(std::move(found->vehicles), found->imports, selected);
          self->ShowSharing(status);
        });
    if (!asked) SayReadFailed(asked.failure().message);
    return;
  }
  Found found;
  Guard([&](logbook::Store& store) { found = read(store); });
  ShowLists(std::move(found.vehicles), found.imports, selected);
  ShowSharing({});  // a file's: nothing is shared
}

void TLogbook_Form::ShowLists(std::vector<logbook::VehicleSummary> vehicles,
                              const std::vector<logbook::ImportRow>& imports, const std::string& selected) {
  const bool hadSelection = Vehicles_List->currentItem() != nullptr;
  vehicles_ = std::move(vehicles);
  // A vehicle whose trips have all been saved under another number has none left to show.
  std::erase_if(vehicles_, [](const logbook::VehicleSummary& v) { return v.trips == 0; });

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

  Imports_List->clear();
  QList<QTreeWidgetItem*> importRows;
  importRows.reserve(static_cast<qsizetype>(imports.size()));
  for (const logbook::ImportRow& row : imports) {
    auto* item = new QTreeWidgetItem({FromUtf8(row.at), OriginText(row.origin), FromUtf8(row.source),
                                      QString::number(row.read), QString::number(row.added)});
    AlignNumbers(item, 3);
    importRows.append(item);
  }
  Imports_List->addTopLevelItems(importRows);

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
  Months_Tree->clear();
  const QTreeWidgetItem* current = Vehicles_List->currentItem();
  const bool chosen = current != nullptr;
  Show_In_Table_Button->setEnabled(chosen);
  Export_Button->setEnabled(chosen);
  if (!chosen) return;
  const std::string key = vehicles_.at(static_cast<std::size_t>(current->data(0, KeyRole).toInt())).plateKey;
  struct Found {
    std::vector<logbook::MonthSummary> months;
    trips::TripList unsent;
  };
  const auto read = [key](logbook::Store& store) {
    return Found{store.Months(key), store.Unsent({key, std::nullopt, std::nullopt})};
  };
  if (Session().Shared()) {
    const int number = ++monthReads_;
    const services::Status asked = Session().ReadInBackground<Found>(
        read, [self = QPointer(this), number](services::Result<Found> found, const services::SharingStatus&) {
          if (!self || number != self->monthReads_) return;  // another vehicle was chosen meanwhile
          if (!found) return self->SayReadFailed(found.failure().message);
          self->FillMonths(found->months, found->unsent);
        });
    if (!asked) SayReadFailed(asked.failure().message);
    return;
  }
  Found found;
  if (Guard([&](logbook::Store& store) { found = read(store); })) FillMonths(found.months, found.unsent);
}

void TLogbook_Form::FillMonths(const std::vector<logbook::MonthSummary>& months, const trips::TripList& unsent) {
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
  options.initialDirectory = QDir::homePath();
  options.filters = {QStringLiteral("Маршрутные параметры (*.dat)"), QStringLiteral("Все файлы (*)")};
  options.defaultSuffix = QStringLiteral("dat");
  const QStringList paths = dialogs.OpenFiles(this, options);
  if (paths.isEmpty()) return;

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
  options.initialDirectory = QDir::homePath();
  options.filters = {QStringLiteral("Параметры маршрутов (*.dat)"), QStringLiteral("Текстовые файлы Exel (*.csv)")};
  options.defaultSuffix = QStringLiteral("dat");
  const std::optional<FileChoice> choice = dialogs.SaveFile(this, options);
  if (!choice) return;
  ReadTrips(selection->query, [this, choice = *choice, vehicle = selection->vehicle.texts](trips::TripList trips) {
    WriteExport(choice, vehicle, trips);
  });
}

void TLogbook_Form::WriteExport(const FileChoice& choice, const trips::VehicleInfo& vehicle,
                                const trips::TripList& trips) {
  Dialogs& dialogs = host_.UiDialogs();
  const std::string bytes =
      choice.filterIndex == 1 ? trips::SerializeCsv(trips) : trips::SerializeDatFile(vehicle, trips);
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
  options.initialDirectory = QDir::homePath();
  options.filters = {QStringLiteral("Журнал маршрутов (*.sqlite)")};
  options.defaultSuffix = QStringLiteral("sqlite");
  const std::optional<FileChoice> choice = dialogs.SaveFile(this, options);
  if (!choice) return;
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
  const std::optional<FileChoice> choice = host_.UiDialogs().SaveFile(this, options);
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

}  // namespace riventar::ui
