#include "ui/common/Progressbar_form.h"

#include <QCoreApplication>
#include <QProgressBar>

#include "ui/common/ui_style.h"

namespace riventar::ui {

TProgress_Bar_Form::TProgress_Bar_Form(QWidget* owner)
    : QWidget(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setWindowTitle(QStringLiteral("Ривентар - обмен"));
  setObjectName(QStringLiteral("Progress_Bar_Form"));
  setFont(style::FormFont());
  setFixedSize(266, 47);
  ProgressBar = new QProgressBar(this);
  ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
  ProgressBar->setGeometry(16, 16, 233, 16);
  ProgressBar->setRange(0, 100);
  ProgressBar->setValue(0);
  ProgressBar->setTextVisible(false);
  ProgressBar->setFocus();
}

void TProgress_Bar_Form::SetMaximum(int maximum) { ProgressBar->setMaximum(maximum); }

void TProgress_Bar_Form::SetPosition(int position) {
  ProgressBar->setValue(position);
  // The exchange keeps the UI thread busy: let the window be exposed and the
  // bar's update be painted, while user input waits until the operation ends.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace riventar::ui
