// The device session over a scripted device: what is read, what the recorder
// is given, and when the device may forget its trips.
#include "core/services/device_session.h"

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "sim/device.h"
#include "sim/trip_store.h"

namespace {

namespace services = riventar::services;
namespace link = riventar::link;
using Kind = services::Failure::Kind;
using Lines = std::vector<std::string>;

// A port that answers as `device` says; no port, no thread, no clock.
class ScriptedPort final : public link::PortLink {
 public:
  using Device = std::function<Lines(const std::string& command)>;
  explicit ScriptedPort(Device device, std::vector<std::string>* sent) : device_(std::move(device)), sent_(sent) {}
  std::optional<link::OpenFailure> Start(const std::string& path) override {
    if (path == "/missing") return link::OpenFailure{link::OpenFailure::Step::OpenPort, "/missing: gone"};
    up_ = true;
    return std::nullopt;
  }
  void Stop() override { up_ = false; }
  bool IsUp() const override { return up_; }
  void SetHangUpHandler(std::function<void()>) override {}
  bool HungUp() const override { return false; }
  void SetTrace(link::TraceHook) override {}

 protected:
  bool Send(std::string_view command) override {
    const std::string text(command.substr(0, command.find('\r')));
    sent_->push_back(text);
    const Lines lines = device_(text);
    pending_.assign(lines.begin(), lines.end());
    return up_;
  }
  std::optional<link::Reply> NextReply(std::chrono::steady_clock::time_point) override {
    if (pending_.empty()) return std::nullopt;
    link::Reply reply{};
    std::copy_n(pending_.front().begin(), std::min(pending_.front().size(), reply.size()), reply.begin());
    pending_.pop_front();
    return reply;
  }

 private:
  Device device_;
  std::vector<std::string>* sent_;
  std::deque<std::string> pending_;
  bool up_ = false;
};

// A device holding `held` that answers every command but those `silent` names.
ScriptedPort::Device Holding(std::vector<riventar::sim::DeviceTrip> held, std::string silent = "") {
  return [held, silent](const std::string& command) -> Lines {
    if (!silent.empty() && command.starts_with(silent)) return {};
    const std::string text = command.substr(1);
    if (text == "NOP") return {"!NOP\r"};
    if (text == "TC") return {"!TC\r"};
    if (text == "TN") {
      char count[3];
      std::snprintf(count, sizeof count, "%02X", static_cast<unsigned>(held.size()));
      return {"!TN" + std::string(count) + "\r"};
    }
    const auto index = std::stoul(text.substr(2), nullptr, 16);
    return {"!" + text + riventar::sim::EncodeTrip(held.at(index)) + "\r"};
  };
}

struct Session {
  explicit Session(ScriptedPort::Device device) : session(std::make_unique<ScriptedPort>(std::move(device), &sent)) {
    session.Link().SetReplyTimeout(std::chrono::milliseconds(1));
  }
  std::vector<std::string> sent;
  services::DeviceSession session;
};

TEST(DeviceSession, ConnectsOrSaysWhy) {
  Session s(Holding({}));
  const services::Status missing = s.session.Connect("/missing");
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.failure().kind, Kind::PortOpen);
  EXPECT_NE(missing.failure().message.find("/missing: gone"), std::string::npos);
  EXPECT_FALSE(s.session.Connected());

  Session mute(Holding({}, "$NOP"));
  EXPECT_EQ(mute.session.Connect("/dev/x").failure().kind, Kind::NoAnswer);
  EXPECT_FALSE(mute.session.Connected());

  ASSERT_TRUE(s.session.Connect("/dev/x"));
  EXPECT_TRUE(s.session.Connected());
  EXPECT_EQ(s.session.DevicePath(), "/dev/x");
}

TEST(DeviceSession, ReadsRecordsAndForgetsOnlyWhatIsOnDisk) {
  const auto held = riventar::sim::RealisticTrips(3);
  Session s(Holding(held));
  ASSERT_TRUE(s.session.Connect("/dev/x"));
  std::vector<int> progress;
  services::Result<services::Reading> read =
      s.session.Read({}, [&](int index, int count) { progress.push_back(index * 10 + count); });
  ASSERT_TRUE(read);
  EXPECT_EQ(read->count, 3);
  EXPECT_EQ(read->trips.trips.size(), 3u);
  EXPECT_EQ(progress, (std::vector<int>{3, 13, 23}));
  EXPECT_EQ(s.session.MayForgetTrips().failure().kind, Kind::Refused);

  // A recorder that fails leaves them nowhere; one that commits keeps them.
  const auto fails = [](const services::Reading&) -> services::Status {
    return services::Failure{Kind::Logbook, "full"};
  };
  EXPECT_EQ(s.session.Record(read.value(), fails).failure().message, "full");
  EXPECT_FALSE(s.session.MayForgetTrips());
  ASSERT_TRUE(s.session.Record(read.value(), [](const services::Reading&) { return services::Ok(); }));
  EXPECT_TRUE(s.session.MayForgetTrips());
  ASSERT_TRUE(s.session.ForgetTrips());
  EXPECT_EQ(s.sent.back(), "$TC");

  // A new reading starts from nothing kept; a file written is enough.
  ASSERT_TRUE(s.session.Read());
  EXPECT_FALSE(s.session.MayForgetTrips());
  s.session.FileWritten();
  EXPECT_TRUE(s.session.MayForgetTrips());
}

TEST(DeviceSession, AnUnansweredStepIsNoAnswer) {
  for (const char* silent : {"$TN", "$TR01", "$TC"}) {
    Session s(Holding(riventar::sim::RealisticTrips(2), silent));
    ASSERT_TRUE(s.session.Connect("/dev/x"));
    const services::Result<services::Reading> read = s.session.Read();
    const services::Status step = read ? s.session.ForgetTrips() : services::Status(read.failure());
    ASSERT_FALSE(step) << silent;
    EXPECT_EQ(step.failure().kind, Kind::NoAnswer) << silent;
    EXPECT_NE(step.failure().message.find("did not answer"), std::string::npos) << silent;
  }
}

TEST(MayForget, OnlyWhatIsOnDisk) {
  EXPECT_FALSE(services::MayForget({false, false}));
  EXPECT_TRUE(services::MayForget({true, false}));
  EXPECT_TRUE(services::MayForget({false, true}));
}

}  // namespace
