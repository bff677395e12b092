#pragma once
// The program's help: a Russian HTML document shipped inside the program,
// shown in a small browser window opened at a section anchor.
#include <QPointer>
#include <QString>
#include <QWidget>

namespace riventar::desktop {

// Shows (or raises) the help window at `anchor` and returns it. `existing` is
// the window a previous call returned, if it is still open.
QPointer<QWidget> ShowHelp(const QPointer<QWidget>& existing, const QString& anchor);

// The resource path of the help document.
QString HelpDocumentUrl();

}  // namespace riventar::desktop
