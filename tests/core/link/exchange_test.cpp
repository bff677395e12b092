// The protocol's rules over a scripted device: which reply answers which command.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/link/commands.h"
#include "core/link/connect.h"
#include "core/trips/device_reading.h"
#include "tests/support/scripted_exchange.h"

namespace {

using riventar::testing::ScriptedExchange;
using Lines = std::vector<std::string>;

// Trip fields of a plausible trip; the reply puts them after the echo.
const std::string TripFields =
    "1811050815"
    "00000e8b"
    "00000a96"
    "00025100"
    "00008340";

// A device that echoes (or not) and sends a stale line before each answer
// but the handshake's.
ScriptedExchange::Device Device(bool echoes, const std::string& staleBefore = {}) {
  return [=](std::string_view command) {
    const std::string text(command.substr(1, command.find('\r') - 1));
    const std::string head = "!" + (echoes ? text : std::string(text.size(), ' '));
    std::string data;
    if (text == "TN") data = "02";
    if (text.rfind("TR", 0) == 0) data = TripFields;
    Lines lines;
    if (!staleBefore.empty() && text != "NOP") lines.push_back(staleBefore);
    lines.push_back(head + data + "\r");
    return lines;
  };
}

TEST(Protocol, TheHandshakeLearnsWhetherTheDeviceEchoes) {
  for (const bool echoes : {true, false}) {
    ScriptedExchange device(Device(echoes));
    ASSERT_TRUE(riventar::link::Handshake(device));
    EXPECT_EQ(device.EchoCheck(), echoes);
  }
  ScriptedExchange silent([](std::string_view) { return Lines{}; });
  EXPECT_FALSE(riventar::link::Handshake(silent));
  EXPECT_EQ(silent.Sent(), Lines(5, "$NOP"));
}

TEST(Protocol, AStaleLineAnswersOnlyADeviceThatDoesNotEcho) {
  struct Case {
    const char* name;
    bool echoes;
    std::string stale;
    int count;  // what "$TN" reads
  };
  const Case cases[] = {
      {"an echoing device's late !NOP is passed over", true, "!NOP\r", 2},
      {"an echoing device's late trip is passed over", true, "!TR00" + TripFields + "\r", 2},
      {"a device that does not echo is taken at its word", false, "!NOP\r", 109},
  };
  for (const Case& c : cases) {
    ScriptedExchange device(Device(c.echoes, c.stale));
    ASSERT_TRUE(riventar::link::Handshake(device)) << c.name;
    EXPECT_EQ(riventar::trips::ReadTripCount(device), c.count) << c.name;
  }
}

TEST(Protocol, EachTripIsReadFromItsOwnAnswer) {
  // The echoing device answers every "$TR" with the previous trip's late line first.
  ScriptedExchange device([](std::string_view command) {
    const std::string text(command.substr(1, command.find('\r') - 1));
    if (text.rfind("TR", 0) != 0) return Lines{"!" + text + "\r"};
    const int index = std::stoi(text.substr(2), nullptr, 16);
    char earlier[8];
    std::snprintf(earlier, sizeof earlier, "!TR%02x", index == 0 ? 0xff : index - 1);
    std::string fields = TripFields;
    fields[5] = static_cast<char>('1' + index);  // the day tells the trips apart
    return Lines{earlier + TripFields + "\r", "!" + text + fields + "\r"};
  });
  ASSERT_TRUE(riventar::link::Handshake(device));
  const auto trips = riventar::trips::ReadTrips(device, 3);
  ASSERT_TRUE(trips.has_value());
  ASSERT_EQ(trips->size(), 3u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ((*trips)[static_cast<std::size_t>(i)].Day, i + 1) << i;
}

}  // namespace
