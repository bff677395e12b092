// Files: the program writes only the files the user chose, and a chosen
// "file" that is no plain file is refused at once instead of blocking the
// program or filling its memory.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>

#include "tests/faults/sample_trip.h"
#include "tests/support/main_form_access.h"
#include "tests/support/scripted_dialogs.h"
#include "ui/app/Main_form.h"

namespace {

using namespace std::chrono_literals;
using riventar::testing::SampleTrip;
using riventar::testing::ScriptedDialogs;
using riventar::ui::FileChoice;
using riventar::ui::MsgAnswer;

QStringList Entries(const QString& folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

class UserFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(files.isValid() && cwd.isValid() && home.isValid());
    previousCwd = std::filesystem::current_path();
    std::filesystem::current_path(cwd.path().toStdString());
    // Where a program keeps settings and data of its own.
    for (const char* variable : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"}) {
      if (const char* value = std::getenv(variable)) saved.emplace_back(variable, value);
      ::setenv(variable, home.filePath(QString::fromLatin1(variable)).toUtf8().constData(), 1);
    }
    form = std::make_unique<riventar::ui::TMonitor_Form>(dialogs);
  }
  void TearDown() override {
    Ui(*form).SetUnsaved(false);
    form.reset();
    std::filesystem::current_path(previousCwd);
    for (const char* variable : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"}) ::unsetenv(variable);
    for (const auto& [variable, value] : saved) ::setenv(variable.c_str(), value.c_str(), 1);
  }

  QString Path(const char* name) const { return files.filePath(QString::fromUtf8(name)); }
  void Save(const char* name, int type) {
    dialogs.saveAnswers.push_back(FileChoice{Path(name), type});
    Ui(*form).Save_Trip_To_File_Button_Click();
  }
  void Load(const QString& path) {
    dialogs.openAnswers.push_back(FileChoice{path, 0});
    Ui(*form).Read_Trip_From_File_Button_Click();
  }

  QTemporaryDir files, cwd, home;
  std::filesystem::path previousCwd;
  std::vector<std::pair<std::string, std::string>> saved;
  ScriptedDialogs dialogs;
  std::unique_ptr<riventar::ui::TMonitor_Form> form;
};

TEST_F(UserFiles, SavingAndLoadingWriteNothingButTheChosenFiles) {
  Ui(*form).SetTrips({SampleTrip(4), SampleTrip(5), SampleTrip(6)});
  Ui(*form).ReDraw_StringGrid();
  Ui(*form).Vehicle_Owner_Edit->setText(QStringLiteral("Петров"));
  Ui(*form).SetUnsaved(true);

  Save("trips.dat", 0);
  Save("table.csv", 1);
  Ui(*form).SetTrips({Ui(*form).Trips().begin(), Ui(*form).Trips().end() - 1});
  Ui(*form).SetUnsaved(true);
  Save("trips.dat", 0);  // replaced in place
  // Loading offers to save what is shown; the save goes to the chosen file.
  Ui(*form).Vehicle_Model_Edit->setText(QStringLiteral("Нива"));
  Ui(*form).SetUnsaved(true);
  dialogs.answers = {MsgAnswer::Yes};
  dialogs.saveAnswers.push_back(FileChoice{Path("before-load.dat"), 0});
  Load(Path("trips.dat"));
  Ui(*form).Clear_Trip_Table_Button_Click();

  EXPECT_EQ(Ui(*form).Trips().size(), 0u);
  EXPECT_EQ(dialogs.Captions(), std::vector<std::string>{"Удаление маршрутов"});
  EXPECT_EQ(Entries(files.path()), (QStringList{"before-load.dat", "table.csv", "trips.dat"}));
  EXPECT_EQ(Entries(cwd.path()), QStringList{}) << "the current folder";
  // Of the program's own, only the logbook, which the saves record their trips in.
  EXPECT_EQ(Entries(home.path()), QStringList{"XDG_DATA_HOME"}) << "settings or data of the program's own";
  for (const QString& entry : Entries(home.filePath(QStringLiteral("XDG_DATA_HOME/riventar"))))
    EXPECT_TRUE(entry.startsWith(QStringLiteral("logbook.sqlite"))) << entry.toStdString();
}

TEST_F(UserFiles, SomethingThatIsNoPlainFileIsRefusedAtOnce) {
  const std::string fifo = Path("pipe.dat").toStdString();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // Should the open wait for a writer, this one comes after 3 s and ends it.
  std::atomic<bool> done = false;
  std::thread unblock([&] {
    for (int i = 0; i < 60 && !done; ++i) std::this_thread::sleep_for(50ms);
    const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0) ::close(fd);
  });
  struct Case {
    const char* name;
    QString path;
  };
  const Case cases[] = {
      {"named pipe", Path("pipe.dat")}, {"terminal", QStringLiteral("/dev/tty")}, {"folder", files.path()}};
  Ui(*form).SetTrips({SampleTrip(9)});
  Ui(*form).ReDraw_StringGrid();
  for (const Case& c : cases) {
    dialogs.messages.clear();
    const auto start = std::chrono::steady_clock::now();
    Load(c.path);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s) << c.name;
    ASSERT_EQ(dialogs.messages.size(), 1u) << c.name;
    EXPECT_EQ(dialogs.messages[0].caption.toStdString(), "Ошибка открытия файла") << c.name;
    EXPECT_EQ(dialogs.messages[0].text.toStdString(), "Не возможно открыть выбранный файл") << c.name;
    EXPECT_EQ(Ui(*form).Trips().size(), 1u) << c.name;
  }
  done = true;
  unblock.join();
}

}  // namespace
