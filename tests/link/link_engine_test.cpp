// The link engine against the simulated device on a real pseudo-terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "adapters/link/link.h"
#include "core/link/commands.h"
#include "core/link/connect.h"
#include "core/link/hex.h"
#include "core/trips/device_reading.h"
#include "sim/simulator.h"

namespace {

using namespace std::chrono_literals;
using riventar::link::Link;
using riventar::link::View;
using riventar::sim::Misbehaviour;
using riventar::sim::Simulator;
using Steady = std::chrono::steady_clock;

std::string ReplyLine(const Link& link) {
  const auto reply = link.LastReply();
  const std::string_view all = View(reply);
  return std::string(all.substr(0, all.find('\r')));
}

double MsSince(Steady::time_point start) {
  return std::chrono::duration<double, std::milli>(Steady::now() - start).count();
}

class LinkEngine : public ::testing::Test {
 protected:
  void SetUp() override {
    sim.SetTrips(riventar::sim::RealisticTrips(3));
    ASSERT_FALSE(link.Start(sim.SlavePath()).has_value());
  }
  Simulator sim;
  Link link;
};

TEST_F(LinkEngine, HandshakeAnsweredAtTheThirdAttempt) {
  sim.SetMisbehaviour(Misbehaviour::IgnoreNext(2));
  const auto start = Steady::now();
  EXPECT_TRUE(link.RetryingExchange(riventar::link::NopCommand()));
  EXPECT_GE(MsSince(start), 400);  // two full waits before the answer
  EXPECT_EQ(sim.Commands(), (std::vector<std::string>{"$NOP", "$NOP", "$NOP"}));
  EXPECT_EQ(ReplyLine(link), "!NOP");
}

TEST_F(LinkEngine, NoAnswerAfterFiveAttempts) {
  sim.SetMisbehaviour(Misbehaviour::SilentAfter(0));
  const auto start = Steady::now();
  EXPECT_FALSE(link.RetryingExchange(riventar::link::NopCommand()));
  EXPECT_GE(MsSince(start), 1000);
  EXPECT_EQ(sim.Commands(), std::vector<std::string>(5, "$NOP"));
}

TEST_F(LinkEngine, SendsExactlyTheCommandAndReadsItsFields) {
  ASSERT_TRUE(link.CommandExchange(riventar::link::TripCountCommand()));
  EXPECT_EQ(riventar::link::HexToByte(View(link.LastReply()), riventar::link::TripCountPosition), 3);
  ASSERT_TRUE(link.CommandExchange(riventar::link::TripReadCommand(10)));
  EXPECT_EQ(sim.Commands(), (std::vector<std::string>{"$TN", "$TR0a"}));
  EXPECT_EQ(ReplyLine(link).substr(0, 5), "!TR0a");
}

TEST_F(LinkEngine, NoiseAndOverlongLinesBeforeTheReply) {
  struct Case {
    const char* name;
    std::string preamble;
    bool answered;
  };
  const Case cases[] = {
      {"a noise line is dropped", riventar::sim::NoiseLine, true},
      {"an over-long line is dropped", riventar::sim::OverlongLine(), true},
      {"noise without CR hides the reply", "abc", false},
      {"99 characters push the '!' onto position 99", std::string(99, 'x'), false},
      {"100 characters let the '!' start a line", std::string(100, 'x'), true},
  };
  for (const Case& c : cases) {
    // Each case ends its junk with a CR first, so it starts at position 0.
    sim.SendRaw("\r");
    std::this_thread::sleep_for(20ms);
    sim.SetMisbehaviour(Misbehaviour::Preamble(c.preamble));
    // An unanswered case only has to show that no reply is taken.
    link.SetReplyTimeout(c.answered ? riventar::link::ReplyTimeout : 100ms);
    EXPECT_EQ(link.CommandExchange(riventar::link::TripCountCommand()), c.answered) << c.name;
    if (c.answered) {
      EXPECT_EQ(ReplyLine(link), "!TN03") << c.name;
    }
  }
}

TEST_F(LinkEngine, CarriageReturnAt98CountsAt99DoesNot) {
  for (const auto& [length, answered] : {std::pair{94, true}, std::pair{95, false}}) {
    auto settings = sim.Settings();
    settings.hardwareVersion = std::string(static_cast<std::size_t>(length), 'v');  // "!VHR" + text + CR
    sim.SetSettings(settings);
    link.SetReplyTimeout(answered ? riventar::link::ReplyTimeout : 100ms);
    EXPECT_EQ(link.CommandExchange("$VHR\r"), answered) << length;
  }
}

TEST_F(LinkEngine, ALateReplyAnswersTheNextCommand) {
  sim.SetMisbehaviour(Misbehaviour::Late(300ms));
  EXPECT_FALSE(link.CommandExchange(riventar::link::TripReadCommand(0)));
  // The reply to "$TR00" lands while "$TR01" waits and is taken as its answer.
  ASSERT_TRUE(link.CommandExchange(riventar::link::TripReadCommand(1)));
  EXPECT_EQ(ReplyLine(link), "!TR00" + riventar::sim::EncodeTrip(sim.Trips()[0]));
}

TEST_F(LinkEngine, FromADeviceThatEchoesALateReplyIsPassedOver) {
  link.SetEchoCheck(true);
  sim.SetMisbehaviour(Misbehaviour::Late(300ms));
  EXPECT_FALSE(link.CommandExchange(riventar::link::TripReadCommand(0)));
  // "!TR00" lands while "$TR01" waits: refused, and "!TR01" is not in time.
  EXPECT_FALSE(link.CommandExchange(riventar::link::TripReadCommand(1)));
}

// Every reply 300 ms late: the handshake takes the first "!NOP" with its
// second attempt, and the second "!NOP" must not pass for the trip count
// ("!NOP\r" at positions 3..4 reads as 109 trips).
TEST(LinkConnect, ALateHandshakeReplyIsNoTripCount) {
  Simulator sim;
  sim.SetTrips(riventar::sim::RealisticTrips(7));
  sim.SetMisbehaviour(Misbehaviour::Late(300ms));
  Link link;
  ASSERT_FALSE(riventar::link::Connect(link, sim.SlavePath()).has_value());
  EXPECT_TRUE(link.EchoCheck());
  EXPECT_EQ(riventar::trips::ReadTripCount(link), std::nullopt);
}

// A noise line that starts with '!' before the handshake's answer: were it
// taken for the answer, the echo check would stay off for the session.
TEST(LinkConnect, NoiseBeforeTheHandshakeIsNoAnswer) {
  Simulator sim;
  sim.SetTrips(riventar::sim::RealisticTrips(7));
  sim.SetMisbehaviour(Misbehaviour::Preamble("!E1\r"));
  Link link;
  ASSERT_FALSE(riventar::link::Connect(link, sim.SlavePath()).has_value());
  EXPECT_TRUE(link.EchoCheck());
  EXPECT_EQ(riventar::trips::ReadTripCount(link), 7);
  EXPECT_EQ(sim.Commands(), (std::vector<std::string>{"$NOP", "$TN"}));
}

// Trip 2 always arrives cut short, past its CR the earlier trips' bytes:
// never a trip, asked five times, and the reading fails naming it.
TEST_F(LinkEngine, ATripCutShortIsAskedAgainAndNeverDecoded) {
  sim.SetTrips(riventar::sim::RealisticTrips(4));
  for (const bool echoCheck : {true, false}) {
    for (const std::size_t keep : {5u, 15u, 46u}) {
      sim.ClearCommands();
      sim.SetMisbehaviour(Misbehaviour::CutOn("TR02", keep));
      link.SetEchoCheck(echoCheck);
      EXPECT_EQ(riventar::trips::ReadTrips(link, 4), std::nullopt) << keep;
      EXPECT_TRUE(link.LastFailureGarbled()) << keep;
      EXPECT_EQ(link.LastCommand(), "$TR02");
      const std::vector<std::string> asked = sim.Commands();
      EXPECT_EQ(std::count(asked.begin(), asked.end(), "$TR02"), riventar::link::RetryLimit) << keep;
      EXPECT_EQ(asked.back(), "$TR02") << keep;
    }
  }
}

// The receiver hands over whole lines. A late "!TR04" line, then at once the
// start of "!TR05": the waiting side, held up meanwhile, must never see the
// new line's echo over the old line's fields.
TEST_F(LinkEngine, ALateLineAndTheNextReplyNeverMix) {
  sim.SetTrips(riventar::sim::RealisticTrips(6));
  sim.SetMisbehaviour(Misbehaviour::SilentOn({"TR05"}));
  link.SetEchoCheck(true);
  const std::string late = "!TR04" + riventar::sim::EncodeTrip(sim.Trips()[4]) + "\r";
  const std::string right = "!TR05" + riventar::sim::EncodeTrip(sim.Trips()[5]) + "\r";
  for (int round = 0; round < 10; ++round) {
    std::thread rest;
    const auto deviceAnswers = [&] {
      sim.SendRaw(late + right.substr(0, 5));
      std::this_thread::sleep_for(20ms);  // the waiting side is held up while both arrive
      rest = std::thread([&] {
        std::this_thread::sleep_for(20ms);
        sim.SendRaw(right.substr(5));
      });
    };
    const bool answered = link.CommandExchange(riventar::link::TripReadCommand(5), deviceAnswers);
    rest.join();
    ASSERT_TRUE(answered) << round;
    EXPECT_EQ(ReplyLine(link) + "\r", right) << round;
  }
}

TEST(EchoMatches, MnemonicAndForATripItsIndex) {
  using riventar::link::EchoMatches;
  const struct {
    const char* command;
    const char* reply;
    bool matches;
  } cases[] = {
      {"$TR00\r", "!TR00xyz", true}, {"$TR1a\r", "!TR1a", true},     {"$TR1a\r", "!TR1A", true},
      {"$TRff\r", "!TRff", true},    {"$TR00\r", "!TR01", false},    {"$TR01\r", "!TN01", false},
      {"$TR00\r", "!TR0", false},    {"$TN\r", "!TN07", true},       {"$TN\r", "!NOP\r", false},
      {"$NOP\r", "!NOP\r", true},    {"$NOP\r", "!\r", false},       {"$LBS0500\r", "!LBS\r", true},
      {"$SDR\r", "!SDS\r", false},   {"$WCS991231\r", "!WCS", true}, {"$ICR\r", "#ICR", false},
  };
  for (const auto& c : cases) EXPECT_EQ(EchoMatches(c.command, c.reply), c.matches) << c.command << " " << c.reply;
}

TEST_F(LinkEngine, ALateHandshakeIsTakenByTheSecondAttempt) {
  sim.SetMisbehaviour(Misbehaviour::Late(300ms));
  EXPECT_TRUE(link.RetryingExchange(riventar::link::NopCommand()));
  EXPECT_EQ(sim.Commands().size(), 2u);
}

TEST_F(LinkEngine, ACommandSpoilsALinePartlyReceived) {
  sim.SendRaw("!abc");  // no CR yet: the receiver is at position 4
  std::this_thread::sleep_for(30ms);
  // "$NOP\r" is written while "!abc" is under way: the reply lands after it,
  // in a line begun before the command, and is no answer.
  EXPECT_FALSE(link.CommandExchange(riventar::link::NopCommand()));
  EXPECT_TRUE(link.CommandExchange(riventar::link::NopCommand()));
}

TEST_F(LinkEngine, StoppingWhileIdleTakesMilliseconds) {
  std::this_thread::sleep_for(50ms);  // the receiver is asleep in poll()
  const auto start = Steady::now();
  link.Stop();
  const double ms = MsSince(start);
  RecordProperty("stop_ms", std::to_string(ms));
  std::printf("stop while idle: %.3f ms\n", ms);
  EXPECT_LT(ms, 50);
  EXPECT_FALSE(link.IsUp());
  EXPECT_FALSE(link.CommandExchange(riventar::link::NopCommand()));
}

TEST_F(LinkEngine, StoppingInTheMiddleOfAPacedReply) {
  sim.SetPace(true);
  sim.SetMisbehaviour(Misbehaviour::Preamble(std::string(400, 'x')));  // ~400 ms of bytes
  link.SetReplyTimeout(50ms);
  EXPECT_FALSE(link.CommandExchange(riventar::link::TripCountCommand()));
  const auto start = Steady::now();
  link.Stop();
  EXPECT_LT(MsSince(start), 50);
}

TEST_F(LinkEngine, ReconnectsAfterStop) {
  for (int round = 0; round < 3; ++round) {
    link.Stop();
    ASSERT_FALSE(link.Start(sim.SlavePath()).has_value()) << round;
    EXPECT_TRUE(link.CommandExchange(riventar::link::NopCommand())) << round;
  }
}

TEST_F(LinkEngine, ABusyPortIsRefusedUntilReleased) {
  Link second;
  const auto failure = second.Start(sim.SlavePath());
  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(failure->step, riventar::link::OpenFailure::Step::OpenPort);
  EXPECT_NE(failure->detail.find(sim.SlavePath()), std::string::npos);
  EXPECT_NE(failure->detail.find("занят"), std::string::npos) << failure->detail;
  link.Stop();
  EXPECT_FALSE(second.Start(sim.SlavePath()).has_value());
  EXPECT_TRUE(second.CommandExchange(riventar::link::NopCommand()));
}

TEST(LinkOpen, AMissingPortSaysWhich) {
  Link link;
  const auto failure = link.Start("/dev/riventar-no-such-port");
  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(failure->step, riventar::link::OpenFailure::Step::OpenPort);
  EXPECT_NE(failure->detail.find("/dev/riventar-no-such-port"), std::string::npos);
  EXPECT_NE(failure->detail.find("No such file or directory"), std::string::npos) << failure->detail;
  EXPECT_FALSE(link.IsUp());
}

TEST(LinkOpen, AFileThatIsNoTerminalIsRefused) {
  char path[] = "/tmp/riventar-not-a-tty-XXXXXX";
  const int fd = ::mkstemp(path);
  ASSERT_GE(fd, 0);
  ::close(fd);
  Link link;
  const auto failure = link.Start(path);
  ::unlink(path);
  ASSERT_TRUE(failure.has_value());
  EXPECT_NE(failure->detail.find("tcgetattr"), std::string::npos) << failure->detail;
}

TEST(LinkOpen, APortLockedByAnotherProgramIsBusy) {
  Simulator sim;
  const int other = ::open(sim.SlavePath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(other, 0);
  ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
  Link link;
  const auto failure = link.Start(sim.SlavePath());
  ::close(other);
  ASSERT_TRUE(failure.has_value());
  EXPECT_NE(failure->detail.find("занят"), std::string::npos) << failure->detail;
}

}  // namespace
