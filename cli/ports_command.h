#pragma once

namespace riventar::cli {

// The serial devices present, as the window's port list names them.
void PrintPorts(bool json);

}  // namespace riventar::cli
