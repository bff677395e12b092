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
#include "core/trips/dat_file.h"
#include "ui/app/Main_form.h"
#include "ui/common/dialogs.h"
#include "ui/trips/trip_table_model.h"
#include "ui/trips/vehicle_edit.h"

namespace riventar::ui {
namespace {

const QString OpenFailedText = QStringLiteral("Не возможно открыть выбранный файл");
const QString OpenFailedCaption = QStringLiteral("Ошибка открытия файла");

std::string ToUtf8(const QLineEdit* edit) { return edit->text().toStdString(); }

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
  SetRowsKeepingCurrent(*Trip_Params_StringGrid, *model_, static_cast<int>(TripList.size()));
}

void TMonitor_Form::Vehicle_Info_Edits_Key_Press() {
  TripsUnsaved = true;
  unsavedInLogbook_ = false;  // the texts typed are in no logbook
}

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
  const QString wrongFormat = QStringLiteral("Выбранный файл имеет неверный формат.");
  const files::ReadResult read =
      files::ReadWholeFile(QFile::encodeName(choice->path).toStdString(), trips::MaxDatFileBytes);
  if (!read.ok && read.error == EFBIG) {
    dialogs_.Error(this, QStringLiteral("Error"), wrongFormat);
    return;
  }
  if (!read.ok) {
    dialogs_.Beep();
    dialogs_.Error(this, OpenFailedCaption, OpenFailedText);
    return;
  }
  auto parsed = trips::ParseDatFile(read.bytes);
  if (const auto* problem = std::get_if<trips::DatProblem>(&parsed)) {
    dialogs_.Error(this, QStringLiteral("Error"),
                   *problem == trips::DatProblem::WrongFormat
                       ? wrongFormat
                       : QStringLiteral("Выбранный файл не содержит параметров маршрутов."));
    return;
  }
  trips::DatContents& contents = std::get<trips::DatContents>(parsed);

  const bool saveOffered = TripsUnsaved;
  Clear_Trip_Table_Button_Click();
  SetVehicleText(*Vehicle_Model_Edit, QString::fromStdString(contents.Vehicle.Model));
  SetVehicleText(*Vehicle_Reg_Id_Edit, QString::fromStdString(contents.Vehicle.RegId));
  SetVehicleText(*Vehicle_Owner_Edit, QString::fromStdString(contents.Vehicle.Owner));
  TripList = std::move(contents.Trips);
  Save_Trip_To_File_Button->setEnabled(true);
  Clear_Trip_Table_Button->setEnabled(true);
  ReDraw_StringGrid();
  // The save offered while clearing may have gone onto this very file: what the table shows is then in no file.
  if (saveOffered) {
    const files::ReadResult now =
        files::ReadWholeFile(QFile::encodeName(choice->path).toStdString(), trips::MaxDatFileBytes);
    if (!now.ok || now.bytes != read.bytes) TripsUnsaved = true;
  }
}

void TMonitor_Form::Save_Trip_To_File_Button_Click() { SaveTrips(); }

TMonitor_Form::SaveOutcome TMonitor_Form::SaveTrips() {
  FileDialogOptions options;
  options.initialDirectory = DialogFolder(fileFolder_);
  options.filters = {QStringLiteral("Параметры маршрутов (*.dat)"), QStringLiteral("Текстовые файлы Exel (*.csv)"),
                     QStringLiteral("Все файлы (*)")};
  options.filterIndex = SaveDialogFilterIndex;
  options.defaultSuffix = QStringLiteral("dat");
  const std::optional<FileChoice> choice = dialogs_.SaveFile(this, options);
  if (!choice) return SaveOutcome::Cancelled;
  fileFolder_ = QFileInfo(choice->path).absolutePath();
  if (choice->filterIndex >= 0) SaveDialogFilterIndex = choice->filterIndex;

  // The type picked in the dialog decides the format, never the file's name.
  const std::string bytes =
      choice->filterIndex == 1
          ? trips::SerializeCsv(TripList)
          : trips::SerializeDatFile(
                {ToUtf8(Vehicle_Model_Edit), ToUtf8(Vehicle_Reg_Id_Edit), ToUtf8(Vehicle_Owner_Edit)}, TripList);
  const files::WriteResult written = files::ReplaceFileAtomically(QFile::encodeName(choice->path).toStdString(), bytes);
  switch (written.status) {
    case files::WriteResult::Status::Ok:
      TripsUnsaved = false;
      unsavedInLogbook_ = false;
      if (choice->filterIndex != 1) RecordSavedTrips(choice->path);
      return SaveOutcome::Saved;
    case files::WriteResult::Status::CreateFailed:
      dialogs_.Error(this, OpenFailedCaption, OpenFailedText);
      return SaveOutcome::Failed;
    case files::WriteResult::Status::WriteFailed:
      dialogs_.Error(this, QStringLiteral("Ошибка записи файла"),
                     QStringLiteral("Не возможно записать выбранный файл\n%1\n%2.\n"
                                    "Прежнее содержимое файла сохранено.")
                         .arg(QDir::toNativeSeparators(choice->path), SystemReason(written.error)));
      return SaveOutcome::Failed;
  }
  return SaveOutcome::Failed;
}

void TMonitor_Form::Clear_Trip_Table_Button_Click() {
  // A save that fails offers the question again, so the shown trips are not
  // dropped on a full disk; refusing or cancelling still clears.
  // Trips the logbook holds are not lost: only those in no file and no
  // logbook are asked about.
  while (TripsUnsaved && !unsavedInLogbook_ &&
         dialogs_.Ask(this, QStringLiteral("Удаление маршрутов"),
                      QStringLiteral("Отображенные маршруты будут утеряны!\nСохранить их в файле?"))) {
    if (SaveTrips() != SaveOutcome::Failed) break;
  }
  for (QLineEdit* edit : {Vehicle_Model_Edit, Vehicle_Reg_Id_Edit, Vehicle_Owner_Edit}) SetVehicleText(*edit, {});
  TripList.clear();
  SetRowsKeepingCurrent(*Trip_Params_StringGrid, *model_, TripTableModel::EmptyRow);
  Save_Trip_To_File_Button->setEnabled(false);
  Clear_Trip_Table_Button->setEnabled(false);
  TripsUnsaved = false;
  unsavedInLogbook_ = false;
}

}  // namespace riventar::ui
