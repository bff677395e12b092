#pragma once
// Every modal question, message, file choice, print dialog and beep goes
// through this seam, so tests can answer them without a person. The program
// uses QtDialogs; tests install a scripted implementation.
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "core/trips/dat_file.h"

class QDialog;
class QPrinter;
class QWidget;

namespace riventar::ui {

enum class MsgIcon { Stop, Information, Question, Warning };
enum class MsgButtons { Ok, YesNo };
enum class MsgAnswer { Ok, Yes, No };

struct FileDialogOptions {
  QString initialDirectory;
  QStringList filters;           // "Label (*.dat)", in order
  int filterIndex = 0;           // the type chosen when the dialog opens
  QString defaultSuffix;         // without the dot
  bool confirmOverwrite = true;  // save: ask before a file is replaced (off when it is only opened)
  QString suggestedName{};       // save: the file name offered in initialDirectory, empty: none
};

// Which car a reading goes to, asked when the logbook does not know the device.
struct VehicleQuestion {
  QString text;                           // what was read, and why it is asked
  std::vector<trips::VehicleInfo> known;  // the logbook's vehicles, with its texts
  trips::VehicleInfo shown;               // the texts in the window's vehicle fields
};

struct FileChoice {
  QString path;
  int filterIndex = 0;  // the type the user picked
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  virtual MsgAnswer Message(QWidget* parent, MsgIcon icon, const QString& caption, const QString& text,
                            MsgButtons buttons, MsgAnswer defaultAnswer) = 0;
  // One of the known vehicles, the shown texts, or a new one typed; nothing
  // leaves the reading unassigned (so does a cancel: its trips are kept all
  // the same). Nothing by default, for dialogs that ask no one.
  virtual std::optional<trips::VehicleInfo> ChooseVehicle(QWidget* /*parent*/, const VehicleQuestion& /*question*/) {
    return std::nullopt;
  }
  // Existing folder and file only.
  virtual std::optional<FileChoice> OpenFile(QWidget* parent, const FileDialogOptions& options) = 0;
  // Existing files, one or more; empty when cancelled.
  virtual QStringList OpenFiles(QWidget* parent, const FileDialogOptions& options) {
    const std::optional<FileChoice> one = OpenFile(parent, options);
    return one ? QStringList{one->path} : QStringList{};
  }
  // Existing folder; asks before replacing a file.
  virtual std::optional<FileChoice> SaveFile(QWidget* parent, const FileDialogOptions& options) = 0;
  // The print dialog; true when the user confirmed it and `printer` is set up.
  virtual bool Print(QWidget* parent, QPrinter& printer) = 0;
  // The platform's exclamation sound.
  virtual void Beep() = 0;
  // One line of text, `initial` filled in; nullopt when cancelled.
  virtual std::optional<QString> TextInput(QWidget* /*parent*/, const QString& /*caption*/, const QString& /*label*/,
                                           const QString& /*initial*/) {
    return std::nullopt;
  }
  // A dialog of the program's own, modal; its result (QDialog::Accepted or Rejected).
  virtual int Exec(QDialog& dialog);

  // Shorthands for the program's message styles.
  void Error(QWidget* parent, const QString& caption, const QString& text) {
    Message(parent, MsgIcon::Stop, caption, text, MsgButtons::Ok, MsgAnswer::Ok);
  }
  void Notice(QWidget* parent, const QString& caption, const QString& text) {
    Message(parent, MsgIcon::Information, caption, text, MsgButtons::Ok, MsgAnswer::Ok);
  }
  bool Ask(QWidget* parent, const QString& caption, const QString& text, MsgAnswer defaultAnswer = MsgAnswer::Yes) {
    return Message(parent, MsgIcon::Question, caption, text, MsgButtons::YesNo, defaultAnswer) == MsgAnswer::Yes;
  }

  // ---- The logbook window's ----
  // A file to open, or a new name for one to be made there; the dialog is
  // titled `title`, for opening. By default the save dialog, nothing replaced.
  virtual std::optional<FileChoice> OpenOrNewFile(QWidget* parent, const FileDialogOptions& options,
                                                  const QString& /*title*/) {
    FileDialogOptions noReplace = options;
    noReplace.confirmOverwrite = false;
    return SaveFile(parent, noReplace);
  }
  // One of `items`, or (`editable`) a text typed in; `current` chosen at first. Nullopt when cancelled.
  virtual std::optional<QString> ChooseItem(QWidget* /*parent*/, const QString& /*caption*/, const QString& /*label*/,
                                            const QStringList& /*items*/, const QString& /*current*/,
                                            bool /*editable*/) {
    return std::nullopt;
  }
};

class QtDialogs final : public Dialogs {
 public:
  MsgAnswer Message(QWidget* parent, MsgIcon icon, const QString& caption, const QString& text, MsgButtons buttons,
                    MsgAnswer defaultAnswer) override;
  std::optional<trips::VehicleInfo> ChooseVehicle(QWidget* parent, const VehicleQuestion& question) override;
  std::optional<FileChoice> OpenFile(QWidget* parent, const FileDialogOptions& options) override;
  QStringList OpenFiles(QWidget* parent, const FileDialogOptions& options) override;
  std::optional<FileChoice> SaveFile(QWidget* parent, const FileDialogOptions& options) override;
  bool Print(QWidget* parent, QPrinter& printer) override;
  void Beep() override;
  std::optional<QString> TextInput(QWidget* parent, const QString& caption, const QString& label,
                                   const QString& initial) override;
  std::optional<FileChoice> OpenOrNewFile(QWidget* parent, const FileDialogOptions& options,
                                          const QString& title) override;
  std::optional<QString> ChooseItem(QWidget* parent, const QString& caption, const QString& label,
                                    const QStringList& items, const QString& current, bool editable) override;
};

}  // namespace riventar::ui
