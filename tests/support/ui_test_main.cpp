// Widget tests run on Qt's offscreen platform unless a display is asked for.
// They never see the user's settings, logbook or a running copy's lock: the
// XDG folders point into a scratch folder for the run.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <cstdlib>

int main(int argc, char** argv) {
  if (!std::getenv("RIVENTAR_TEST_XCB")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir scratch;
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(scratch.filePath(QStringLiteral("config"))));
  qputenv("XDG_RUNTIME_DIR", QFile::encodeName(scratch.path()));
  qputenv("XDG_DATA_HOME", QFile::encodeName(scratch.filePath(QStringLiteral("data"))));
  qputenv("XDG_STATE_HOME", QFile::encodeName(scratch.filePath(QStringLiteral("state"))));
  qunsetenv("RIVENTAR_LOGBOOK");
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
