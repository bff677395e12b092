#include "core/link/open_failure.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string>

#include "adapters/link/link.h"
#include "core/link/messages.h"
#include "tests/support/temp_dir.h"

using riventar::link::DescribeOpenFailure;
using riventar::posix::SerialOpenError;

TEST(OpenFailure, SaysWhyAndWhatToDo) {
  struct Case {
    SerialOpenError error;
    std::vector<std::string> mustContain;
  };
  const Case cases[] = {
      {{SerialOpenError::Kind::Open, EACCES, "open", riventar::posix::DeviceAccess{0, 14, "root", "uucp", 0660}},
       {"/dev/ttyS0", "Permission denied", "группы uucp", "sudo usermod -aG uucp $USER", "войдите в систему заново"}},
      {{SerialOpenError::Kind::Open, EACCES, "open", {}}, {"sudo usermod -aG dialout $USER"}},
      {{SerialOpenError::Kind::Open, EIO, "open", {}}, {"Input/output error", "нет последовательного порта", "USB"}},
      {{SerialOpenError::Kind::Configure, ENOTTY, "tcsetattr", {}}, {"tcsetattr", "нет последовательного порта"}},
      {{SerialOpenError::Kind::Busy, EWOULDBLOCK, "flock", {}}, {"занят", "flock", "ModemManager", "brltty"}},
  };
  for (const Case& c : cases) {
    const std::string text = DescribeOpenFailure("/dev/ttyS0", c.error);
    EXPECT_EQ(text.rfind("Устройство: /dev/ttyS0\n", 0), 0u) << text;
    for (const std::string& part : c.mustContain) EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
  }
}

// Real nodes with real modes: joining the group is advice only when the group
// may read and write, and never when that group is root.
TEST(OpenFailure, PermissionAdviceFollowsTheNodesMode) {
  const riventar::testing::TempDir folder("riventar-access");
  const std::string node = (folder / "ttyUSB3").string(), rule = "KERNEL==\"ttyUSB[0-9]*\", GROUP=\"dialout\"";
  const group* dialout = ::getgrnam("dialout");
  ASSERT_NE(dialout, nullptr);
  const struct {
    mode_t mode;
    bool dialoutOwns;
    std::string mustContain;  // the group's advice or the administrator's
  } cases[] = {{0600, false, rule}, {0660, false, rule}, {0640, true, rule}, {0660, true, "группы dialout"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << std::oct << c.mode << (c.dialoutOwns ? " dialout" : ""));
    std::ofstream{node};
    ASSERT_EQ(::chmod(node.c_str(), c.mode), 0);
    // A user outside dialout may not give it the node: nothing to check then.
    if (c.dialoutOwns && ::chown(node.c_str(), static_cast<uid_t>(-1), dialout->gr_gid) != 0) continue;
    const std::string text =
        DescribeOpenFailure(node, {SerialOpenError::Kind::Open, EACCES, "open", riventar::posix::AccessOf(node)});
    EXPECT_NE(text.find(c.mustContain), std::string::npos) << text;
    EXPECT_NE(text.find("sudo usermod -aG dialout $USER"), std::string::npos) << text;
    EXPECT_EQ(text.find("-aG root"), std::string::npos) << text;
    EXPECT_EQ(text.find("группы dialout") == std::string::npos, c.mustContain == rule) << text;
  }
}

TEST(OpenFailure, AnAdapterThatIsGoneOrNoSerialPort) {
  const std::string gone = DescribeOpenFailure("/dev/ttyUSB0", {SerialOpenError::Kind::Open, ENOENT, "open", {}});
  EXPECT_NE(gone.find("адаптер не подключён"), std::string::npos) << gone;
  const std::string notSerial =
      DescribeOpenFailure("/dev/null", {SerialOpenError::Kind::Configure, ENOTTY, "tcgetattr", {}});
  EXPECT_NE(notSerial.find("не принимает настройки"), std::string::npos) << notSerial;
}

// The holder is found through /proc: here it is this test, holding a pty.
TEST(OpenFailure, NamesTheProgramHoldingThePort) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  const std::string slave = ::ptsname(master);
  const int held = ::open(slave.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(held, 0);
  std::ifstream comm("/proc/self/comm");
  std::string self;
  std::getline(comm, self);
  const std::string text = DescribeOpenFailure(slave, {SerialOpenError::Kind::Busy, EWOULDBLOCK, "flock", {}});
  EXPECT_NE(text.find("программой " + self + " (PID " + std::to_string(::getpid()) + ")"), std::string::npos) << text;
  EXPECT_NE(text.find("Закройте"), std::string::npos) << text;
  ::close(held);
  ::close(master);
}

TEST(OpenFailure, MessageKeepsTheKnownFirstLine) {
  const riventar::link::OpenFailure failure{riventar::link::OpenFailure::Step::OpenPort, "Устройство: x"};
  EXPECT_EQ(riventar::link::OpenFailureMessage(failure), "Не возможно открыть последовательный порт\nУстройство: x");
}
