#include "cli/ports_command.h"

#include <iostream>

#include "cli/exit_status.h"

namespace riventar::cli {

void PrintPorts(bool) { throw Failure{ExitStatus::Usage, "ports: not yet available"}; }

}  // namespace riventar::cli
