// The protocol's rules over a scripted device: which reply answers which command.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/link/commands.h"
#include "core/link/connect.h"
#include "core/link/messages.h"
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
      {"a device that does not echo is taken at its word", false, "!  09\r", 9},
      {"a late !NOP is no count, echo or not", false, "!NOP\r", 2},
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

TEST(ReplyForm, OnlyAWholeLineFits) {
  using riventar::link::ReplyForm;
  struct Case {
    ReplyForm form;
    std::string line;
    bool fits;
  };
  const Case cases[] = {
      {ReplyForm{}, "", true},  // an answer that only has to arrive
      {ReplyForm{}, "!anything at all", true},
      {riventar::link::NopReplyForm, "!NOP", true},
      {riventar::link::NopReplyForm, "!   ", true},
      {riventar::link::NopReplyForm, "!E1", false},
      {riventar::link::NopReplyForm, "!NOPE", false},
      {riventar::link::TripCountReplyForm, "!TN0a", true},
      {riventar::link::TripCountReplyForm, "!TNFF", true},  // upper case decodes as it always did
      {riventar::link::TripCountReplyForm, "!TN0", false},
      {riventar::link::TripCountReplyForm, "!TN0g", false},
      {riventar::link::TripCountReplyForm, "!TN0a ", false},
      {riventar::link::TripReplyForm, "!TR02" + TripFields, true},
      {riventar::link::TripReplyForm, "!TR02", false},
      {riventar::link::TripReplyForm, "!TR02" + TripFields.substr(0, 10), false},
      {riventar::link::TripReplyForm, "!TR02" + TripFields.substr(0, 41) + " ", false},
      {riventar::link::TripReplyForm, "!TR02" + TripFields + "0", false},
  };
  for (const Case& c : cases) EXPECT_EQ(c.form.Fits(c.line), c.fits) << c.line;
}

// A device that answers trip 2 with `cut` for its first `cutTimes` requests,
// every other request in full, each trip told apart by its day.
ScriptedExchange::Device CuttingDevice(const std::string& cut, int cutTimes, bool echoes = true) {
  return [=, asked = 0](std::string_view command) mutable {
    const std::string text(command.substr(1, command.find('\r') - 1));
    const std::string head = "!" + (echoes ? text : std::string(text.size(), ' '));
    if (text == "TN") return Lines{head + "05\r"};
    if (text.rfind("TR", 0) != 0) return Lines{head + "\r"};
    const int index = std::stoi(text.substr(2), nullptr, 16);
    if (index == 2 && asked++ < cutTimes) return Lines{cut};
    std::string fields = TripFields;
    fields[5] = static_cast<char>('1' + index);
    return Lines{head + fields + "\r"};
  };
}

TEST(Protocol, AReplyThatIsNoWholeRecordIsAFailedExchangeNeverATrip) {
  struct Case {
    const char* name;
    std::string cut;
  };
  const Case cases[] = {
      {"the echo alone", "!TR02\r"},
      {"ten digits of fields", "!TR02" + TripFields.substr(0, 10) + "\r"},
      {"one field digit short", "!TR02" + TripFields.substr(0, 41) + "\r"},
      {"a character that is no digit", "!TR02" + TripFields.substr(0, 20) + "x" + TripFields.substr(21) + "\r"},
      {"the echo cut", "!TR0\r"},
  };
  for (const bool echoes : {true, false}) {
    for (const Case& c : cases) {
      // A device that does not echo sends blanks where the echo would stand.
      const std::size_t room = std::min<std::size_t>(4, c.cut.size() - 2);
      const std::string cut = echoes ? c.cut : "!" + std::string(room, ' ') + c.cut.substr(room + 1);
      // Broken on every attempt: the reading fails and names trip 2.
      ScriptedExchange broken(CuttingDevice(cut, riventar::link::RetryLimit, echoes));
      ASSERT_TRUE(riventar::link::Handshake(broken)) << c.name;
      EXPECT_EQ(riventar::trips::ReadTrips(broken, 5), std::nullopt) << c.name;
      EXPECT_EQ(broken.Sent(), Lines({"$NOP", "$TR00", "$TR01", "$TR02", "$TR02", "$TR02", "$TR02", "$TR02"}))
          << c.name;
      EXPECT_EQ(broken.LastCommand(), "$TR02");
      // An echo cut short is no echo: to a device that echoes, that line answered nothing.
      const bool garbled = !(echoes && c.cut == "!TR0\r");
      EXPECT_EQ(broken.LastFailureGarbled(), garbled) << c.name;
      if (garbled) {
        EXPECT_EQ(riventar::link::ExchangeFailureText(broken),
                  "БК прислал неполный или искажённый ответ на запрос маршрута 3 ($TR02).\n"
                  "Данные этого ответа не приняты.\n");
      }

      // Broken once: asked again, like a reply that does not echo, and read whole.
      ScriptedExchange once(CuttingDevice(cut, 1, echoes));
      ASSERT_TRUE(riventar::link::Handshake(once));
      const auto trips = riventar::trips::ReadTrips(once, 5);
      ASSERT_TRUE(trips.has_value()) << c.name;
      ASSERT_EQ(trips->size(), 5u) << c.name;
      for (int i = 0; i < 5; ++i) EXPECT_EQ((*trips)[static_cast<std::size_t>(i)].Day, i + 1) << c.name;
    }
  }
}

TEST(Protocol, AGarbledLineIsPassedOverAndTheWaitGoesOn) {
  ScriptedExchange device([](std::string_view command) {
    const std::string text(command.substr(1, command.find('\r') - 1));
    if (text == "TN") return Lines{"!TN\r", "!TN0\r", "!TN07\r"};
    return Lines{"!" + text + "\r"};
  });
  ASSERT_TRUE(riventar::link::Handshake(device));
  EXPECT_EQ(riventar::trips::ReadTripCount(device), 7);
  EXPECT_EQ(device.Sent(), Lines({"$NOP", "$TN"}));
}

TEST(Protocol, AGarbledCountIsNoCount) {
  for (const char* line : {"!TN\r", "!TN7\r", "!TN0x\r", "!TN077\r"}) {
    ScriptedExchange device(
        [line](std::string_view command) { return command.substr(0, 3) == "$TN" ? Lines{line} : Lines{"!NOP\r"}; });
    ASSERT_TRUE(riventar::link::Handshake(device));
    EXPECT_EQ(riventar::trips::ReadTripCount(device), std::nullopt) << line;
    EXPECT_TRUE(device.LastFailureGarbled()) << line;
    EXPECT_EQ(riventar::link::ExchangeFailureText(device),
              "БК прислал неполный или искажённый ответ на команду $TN.\nДанные этого ответа не приняты.\n");
  }
}

TEST(Protocol, TheHandshakeTakesOnlyTheAnswersOwnLine) {
  // Noise that starts with '!' comes before the answer to "$NOP".
  for (const char* noise : {"!E1\r", "!\r", "!NOISE ON THE LINE\r", "!TN07\r"}) {
    ScriptedExchange device([noise](std::string_view command) {
      const std::string text(command.substr(1, command.find('\r') - 1));
      if (text == "NOP") return Lines{noise, "!NOP\r"};
      if (text == "TN") return Lines{"!NOP\r", "!TN07\r"};  // a late "$NOP" answer, then the count
      return Lines{};
    });
    ASSERT_TRUE(riventar::link::Handshake(device)) << noise;
    EXPECT_TRUE(device.EchoCheck()) << noise;
    EXPECT_EQ(riventar::trips::ReadTripCount(device), 7) << noise;
  }
}

}  // namespace
