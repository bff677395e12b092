#include "adapters/desktop/help_viewer.h"

#include <QShortcut>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace riventar::desktop {

QString HelpDocumentUrl() { return QStringLiteral("qrc:/riventar/help/riventar.html"); }

QPointer<QWidget> ShowHelp(const QPointer<QWidget>& existing, const QString& anchor) {
  QWidget* window = existing.data();
  QTextBrowser* browser = nullptr;
  if (window) {
    browser = window->findChild<QTextBrowser*>();
  } else {
    window = new QWidget(nullptr, Qt::Window);  // deleted on close
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setObjectName(QStringLiteral("HelpWindow"));
    window->setWindowTitle(QStringLiteral("Ривентар - справка"));
    window->resize(640, 520);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    browser = new QTextBrowser(window);
    browser->setOpenExternalLinks(true);
    layout->addWidget(browser);
    browser->setSource(QUrl(HelpDocumentUrl()));
    QObject::connect(new QShortcut(QKeySequence(Qt::Key_Escape), window), &QShortcut::activated, window,
                     &QWidget::close);
  }
  browser->scrollToAnchor(anchor);
  window->show();
  window->raise();
  window->activateWindow();
  return window;
}

}  // namespace riventar::desktop
