#pragma once
// "Сервер журнала": where the logbook lives, a fleet's PostgreSQL server (a
// libpq URI) or a file. The connection can be tried before it is used.
//
// Riventar keeps no password: a URI with one is refused here, and the field
// shows it as "***" the moment editing ends, so that neither the settings nor
// any text of the window ever holds it. libpq finds the password itself
// (~/.pgpass, PGPASSFILE, a service file) or needs none.
#include <QDialog>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace riventar::ui {

class TLogbook_Server_Form : public QDialog {
  Q_OBJECT

 public:
  // `current`: the location in use, shown without its password.
  TLogbook_Server_Form(const QString& current, QWidget* parent);

  // Accepted: the location chosen (empty: the default file).
  QString Location() const;

 private:
  void Test_Button_Click();
  void Use_Button_Click();

  // The location typed, or nothing when it holds a password (said, and hidden).
  std::optional<QString> Checked();

  // Each control's object name is its member name: tests and tools find it so.
  QLineEdit* Location_Edit = nullptr;
  QLabel* Advice_Label = nullptr;
  QLabel* Result_Label = nullptr;  // what the last try or refusal found, one line
  QPushButton* Test_Button = nullptr;
  QPushButton* Use_Button = nullptr;
  QPushButton* Cancel_Button = nullptr;
};

}  // namespace riventar::ui
