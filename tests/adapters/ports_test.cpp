#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <vector>

#include "adapters/ports/binding.h"
#include "adapters/ports/serial_devices.h"
#include "tests/adapters/made_up_devices.h"

namespace {

using riventar::ports::Binding;
using riventar::ports::PortReport;
using riventar::ports::SerialDevice;
using riventar::testing::MadeUpDevices;

const QString FtdiById = QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");

PortReport Ftdi(QString path = QStringLiteral("/dev/ttyUSB0")) {
  return {path, FtdiById, QStringLiteral("FTDI"), QStringLiteral("FT232R USB UART"), QStringLiteral("A50285BI"),
          true, true};
}
PortReport Legacy(int n, bool hardware) {
  return {QStringLiteral("/dev/ttyS%1").arg(n), {}, {}, {}, {}, false, hardware};
}
PortReport Acm(int n) {
  return {QStringLiteral("/dev/ttyACM%1").arg(n),
          {},
          QStringLiteral("Arduino (www.arduino.cc)"),
          QStringLiteral("Arduino Uno"),
          {},
          true,
          true};
}

TEST(ListDevices, UsbFirstNamedThenLegacyWithHardwareThenTheRest) {
  const MadeUpDevices source({
      Legacy(1, false),
      {QStringLiteral("/dev/ttyAMA0"), {}, {}, {}, {}, false, true},
      Legacy(0, true),
      {QStringLiteral("/dev/ttyUSB10"),
       {},
       QStringLiteral("Prolific"),
       QStringLiteral("Prolific USB-Serial Controller"),
       {},
       true,
       true},
      Acm(0),
      Ftdi(QStringLiteral("/dev/ttyUSB2")),
      {QStringLiteral("/dev/ttyUSB3"), {}, {}, {}, {}, true, true},
  });
  const std::vector<SerialDevice> expected = {
      {QStringLiteral("/dev/ttyACM0"), {}, QStringLiteral("Arduino (www.arduino.cc) Arduino Uno"), true},
      {QStringLiteral("/dev/ttyUSB2"), FtdiById, QStringLiteral("FTDI FT232R USB UART (A50285BI)"), true},
      {QStringLiteral("/dev/ttyUSB3"), {}, QStringLiteral("ttyUSB3"), true},
      {QStringLiteral("/dev/ttyUSB10"), {}, QStringLiteral("Prolific USB-Serial Controller"), true},
      {QStringLiteral("/dev/ttyS0"), {}, QStringLiteral("ttyS0"), false},
      {QStringLiteral("/dev/ttyAMA0"), {}, QStringLiteral("ttyAMA0"), false},
  };
  EXPECT_EQ(riventar::ports::ListDevices(source), expected);
}

class Bindings : public ::testing::Test {
 protected:
  void SetUp() override {
    qunsetenv("RIVENTAR_COM1");
    qunsetenv("RIVENTAR_COM2");
    settings = riventar::ports::OpenUserSettings(scratch.filePath(QStringLiteral("riventar.conf")));
  }
  void TearDown() override {
    qunsetenv("RIVENTAR_COM1");
    qunsetenv("RIVENTAR_COM2");
  }
  QTemporaryDir scratch;
  std::unique_ptr<QSettings> settings;
};

TEST_F(Bindings, EnvironmentThenSavedThenFirstStartThenDefault) {
  using S = Binding::Source;
  struct Case {
    const char* name;
    std::vector<PortReport> devices;
    QString env1, saved1, saved2;
    Binding com1, com2;
  };
  const QString s0 = QStringLiteral("/dev/ttyS0"), s1 = QStringLiteral("/dev/ttyS1");
  const Case cases[] = {
      {"nothing at all", {}, {}, {}, {}, {s0, S::Default}, {s1, S::Default}},
      {"one adapter, no UART at ttyS0: first start",
       {Ftdi(), Legacy(0, false)},
       {},
       {},
       {},
       {FtdiById, S::FirstStart},
       {s1, S::Default}},
      {"one adapter without a stable name",
       {Acm(0)},
       {},
       {},
       {},
       {QStringLiteral("/dev/ttyACM0"), S::FirstStart},
       {s1, S::Default}},
      {"a UART at ttyS0 keeps COM1 there", {Ftdi(), Legacy(0, true)}, {}, {}, {}, {s0, S::Default}, {s1, S::Default}},
      {"two adapters: no guess", {Ftdi(), Acm(0)}, {}, {}, {}, {s0, S::Default}, {s1, S::Default}},
      {"something saved for COM2: no guess",
       {Ftdi()},
       {},
       {},
       QStringLiteral("/dev/ttyACM3"),
       {s0, S::Default},
       {QStringLiteral("/dev/ttyACM3"), S::Saved}},
      {"saved",
       {Ftdi()},
       {},
       QStringLiteral("/dev/ttyUSB7"),
       {},
       {QStringLiteral("/dev/ttyUSB7"), S::Saved},
       {s1, S::Default}},
      {"environment over saved",
       {Ftdi()},
       QStringLiteral("/tmp/sim"),
       QStringLiteral("/dev/ttyUSB7"),
       {},
       {QStringLiteral("/tmp/sim"), S::Environment},
       {s1, S::Default}},
      {"environment over first start",
       {Ftdi()},
       QStringLiteral("/tmp/sim"),
       {},
       {},
       {QStringLiteral("/tmp/sim"), S::Environment},
       {s1, S::Default}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    settings->clear();
    if (!c.saved1.isEmpty()) riventar::ports::SaveBinding(1, c.saved1, *settings);
    if (!c.saved2.isEmpty()) riventar::ports::SaveBinding(2, c.saved2, *settings);
    if (c.env1.isEmpty()) {
      qunsetenv("RIVENTAR_COM1");
    } else {
      qputenv("RIVENTAR_COM1", c.env1.toUtf8());
    }
    const MadeUpDevices source(c.devices);
    for (int com = 1; com <= 2; ++com) {
      const Binding expected = com == 1 ? c.com1 : c.com2;
      const Binding got = riventar::ports::ResolveBinding(com, *settings, source);
      EXPECT_EQ(got.path, expected.path) << "COM" << com;
      EXPECT_EQ(got.source, expected.source) << "COM" << com;
      EXPECT_EQ(riventar::ports::BoundPath(com, *settings, source), expected.path);
      EXPECT_EQ(riventar::ports::ResolvePortArgument(QStringLiteral("com%1").arg(com), *settings, source),
                expected.path);
    }
  }
}

TEST_F(Bindings, SavedChoiceSurvivesInTheFileAndCanBeForgotten) {
  const QString file = scratch.filePath(QStringLiteral("riventar.conf"));
  riventar::ports::SaveBinding(2, FtdiById, *settings);
  const MadeUpDevices none({});
  EXPECT_EQ(riventar::ports::BoundPath(2, *riventar::ports::OpenUserSettings(file), none), FtdiById);
  riventar::ports::ForgetBinding(2, *settings);
  EXPECT_EQ(riventar::ports::BoundPath(2, *riventar::ports::OpenUserSettings(file), none),
            QStringLiteral("/dev/ttyS1"));
}

TEST_F(Bindings, SettingsInTheXdgConfigFolderAndPortArguments) {
  qputenv("XDG_CONFIG_HOME", scratch.path().toUtf8());
  EXPECT_EQ(riventar::ports::UserSettingsPath(), scratch.filePath(QStringLiteral("riventar/riventar.conf")));
  EXPECT_EQ(riventar::ports::ComNumber(u"com2"), 2);
  EXPECT_EQ(riventar::ports::ComNumber(u"COM3"), std::nullopt);
  const MadeUpDevices none({});
  EXPECT_EQ(riventar::ports::ResolvePortArgument(QStringLiteral("/dev/ttyACM1"), *settings, none),
            QStringLiteral("/dev/ttyACM1"));
}

// Whatever this machine has, the real list is well formed; no adapter is fine.
TEST(SystemDevices, RealEnumerationIsOrderedAndNamed) {
  const riventar::ports::SystemDevices system;
  const auto devices = riventar::ports::ListDevices(system);
  bool seenNonUsb = false;
  for (const SerialDevice& d : devices) {
    EXPECT_TRUE(d.path.startsWith(QStringLiteral("/dev/"))) << d.path.toStdString();
    EXPECT_FALSE(d.name.isEmpty());
    if (!d.stablePath.isEmpty()) {
      EXPECT_TRUE(d.stablePath.startsWith(QStringLiteral("/dev/serial/by-id/")));
    }
    EXPECT_FALSE(d.usb && seenNonUsb) << "USB adapters come first";
    seenNonUsb = seenNonUsb || !d.usb;
  }
}

}  // namespace
