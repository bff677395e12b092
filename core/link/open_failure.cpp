#include "core/link/open_failure.h"

#include <cerrno>
#include <filesystem>
#include <string_view>

#include "base/posix/errno_text.h"
#include "base/posix/port_holders.h"

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
  std::string text = "Порт занят другой программой (обычно ModemManager, brltty или терминальная программа).";
  std::vector<std::string_view> names;
  for (const Taker& t : KnownTakers) names.push_back(t.name);
  for (const posix::ProcessInfo& p : posix::ProcessesNamed(names))
    text += "\nЗапущена " + p.name + ". " + RemedyFor(p.name);
  return text;
}

bool IsLegacyPort(const std::string& path) { return path.rfind("/dev/ttyS", 0) == 0; }

// The udev KERNEL match for the node behind `path`: "ttyUSB[0-9]*" for
// /dev/serial/by-id/usb-...-port0, so the rule survives replugging.
std::string KernelPattern(const std::string& path) {
  std::error_code ignored;
  const std::filesystem::path real = std::filesystem::weakly_canonical(path, ignored);
  std::string name = (real.empty() ? std::filesystem::path(path) : real).filename().string();
  const auto digits = name.find_last_not_of("0123456789") + 1;
  if (digits > 0 && digits < name.size()) name = name.substr(0, digits) + "[0-9]*";
  return name;
}

// EACCES. Joining the owning group helps only when that group may read and
// write the node, and joining root is never advice: otherwise the node
// itself has to be given to a group, which only the administrator can do.
std::string AccessCause(const std::string& devicePath, const std::optional<posix::DeviceAccess>& access) {
  if (!access || (access->GroupMayReadWrite() && access->gid != 0)) {
    const std::string group = access ? access->group : "dialout";
    return "Доступ к порту есть у группы " + group + ". Добавьте себя в неё командой\nsudo usermod -aG " + group +
           " $USER\nи войдите в систему заново.";
  }
  std::string text = access->uid == 0 ? "Открыть это устройство может только администратор (root).\n"
                                      : "Открыть это устройство может только его владелец " + access->owner +
                                            " и администратор (root).\n";
  return text +
         "Чтобы его могли открыть и вы, администратор может отдать его группе dialout правилом udev: файлом\n"
         "/etc/udev/rules.d/50-riventar.rules со строкой\n"
         "KERNEL==\"" +
         KernelPattern(devicePath) +
         "\", GROUP=\"dialout\", MODE=\"0660\"\n"
         "и командой sudo udevadm control --reload && sudo udevadm trigger.\n"
         "Затем добавьте себя в группу dialout командой\nsudo usermod -aG dialout $USER\n"
         "и войдите в систему заново.";
}

}  // namespace

std::string DescribeOpenFailure(const std::string& devicePath, const posix::SerialOpenError& error) {
  std::string text =
      "Устройство: " + devicePath + "\nПричина: " + posix::ErrnoText(error.error) + " (" + error.operation + ")\n";
  using Kind = posix::SerialOpenError::Kind;
  if (error.kind == Kind::Busy) {
    text += BusyCause(devicePath);
  } else if (error.error == EACCES) {
    text += AccessCause(devicePath, error.access);
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
