// Timings of the device link through the real main window (offscreen)
// against the simulated device on a pseudo-terminal:
//  - reading 255 trips with the device paced at 9600 baud, against the wire
//    time of every command and reply (10 bits a byte);
//  - how long "Отключиться" takes;
//  - what a connected, idle link costs in CPU.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QToolButton>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

#include "base/posix/serial_port.h"
#include "core/link/commands.h"
#include "sim/simulator.h"
#include "tests/support/main_form_access.h"
#include "ui/app/Main_form.h"
#include "ui/common/dialogs.h"

namespace {

using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;

// Answers every question No and shows nothing.
class QuietDialogs final : public riventar::ui::Dialogs {
 public:
  riventar::ui::MsgAnswer Message(QWidget*, riventar::ui::MsgIcon, const QString& caption, const QString& text,
                                  riventar::ui::MsgButtons buttons, riventar::ui::MsgAnswer) override {
    if (buttons == riventar::ui::MsgButtons::Ok) {
      std::fprintf(stderr, "unexpected message: %s / %s\n", qPrintable(caption), qPrintable(text));
      ++errors;
    }
    return buttons == riventar::ui::MsgButtons::Ok ? riventar::ui::MsgAnswer::Ok : riventar::ui::MsgAnswer::No;
  }
  std::optional<riventar::ui::FileChoice> OpenFile(QWidget*, const riventar::ui::FileDialogOptions&) override {
    return {};
  }
  std::optional<riventar::ui::FileChoice> SaveFile(QWidget*, const riventar::ui::FileDialogOptions&) override {
    return {};
  }
  bool Print(QWidget*, QPrinter&) override { return false; }
  void Beep() override {}
  int errors = 0;
};

// A main window connected to a fresh simulator on COM1.
struct Bench {
  explicit Bench(bool pace) : sim(pace ? riventar::sim::SimulatorOptions::Paced() : riventar::sim::SimulatorOptions{}) {
    ::setenv("RIVENTAR_COM1", sim.SlavePath().c_str(), 1);
    form = std::make_unique<riventar::ui::TMonitor_Form>(dialogs);
  }
  ~Bench() {
    Ui(*form).SetUnsaved(false);
    form.reset();
  }
  bool Connect() {
    Ui(*form).Connect_SpeedButton->click();
    return Ui(*form).Link().IsUp();
  }
  riventar::sim::Simulator sim;
  QuietDialogs dialogs;
  std::unique_ptr<riventar::ui::TMonitor_Form> form;
};

double Seconds(Steady::duration d) { return std::chrono::duration<double>(d).count(); }

void BM_Read255TripsPaced(benchmark::State& state) {
  Bench b(true);
  b.sim.SetTrips(riventar::sim::RealisticTrips(255));
  if (!b.Connect()) return state.SkipWithError("no link");
  double worst = 0, total = 0;
  for (auto _ : state) {
    const std::size_t in0 = b.sim.BytesReceived(), out0 = b.sim.BytesSent();
    const auto start = Steady::now();
    Ui(*b.form).Read_Trip_From_BK_Button_Click();  // the counter question is answered No
    const double elapsed = Seconds(Steady::now() - start);
    const std::size_t bytes = b.sim.BytesReceived() - in0 + b.sim.BytesSent() - out0;
    const double wire = Seconds(bytes * riventar::sim::ByteTime);
    state.SetIterationTime(elapsed);
    total += elapsed;
    state.counters["wire_s"] = wire;
    state.counters["bytes"] = static_cast<double>(bytes);
    state.counters["ratio"] = elapsed / wire;
    worst = std::max(worst, elapsed / wire);
    if (Ui(*b.form).Trips().size() != 255 || b.dialogs.errors) return state.SkipWithError("reading failed");
    Ui(*b.form).SetTrips({});
  }
  std::printf("read 255 trips: worst ratio to wire time %.4f (target <= 1.02)\n", worst);
  std::printf("read 255 trips: program mean %.4f s\n", total / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_Read255TripsPaced)->Iterations(2)->UseManualTime()->Unit(benchmark::kSecond);

// The floor for the program's reading: a loop that writes each command of a
// reading ("$TN", then 255 "$TR") and waits for its reply's CR, nothing else.
void BM_Read255TripsSimplestClient(benchmark::State& state) {
  riventar::sim::Simulator sim(riventar::sim::SimulatorOptions::Paced());
  sim.SetTrips(riventar::sim::RealisticTrips(255));
  auto opened = riventar::posix::SerialPort::Open(sim.SlavePath());
  auto* port = std::get_if<riventar::posix::SerialPort>(&opened);
  if (!port) return state.SkipWithError("no port");
  const auto exchange = [fd = port->Fd()](const std::string& command) {
    if (::write(fd, command.data(), command.size()) != static_cast<ssize_t>(command.size())) return false;
    for (char c = 0; c != '\r';) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 1000) != 1 || ::read(fd, &c, 1) != 1) return false;
    }
    return true;
  };
  double total = 0;
  for (auto _ : state) {
    const auto start = Steady::now();
    bool ok = exchange(riventar::link::TripCountCommand());
    for (int i = 0; ok && i < 255; ++i) ok = exchange(riventar::link::TripReadCommand(static_cast<std::uint8_t>(i)));
    const double elapsed = Seconds(Steady::now() - start);
    if (!ok) return state.SkipWithError("no reply");
    state.SetIterationTime(elapsed);
    total += elapsed;
  }
  std::printf("read 255 trips: simplest client mean %.4f s\n", total / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_Read255TripsSimplestClient)->Iterations(2)->UseManualTime()->Unit(benchmark::kSecond);

void BM_Disconnect(benchmark::State& state) {
  Bench b(false);
  double worst = 0;
  for (auto _ : state) {
    if (!b.Connect()) return state.SkipWithError("no link");
    std::this_thread::sleep_for(5ms);  // the receiver is asleep
    const auto start = Steady::now();
    Ui(*b.form).Connect_SpeedButton->click();
    const double elapsed = Seconds(Steady::now() - start);
    state.SetIterationTime(elapsed);
    worst = std::max(worst, elapsed);
  }
  state.counters["worst_ms"] = worst * 1000;
  std::printf("disconnect: worst %.3f ms (target < 20 ms)\n", worst * 1000);
}
BENCHMARK(BM_Disconnect)->Iterations(50)->UseManualTime()->Unit(benchmark::kMillisecond);

double CpuSeconds() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void BM_IdleLinkCpu(benchmark::State& state) {
  Bench b(false);
  if (!b.Connect()) return state.SkipWithError("no link");
  for (auto _ : state) {
    const double cpu0 = CpuSeconds();
    const auto start = Steady::now();
    std::this_thread::sleep_for(3s);
    const double wall = Seconds(Steady::now() - start);
    const double share = (CpuSeconds() - cpu0) / wall * 100;
    state.SetIterationTime(wall);
    state.counters["cpu_percent"] = share;
    std::printf("idle connected link: %.4f %% of one core (target < 0.1 %%)\n", share);
  }
}
BENCHMARK(BM_IdleLinkCpu)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
