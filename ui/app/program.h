#pragma once

namespace riventar::ui {

class Dialogs;

// Start-up once the application object exists: refuses a second copy (a
// top-level window titled "Ривентар" on the display, or this user's instance
// lock held by a running copy), else shows the main window and runs the
// message loop; the shutdown sequence runs before it returns. Returns 0 in
// every case.
int RunProgram(Dialogs& dialogs);

}  // namespace riventar::ui
