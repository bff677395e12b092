// The trip table, the data file, the spreadsheet export and clearing.
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/files/file_io.h"
#include "core/services/trip_document.h"
#include "core/trips/dat_file.h"
#include "ui/app/Main_form.h"
#include "ui/common/dialogs.h"
#include "ui/trips/trip_table_model.h"
#include "ui/trips/vehicle_edit.h"

namespace riventar::ui {
namespace {

const QString OpenFailedText = QStringLiteral("Не возможно открыть выбранный файл");
const QString OpenFailedCaption = QStringLiteral("Ошибка открытия файла");

QString SystemReason(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// The model's reset drops the view's current row; like a grid, the table
// keeps it, moved up to the last row when the table has shrunk, and has the
// first row current until the user picks another. The period menu takes its
// anchor from it, so the highlight always shows the anchor.
void SetRowsKeepingCurrent(QTableView& grid, TripTableModel& model, int rows) {
  const QModelIndex current = grid.currentIndex();
  model.SetTripRows(rows);
  if (model.rowCount() == 0) return;
  const int row = std::clamp(current.row(), 0, model.rowCount() - 1);
  grid.selectionModel()->setCurrentIndex(model.index(row, std::max(current.column(), 0)),
                                         QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

}  // namespace

void TMonitor_Form::ReDraw_StringGrid() {
  SetRowsKeepingCurrent(*Trip_Params_StringGrid, *model_, static_cast<int>(document_.Trips().size()));
}

void TMonitor_Form::ShowDocument() {
  Save_Trip_To_File_Button->setEnabled(true);
  Clear_Trip_Table_Button->setEnabled(true);
  ReDraw_StringGrid();
}

void TMonitor_Form::ShowDocumentVehicle() {
  const trips::VehicleInfo& vehicle = document_.Vehicle();
  SetVehicleText(*Vehicle_Model_Edit, QString::fromStdString(vehicle.Model));
  SetVehicleText(*Vehicle_Reg_Id_Edit, QString::fromStdString(vehicle.RegId));
  SetVehicleText(*Vehicle_Owner_Edit, QString::fromStdString(vehicle.Owner));
}

trips::VehicleInfo TMonitor_Form::VehicleTexts() const {
  return {Vehicle_Model_Edit->text().toStdString(), Vehicle_Reg_Id_Edit->text().toStdString(),
          Vehicle_Owner_Edit->text().toStdString()};
}

void TMonitor_Form::Vehicle_Info_Edits_Key_Press() { document_.VehicleTyped(VehicleTexts()); }

static QString DialogFolder(const QString& remembered) {
  // The program's own folder is not writable on this platform; the dialogs
  // start where the user last picked a file, else in the home folder.
  return remembered.isEmpty() ? QDir::homePath() : remembered;
}

void TMonitor_Form::Read_Trip_From_File_Button_Click() {
  FileDialogOptions options;
  options.initialDirectory = DialogFolder(fileFolder_);
  options.filters = {QStringLiteral("Маршрутные параметры (*.dat)"), QStringLiteral("Все файлы (*)")};
  options.defaultSuffix = QStringLiteral("dat");
  const std::optional<FileChoice> choice = dialogs_.OpenFile(this, options);
  if (!choice) return;
  fileFolder_ = QFileInfo(choice->path).absolutePath();

  // The whole file is read before the clearing step can run a save, so a save
  // onto this very file cannot spoil what is being loaded.
  const std::string path = QFile::encodeName(choice->path).toStdString();
  services::Result<services::TripFile> read = services::ReadTripFile(path);
  if (!read) {
    switch (read.failure().kind) {
      case services::Failure::Kind::NotTripFile:
        dialogs_.Error(this, QStringLiteral("Error"), QStringLiteral("Выбранный файл имеет неверный формат."));
        return;
      case services::Failure::Kind::NoTrips:
        dialogs_.Error(this, QStringLiteral("Error"),
                       QStringLiteral("Выбранный файл не содержит параметров маршрутов."));
        return;
      default:
        dialogs_.Beep();
        dialogs_.Error(this, OpenFailedCaption, OpenFailedText);
        return;
    }
  }

  const bool saveOffered = document_.Unsaved();
  Clear_Trip_Table_Button_Click();
  document_.Show(std::move(read->contents.Vehicle), std::move(read->contents.Trips));
  ShowDocumentVehicle();
  ShowDocument();
  // The save offered while clearing may have gone onto this very file: what the table shows is then in no file.
  if (saveOffered) {
    const files::ReadResult now = files::ReadWholeFile(path, trips::MaxDatFileBytes);
    if (!now.ok || now.bytes != read->bytes) document_.MarkUnsaved();
  }
}

void TMonitor_Form::Save_Trip_To_File_Button_Click() { SaveTrips(); }

TMonitor_Form::SaveOutcome TMonitor_Form::SaveTrips() {
  FileDialogOptions options;
  options.initialDirectory = DialogFolder(fileFolder_);
  options.filters = {QStringLiteral("Параметры маршрутов (*.dat)"), QStringLiteral("Текстовые файлы Exel (*.csv)"),
                     QStringLiteral("Все файлы (*)")};
  options.filterIndex = saveDialogFilterIndex_;
  options.defaultSuffix = QStringLiteral("dat");
  const std::optional<FileChoice> choice = dialogs_.SaveFile(this, options);
  if (!choice) return SaveOutcome::Cancelled;
  fileFolder_ = QFileInfo(choice->path).absolutePath();
  if (choice->filterIndex >= 0) saveDialogFilterIndex_ = choice->filterIndex;

  // The type picked in the dialog decides the format, never the file's name.
  const bool csv = choice->filterIndex == 1;
  document_.SetVehicle(VehicleTexts());
  const services::Status saved = document_.Save(QFile::encodeName(choice->path).toStdString(),
                                                csv ? services::TripFormat::Csv : services::TripFormat::Dat);
  if (saved) {
    if (!csv) RecordSavedTrips(choice->path);
    return SaveOutcome::Saved;
  }
  if (saved.failure().kind == services::Failure::Kind::FileCreate) {
    dialogs_.Error(this, OpenFailedCaption, OpenFailedText);
  } else {
    dialogs_.Error(this, QStringLiteral("Ошибка записи файла"),
                   QStringLiteral("Не возможно записать выбранный файл\n%1\n%2.\n"
                                  "Прежнее содержимое файла сохранено.")
                       .arg(QDir::toNativeSeparators(choice->path), SystemReason(saved.failure().systemError)));
  }
  return SaveOutcome::Failed;
}

void TMonitor_Form::Clear_Trip_Table_Button_Click() {
  // A save that fails offers the question again, so the shown trips are not
  // dropped on a full disk; refusing or cancelling still clears.
  // Trips the logbook holds are not lost: only those in no file and no
  // logbook are asked about.
  while (document_.AtRisk() &&
         dialogs_.Ask(this, QStringLiteral("Удаление маршрутов"),
                      QStringLiteral("Отображенные маршруты будут утеряны!\nСохранить их в файле?"))) {
    if (SaveTrips() != SaveOutcome::Failed) break;
  }
  document_.Clear();
  ShowDocumentVehicle();
  SetRowsKeepingCurrent(*Trip_Params_StringGrid, *model_, TripTableModel::EmptyRow);
  Save_Trip_To_File_Button->setEnabled(false);
  Clear_Trip_Table_Button->setEnabled(false);
}

}  // namespace riventar::ui
