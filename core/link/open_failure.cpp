#include "core/link/open_failure.h"

#include <cerrno>

#include "platform/posix/errno_text.h"

namespace riventar::link {

std::string DescribeOpenFailure(const std::string& devicePath, const posix::SerialOpenError& error) {
  std::string text = "Устройство: " + devicePath + "\nПричина: " + posix::ErrnoText(error.error) + " (" +
                     error.operation + ")";
  using Kind = posix::SerialOpenError::Kind;
  if (error.kind == Kind::Busy) {
    text += "\nПорт занят другой программой.";
  } else if (error.kind == Kind::Configure) {
    text += "\nУстройство не принимает настройки последовательного порта.";
  } else if (error.error == EACCES) {
    const std::string group = error.group.empty() ? "dialout" : error.group;
    text += "\nДоступ к порту есть у группы " + group + ". Добавьте себя в неё командой\nsudo usermod -aG " + group +
            " $USER\nи войдите в систему заново.";
  } else if (error.error == ENOENT) {
    text +=
        "\nCOM1 - это устройство из переменной окружения RIVENTAR_COM1 или /dev/ttyS0,"
        "\nCOM2 - из RIVENTAR_COM2 или /dev/ttyS1 (например, RIVENTAR_COM1=/dev/ttyUSB0).";
  }
  return text;
}

}  // namespace riventar::link
