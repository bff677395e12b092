#pragma once
// Finding a top-level window by its exact title on the X11 display, used to
// refuse a second copy of the program.
#include <string>

namespace riventar::desktop {

// True when some window on the display named by $DISPLAY (a top-level one, or
// a window manager's client inside its frame) carries exactly `titleUtf8` as
// its _NET_WM_NAME or WM_NAME. False when there is no display.
bool TopLevelWindowWithTitleExists(const std::string& titleUtf8);

}  // namespace riventar::desktop
