#pragma once
// The modal configuration window. Creating it reads the device's settings;
// its modal result tells the opener what happened: 0 after creation (read
// succeeded, show it), 1 closed with "Выйти", 3 an exchange failed.
#include <QDialog>

#include "core/link/link.h"

namespace riventar::ui {

class Dialogs;

class TConfig_Form : public QDialog {
  Q_OBJECT

 public:
  static constexpr int ResultNone = 0;
  static constexpr int ResultExit = 1;
  static constexpr int ResultLinkFailure = 3;

  TConfig_Form(link::Link& link, Dialogs& dialogs, QWidget* owner);

  int ModalResult() const { return modalResult_; }

 private:
  link::Link& link_;
  Dialogs& dialogs_;
  int modalResult_ = ResultNone;
};

}  // namespace riventar::ui
