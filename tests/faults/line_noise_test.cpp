// Random bytes at full speed on the line while the link is up: nothing may
// crash, memory must stay bounded, and once the noise stops the next real
// reply is recognised. RIVENTAR_SOAK_SECONDS sets the length (default 5 s;
// the hardening runs use 60).
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QPushButton>
#include <QToolButton>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <thread>

#include "core/link/commands.h"
#include "sim/simulator.h"
#include "tests/support/main_form_access.h"
#include "tests/support/scripted_dialogs.h"
#include "ui/app/Main_form.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer keeps freed memory in quarantine, so the resident size
// says nothing about growth there.
constexpr bool MeasureMemory = false;
#else
constexpr bool MeasureMemory = true;
#endif

std::chrono::seconds SoakTime() {
  const char* value = std::getenv("RIVENTAR_SOAK_SECONDS");
  const int seconds = value ? std::atoi(value) : 0;
  return std::chrono::seconds(seconds > 0 ? seconds : 5);
}

long ResidentKiB() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

TEST(LineNoise, FullSpeedRandomBytesLeaveTheLinkWorking) {
  riventar::sim::Simulator sim;
  sim.SetTrips(riventar::sim::RealisticTrips(4));
  ::setenv("RIVENTAR_COM1", sim.SlavePath().c_str(), 1);
  riventar::testing::ScriptedDialogs dialogs;
  auto form = std::make_unique<riventar::ui::TMonitor_Form>(dialogs);
  Ui(*form).Connect_SpeedButton->click();
  ASSERT_TRUE(Ui(*form).Link().IsUp());

  std::atomic<bool> stop = false;
  std::thread noise([&] {
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string chunk(4096, '\0');
    while (!stop) {
      for (char& c : chunk) c = static_cast<char>(byte(random));
      // Some lines that look like replies, so the reply event fires too.
      chunk.replace(static_cast<std::size_t>(byte(random)) * 8, 6, "\r!TN0f");  // 0..2040: inside the chunk
      sim.SendRaw(chunk);  // whatever the pty cannot take is lost, as on a wire
      std::this_thread::sleep_for(1ms);
    }
  });

  // The program goes on working meanwhile: events, and commands whose
  // replies may or may not get through the noise.
  const auto soak = SoakTime();
  const auto start = Clock::now();
  long baseline = 0, peak = 0;
  int exchanges = 0;
  while (Clock::now() - start < soak) {
    QApplication::processEvents();
    Ui(*form).Link().CommandExchange(riventar::link::NopCommand());
    ++exchanges;
    if (baseline == 0 && Clock::now() - start > soak / 5) baseline = ResidentKiB();
    peak = std::max(peak, ResidentKiB());
  }
  stop = true;
  noise.join();
  std::this_thread::sleep_for(300ms);  // what is still in the pty drains

  ::testing::Test::RecordProperty("soak_seconds", static_cast<int>(soak.count()));
  ::testing::Test::RecordProperty("noise_bytes_sent", std::to_string(sim.BytesSent()));
  ::testing::Test::RecordProperty("exchanges", exchanges);
  ::testing::Test::RecordProperty("rss_growth_kib", std::to_string(peak - baseline));
  EXPECT_TRUE(Ui(*form).Link().IsUp());
  EXPECT_GT(exchanges, 0);
  if (MeasureMemory) {
    EXPECT_LT(peak - baseline, 16 * 1024) << "KiB grown while the noise ran";
  }

  // The noise may have stopped in the middle of a line; the retrying
  // exchange ends it with the first reply's CR and gets the second.
  EXPECT_TRUE(Ui(*form).Link().RetryingExchange(riventar::link::NopCommand()));
  sim.ClearCommands();
  dialogs.answers = {riventar::ui::MsgAnswer::No};
  Ui(*form).Read_Trip_From_BK_Button->click();
  EXPECT_EQ(sim.Commands(), (std::vector<std::string>{"$TN", "$TR00", "$TR01", "$TR02", "$TR03"}));
  ASSERT_EQ(Ui(*form).Trips().size(), 4u);
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(Ui(*form).Trips()[i].Distance, sim.Trips()[i].distance);
  EXPECT_EQ(dialogs.Captions(), std::vector<std::string>{"Считывание маршрутов"});
  EXPECT_TRUE(Ui(*form).Link().IsUp());

  Ui(*form).SetUnsaved(false);
  form.reset();
  ::unsetenv("RIVENTAR_COM1");
}

}  // namespace
