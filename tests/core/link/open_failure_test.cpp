#include <gtest/gtest.h>

#include <cerrno>
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
      {{SerialOpenError::Kind::Open, ENOENT, "open", ""}, {"No such file", "RIVENTAR_COM1", "/dev/ttyS1"}},
      {{SerialOpenError::Kind::Busy, EWOULDBLOCK, "flock", ""}, {"занят", "flock"}},
      {{SerialOpenError::Kind::Configure, ENOTTY, "tcgetattr", ""}, {"не принимает настройки", "tcgetattr"}},
  };
  for (const Case& c : cases) {
    const std::string text = DescribeOpenFailure("/dev/ttyS0", c.error);
    EXPECT_EQ(text.rfind("Устройство: /dev/ttyS0\n", 0), 0u) << text;
    for (const std::string& part : c.mustContain) EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
  }
}

TEST(OpenFailure, MessageKeepsTheKnownFirstLine) {
  const riventar::link::OpenFailure failure{riventar::link::OpenFailure::Step::OpenPort, "Устройство: x"};
  EXPECT_EQ(riventar::link::OpenFailureMessage(failure), "Не возможно открыть последовательный порт\nУстройство: x");
}

TEST(DevicePathForPort, EnvironmentFirstThenTheStandardPorts) {
  using riventar::link::DevicePathForPort;
  ::unsetenv("RIVENTAR_COM1");
  ::setenv("RIVENTAR_COM2", "", 1);
  EXPECT_EQ(DevicePathForPort("COM1"), "/dev/ttyS0");
  EXPECT_EQ(DevicePathForPort("COM2"), "/dev/ttyS1");  // empty counts as unset
  ::setenv("RIVENTAR_COM1", "/dev/ttyUSB0", 1);
  ::setenv("RIVENTAR_COM2", "/tmp/sim", 1);
  EXPECT_EQ(DevicePathForPort("COM1"), "/dev/ttyUSB0");
  EXPECT_EQ(DevicePathForPort("COM2"), "/tmp/sim");
  ::unsetenv("RIVENTAR_COM1");
  ::unsetenv("RIVENTAR_COM2");
}
