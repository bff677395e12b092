#include "ui/common/dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QRegularExpression>
#include <algorithm>

#include "ui/common/Vehicle_choice_form.h"

namespace riventar::ui {
namespace {

QMessageBox::Icon ToQt(MsgIcon icon) {
  switch (icon) {
    case MsgIcon::Stop:
      return QMessageBox::Critical;
    case MsgIcon::Information:
      return QMessageBox::Information;
    case MsgIcon::Question:
      return QMessageBox::Question;
    case MsgIcon::Warning:
      return QMessageBox::Warning;
  }
  return QMessageBox::NoIcon;
}

// `title`: instead of the platform's own; `openOrNew`: opening, a name not yet there taken too.
std::optional<FileChoice> RunFileDialog(QWidget* parent, const FileDialogOptions& options, bool save,
                                        QStringList* several = nullptr, const QString& title = {},
                                        bool openOrNew = false) {
  QFileDialog dialog(parent);
  if (!title.isEmpty()) dialog.setWindowTitle(title);
  dialog.setDirectory(options.initialDirectory);
  if (!options.suggestedName.isEmpty()) dialog.selectFile(options.suggestedName);
  dialog.setNameFilters(options.filters);
  if (options.filterIndex >= 0 && options.filterIndex < options.filters.size())
    dialog.selectNameFilter(options.filters.at(options.filterIndex));
  // A name typed without an extension gets the chosen type's, as users
  // expect; selectNameFilter() above does not signal, so set it now too.
  const auto suffixOf = [&options](const QString& filter) {
    static const QRegularExpression extension(QStringLiteral("\\*\\.(\\w+)"));
    const QRegularExpressionMatch match = extension.match(filter);
    return match.hasMatch() ? match.captured(1) : options.defaultSuffix;
  };
  dialog.setDefaultSuffix(suffixOf(dialog.selectedNameFilter()));
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                   [&dialog, suffixOf](const QString& filter) { dialog.setDefaultSuffix(suffixOf(filter)); });
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save || openOrNew ? QFileDialog::AnyFile
                     : several         ? QFileDialog::ExistingFiles
                                       : QFileDialog::ExistingFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, !options.confirmOverwrite);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  if (several) *several = dialog.selectedFiles();
  return FileChoice{dialog.selectedFiles().constFirst(),
                    static_cast<int>(options.filters.indexOf(dialog.selectedNameFilter()))};
}

}  // namespace

int Dialogs::Exec(QDialog& dialog) { return dialog.exec(); }

MsgAnswer QtDialogs::Message(QWidget* parent, MsgIcon icon, const QString& caption, const QString& text,
                             MsgButtons buttons, MsgAnswer defaultAnswer) {
  QMessageBox box(ToQt(icon), caption, text,
                  buttons == MsgButtons::YesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, parent);
  box.setTextFormat(Qt::PlainText);  // file names and device texts are never markup
  if (buttons == MsgButtons::YesNo)
    box.setDefaultButton(defaultAnswer == MsgAnswer::No ? QMessageBox::No : QMessageBox::Yes);
  switch (box.exec()) {
    case QMessageBox::Yes:
      return MsgAnswer::Yes;
    case QMessageBox::No:
      return MsgAnswer::No;
    default:
      return buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Ok;
  }
}

std::optional<trips::VehicleInfo> QtDialogs::ChooseVehicle(QWidget* parent, const VehicleQuestion& question) {
  TVehicle_Choice_Form form(question, parent);
  form.exec();
  return form.Chosen();
}

std::optional<FileChoice> QtDialogs::OpenFile(QWidget* parent, const FileDialogOptions& options) {
  return RunFileDialog(parent, options, false);
}

QStringList QtDialogs::OpenFiles(QWidget* parent, const FileDialogOptions& options) {
  QStringList chosen;
  RunFileDialog(parent, options, false, &chosen);
  return chosen;
}

std::optional<FileChoice> QtDialogs::SaveFile(QWidget* parent, const FileDialogOptions& options) {
  return RunFileDialog(parent, options, true);
}

bool QtDialogs::Print(QWidget* parent, QPrinter& printer) {
  QPrintDialog dialog(&printer, parent);
  return dialog.exec() == QDialog::Accepted;
}

void QtDialogs::Beep() { QApplication::beep(); }

std::optional<QString> QtDialogs::TextInput(QWidget* parent, const QString& caption, const QString& label,
                                            const QString& initial) {
  bool ok = false;
  const QString text = QInputDialog::getText(parent, caption, label, QLineEdit::Normal, initial, &ok);
  if (!ok) return std::nullopt;
  return text;
}

std::optional<FileChoice> QtDialogs::OpenOrNewFile(QWidget* parent, const FileDialogOptions& options,
                                                   const QString& title) {
  return RunFileDialog(parent, options, false, nullptr, title, true);
}

std::optional<QString> QtDialogs::ChooseItem(QWidget* parent, const QString& caption, const QString& label,
                                             const QStringList& items, const QString& current, bool editable) {
  bool ok = false;
  const QString chosen = QInputDialog::getItem(parent, caption, label, items,
                                               std::max(0, static_cast<int>(items.indexOf(current))), editable, &ok);
  if (!ok) return std::nullopt;
  return chosen;
}

}  // namespace riventar::ui
