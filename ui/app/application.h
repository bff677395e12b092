#pragma once
// The application object: an error that escapes a handler is shown in the
// standard error box (stop icon, the error's text) and the program goes on.
#include <QApplication>
#include <QTranslator>

namespace riventar::ui {

class Dialogs;

class Application final : public QApplication {
  Q_OBJECT

 public:
  Application(int& argc, char** argv, Dialogs& dialogs);
  bool notify(QObject* receiver, QEvent* event) override;

 private:
  Dialogs& dialogs_;
  QTranslator qtTexts_;
};

// Qt's own texts (button labels, file and print dialogs) in Russian like the
// rest of the program, whatever the desktop's language. False when Debian's
// translations are not installed; the English texts stay then.
bool LoadQtRussian(QTranslator& translator);

}  // namespace riventar::ui
