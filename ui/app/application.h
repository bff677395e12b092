#pragma once
// The application object: an error that escapes a handler is shown in the
// standard error box (stop icon, the error's text) and the program goes on.
#include <QApplication>

namespace riventar::ui {

class Dialogs;

class Application final : public QApplication {
  Q_OBJECT

 public:
  Application(int& argc, char** argv, Dialogs& dialogs);
  bool notify(QObject* receiver, QEvent* event) override;

 private:
  Dialogs& dialogs_;
};

}  // namespace riventar::ui
