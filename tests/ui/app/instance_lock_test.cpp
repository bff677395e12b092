// The per-user guard without any X11 window to find: the real program runs
// on the offscreen platform, a second start is refused with the known box,
// and once the first copy is killed its stale lock no longer blocks.
#include "adapters/desktop/instance_lock.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>
#include <chrono>
#include <thread>

#include "tests/support/scripted_dialogs.h"
#include "ui/app/Main_form.h"
#include "ui/app/program.h"

namespace {

using riventar::testing::ScriptedDialogs;

TEST(InstanceLock, SecondCopyWithoutX11IsRefusedAndAKilledCopyDoesNotBlock) {
  const QByteArray savedDisplay = qgetenv("DISPLAY");
  qunsetenv("DISPLAY");  // no title to find: the lock alone must tell
  const QString lockPath = riventar::desktop::InstanceLock::DefaultPath();

  QProcess first;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  env.remove(QStringLiteral("DISPLAY"));
  first.setProcessEnvironment(env);
  first.setProcessChannelMode(QProcess::ForwardedChannels);
  first.start(QStringLiteral(RIVENTAR_BINARY), {});
  ASSERT_TRUE(first.waitForStarted());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
  while (!QFileInfo::exists(lockPath) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_TRUE(QFileInfo::exists(lockPath)) << lockPath.toStdString();

  ScriptedDialogs refused;
  EXPECT_EQ(riventar::ui::RunProgram(refused), 0);
  ASSERT_EQ(refused.messages.size(), 1u);
  EXPECT_EQ(refused.messages[0].caption, QStringLiteral("Ривентар"));
  EXPECT_EQ(refused.messages[0].text,
            QStringLiteral("Данное приложение уже запущено.\nВернитесь к уже работающей копии."));

  first.kill();
  ASSERT_TRUE(first.waitForFinished(5000));
  ScriptedDialogs started;
  QTimer::singleShot(0, [] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* form = qobject_cast<riventar::ui::TMonitor_Form*>(w)) form->close();
  });
  EXPECT_EQ(riventar::ui::RunProgram(started), 0);
  EXPECT_TRUE(started.messages.empty());
  EXPECT_FALSE(QFileInfo::exists(lockPath)) << "released at the end";
  qputenv("DISPLAY", savedDisplay);
}

}  // namespace
