#include "ui/common/placement.h"

#include <QWidget>
#include <algorithm>

namespace riventar::ui {

QPoint CentredOver(const QRect& parentFrame, const QSize& windowFrameSize) {
  return {parentFrame.left() + parentFrame.width() / 2 - windowFrameSize.width() / 2,
          parentFrame.top() + parentFrame.height() / 2 - windowFrameSize.height() / 2};
}

QPoint PlacedInside(const QRect& frame, const QRect& available) {
  const auto axis = [](int start, int length, int areaStart, int areaLength) {
    return std::max(std::min(start, areaStart + areaLength - length), areaStart);
  };
  return {axis(frame.left(), frame.width(), available.left(), available.width()),
          axis(frame.top(), frame.height(), available.top(), available.height())};
}

void CentreOver(QWidget& window, const QWidget& parent) {
  QSize outer = window.frameGeometry().size();
  if (!window.isVisible()) {
    const QRect pf = parent.frameGeometry();
    const QRect pg = parent.geometry();
    outer = window.size() + QSize(pf.width() - pg.width(), pf.height() - pg.height());
  }
  const QPoint topLeft = CentredOver(parent.frameGeometry(), outer);
  window.move(topLeft);  // move() places the outer frame
}

}  // namespace riventar::ui
