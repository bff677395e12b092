#pragma once
// The look every form shares: the small sans-serif font and fixed-geometry
// panels, buttons, labels and edits placed at pixel positions.
#include <QFont>
#include <QRect>
#include <QString>

class QFrame;
class QLabel;
class QLineEdit;
class QIcon;
class QPushButton;
class QTableView;
class QToolButton;
class QWidget;

namespace riventar::ui::style {

// 11-pixel character height; Liberation Sans keeps every caption inside its control.
QFont FormFont();
// The same height in the narrow face, for controls whose designed width is tight.
QFont NarrowFont();
// `raised`: a raised inner bevel inside a lowered outer one; otherwise one lowered bevel.
QFrame* Panel(QWidget* parent, const QRect& geometry, bool raised = true);
QPushButton* Button(QWidget* parent, const QRect& geometry, const QString& caption, const QString& hint = {});
// A flat button with its icon left of the caption.
QToolButton* FlatButton(QWidget* parent, const QRect& geometry, const QString& caption, const QIcon& icon);
QLabel* Label(QWidget* parent, const QRect& geometry, const QString& caption);
QLineEdit* Edit(QWidget* parent, const QRect& geometry, int maxLength);
// Column widths, a 10-pixel font, 18-pixel rows, whole-row selection, read-only,
// vertical scroll bar only; column 0 in the palette's button colours.
void SetUpTripGrid(QTableView& grid);

}  // namespace riventar::ui::style
