#include "core/link/open_failure.h"

#include <cerrno>
#include <string_view>

#include "platform/posix/errno_text.h"
#include "platform/posix/port_holders.h"

namespace riventar::link {
namespace {

// Programs that are known to take serial adapters, with what to do about each.
struct Taker {
  std::string_view name;
  std::string_view remedy;
};
constexpr Taker KnownTakers[] = {
    {"ModemManager",
     "ModemManager проверяет адаптеры, принимая их за модемы. Остановите его:\n"
     "sudo systemctl stop ModemManager (навсегда: sudo systemctl disable --now ModemManager)."},
    {"brltty",
     "brltty (поддержка дисплеев Брайля) занимает USB-адаптеры. Если дисплей Брайля не нужен:\n"
     "sudo apt remove brltty"},
};

std::string RemedyFor(std::string_view program) {
  for (const Taker& t : KnownTakers)
    if (t.name == program) return std::string(t.remedy);
  return "Закройте эту программу (например, терминальную) и подключитесь снова.";
}

std::string BusyCause(const std::string& devicePath) {
  const auto holders = posix::ProcessesHolding(devicePath);
  if (!holders.empty()) {
    const posix::ProcessInfo& h = holders.front();
    return "Порт занят программой " + h.name + " (PID " + std::to_string(h.pid) + ").\n" + RemedyFor(h.name);
  }
  std::string text =
      "Порт занят другой программой (обычно ModemManager, brltty или терминальная программа).";
  std::vector<std::string_view> names;
  for (const Taker& t : KnownTakers) names.push_back(t.name);
  for (const posix::ProcessInfo& p : posix::ProcessesNamed(names)) text += "\nЗапущена " + p.name + ". " + RemedyFor(p.name);
  return text;
}

bool IsLegacyPort(const std::string& path) { return path.rfind("/dev/ttyS", 0) == 0; }

}  // namespace

std::string DescribeOpenFailure(const std::string& devicePath, const posix::SerialOpenError& error) {
  std::string text = "Устройство: " + devicePath + "\nПричина: " + posix::ErrnoText(error.error) + " (" +
                     error.operation + ")\n";
  using Kind = posix::SerialOpenError::Kind;
  if (error.kind == Kind::Busy) {
    text += BusyCause(devicePath);
  } else if (error.error == EACCES) {
    const std::string group = error.group.empty() ? "dialout" : error.group;
    text += "Доступ к порту есть у группы " + group + ". Добавьте себя в неё командой\nsudo usermod -aG " + group +
            " $USER\nи войдите в систему заново.";
  } else if (IsLegacyPort(devicePath) && (error.kind == Kind::Configure || error.error == EIO)) {
    // A ttyS node exists on nearly every PC, UART or not.
    text += "За портом " + devicePath +
            " нет последовательного порта компьютера. Если БК подключён через USB-адаптер, выберите его.";
  } else if (error.kind == Kind::Configure) {
    text += "Устройство не принимает настройки последовательного порта: это не последовательный порт.";
  } else if (error.error == ENOENT || error.error == ENXIO || error.error == ENODEV || error.error == EIO) {
    text += "Устройства нет: адаптер не подключён, отключён или после переподключения получил другое имя.";
  } else {
    text += "Частые причины: за портом ttyS нет оборудования; нет прав (группа dialout); порт занят другой программой.";
  }
  return text;
}

}  // namespace riventar::link
