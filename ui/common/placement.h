#pragma once
// Where windows go: the main window kept on its screen, the other windows
// centred over the one that opened them.
#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace riventar::ui {

// Top-left for a window whose outer frame would be `frame` on a screen whose
// free area is `available`: unchanged where the frame lies inside, else moved
// the least distance into it; a frame larger than the area keeps its top-left
// corner (the title bar) in it.
QPoint PlacedInside(const QRect& frame, const QRect& available);
// Top-left that centres a window of outer size `windowFrameSize` over a parent
// whose outer bounds are `parentFrame`; each half truncates toward zero.
QPoint CentredOver(const QRect& parentFrame, const QSize& windowFrameSize);
// Moves `window` so that its outer frame is centred over `parent`'s outer frame.
// A window not shown yet has no frame of its own; it is taken to get the
// parent's frame margins.
void CentreOver(QWidget& window, const QWidget& parent);

}  // namespace riventar::ui
