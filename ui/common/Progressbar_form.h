#pragma once
// The small exchange progress window shown while trips or settings are read.
// Its user creates it, places it, shows it (not modal), moves the bar and
// destroys it.
#include <QWidget>

class QProgressBar;

namespace riventar::ui {

class TProgress_Bar_Form final : public QWidget {
  Q_OBJECT

 public:
  explicit TProgress_Bar_Form(QWidget* owner);

  // The bar runs 0..100 until its user sets the maximum.
  void SetMaximum(int maximum);
  // Sets the bar and paints it at once; user input stays queued.
  void SetPosition(int position);

 private:
  QProgressBar* ProgressBar = nullptr;
};

}  // namespace riventar::ui
