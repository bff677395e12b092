#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <cstdlib>
#include <string>

#include "core/link/link.h"
#include "core/link/messages.h"
#include "core/link/open_failure.h"

using riventar::link::DescribeOpenFailure;
using riventar::posix::SerialOpenError;

TEST(OpenFailure, SaysWhyAndWhatToDo) {
  struct Case {
    SerialOpenError error;
    std::vector<std::string> mustContain;
  };
  const Case cases[] = {
      {{SerialOpenError::Kind::Open, EACCES, "open", "uucp"},
       {"/dev/ttyS0", "Permission denied", "группы uucp", "sudo usermod -aG uucp $USER", "войдите в систему заново"}},
      {{SerialOpenError::Kind::Open, EACCES, "open", ""}, {"sudo usermod -aG dialout $USER"}},
      {{SerialOpenError::Kind::Open, EIO, "open", ""}, {"Input/output error", "нет последовательного порта", "USB"}},
      {{SerialOpenError::Kind::Configure, ENOTTY, "tcsetattr", ""}, {"tcsetattr", "нет последовательного порта"}},
      {{SerialOpenError::Kind::Busy, EWOULDBLOCK, "flock", ""}, {"занят", "flock", "ModemManager", "brltty"}},
  };
  for (const Case& c : cases) {
    const std::string text = DescribeOpenFailure("/dev/ttyS0", c.error);
    EXPECT_EQ(text.rfind("Устройство: /dev/ttyS0\n", 0), 0u) << text;
    for (const std::string& part : c.mustContain) EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
  }
}

TEST(OpenFailure, AnAdapterThatIsGoneOrNoSerialPort) {
  const std::string gone = DescribeOpenFailure("/dev/ttyUSB0", {SerialOpenError::Kind::Open, ENOENT, "open", ""});
  EXPECT_NE(gone.find("адаптер не подключён"), std::string::npos) << gone;
  const std::string notSerial =
      DescribeOpenFailure("/dev/null", {SerialOpenError::Kind::Configure, ENOTTY, "tcgetattr", ""});
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
  const std::string text = DescribeOpenFailure(slave, {SerialOpenError::Kind::Busy, EWOULDBLOCK, "flock", ""});
  EXPECT_NE(text.find("программой " + self + " (PID " + std::to_string(::getpid()) + ")"), std::string::npos) << text;
  EXPECT_NE(text.find("Закройте"), std::string::npos) << text;
  ::close(held);
  ::close(master);
}

TEST(OpenFailure, MessageKeepsTheKnownFirstLine) {
  const riventar::link::OpenFailure failure{riventar::link::OpenFailure::Step::OpenPort, "Устройство: x"};
  EXPECT_EQ(riventar::link::OpenFailureMessage(failure), "Не возможно открыть последовательный порт\nУстройство: x");
}
