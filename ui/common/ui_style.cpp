#include "ui/common/ui_style.h"

#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QToolButton>

namespace riventar::ui::style {

namespace {

// The grid's fixed column 0 in the headings' colours, taken from the view's
// palette at each paint, so a palette change (a dark theme) repaints it with
// readable digits.
class FixedColumnDelegate final : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    if (index.column() != 0) return;
    option->backgroundBrush = option->palette.button();
    option->palette.setBrush(QPalette::Text, option->palette.buttonText());
  }
};

}  // namespace

QFont FormFont() {
  QFont font(QStringLiteral("Liberation Sans"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(11);
  return font;
}

QFont NarrowFont() {
  QFont font(QStringLiteral("Liberation Sans Narrow"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(11);
  return font;
}

QFrame* Panel(QWidget* parent, const QRect& geometry, bool raised) {
  auto* panel = new QFrame(parent);
  if (raised) {
    // A lowered outer and a raised inner bevel, one pixel each: an etched box.
    panel->setFrameShape(QFrame::Box);
    panel->setFrameShadow(QFrame::Sunken);
    panel->setMidLineWidth(0);
  } else {
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
  }
  panel->setLineWidth(1);
  panel->setGeometry(geometry);
  return panel;
}

QPushButton* Button(QWidget* parent, const QRect& geometry, const QString& caption, const QString& hint) {
  auto* button = new QPushButton(caption, parent);
  button->setGeometry(geometry);
  if (!hint.isEmpty()) button->setToolTip(hint);
  return button;
}

QToolButton* FlatButton(QWidget* parent, const QRect& geometry, const QString& caption, const QIcon& icon) {
  auto* button = new QToolButton(parent);
  button->setGeometry(geometry);
  button->setAutoRaise(true);
  button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  button->setIcon(icon);
  button->setText(caption);
  return button;
}

QLabel* Label(QWidget* parent, const QRect& geometry, const QString& caption) {
  auto* label = new QLabel(caption, parent);
  label->setTextFormat(Qt::PlainText);  // texts from the device or a file are never markup
  label->setGeometry(geometry);
  return label;
}

QLineEdit* Edit(QWidget* parent, const QRect& geometry, int maxLength) {
  auto* edit = new QLineEdit(parent);
  edit->setGeometry(geometry);
  edit->setMaxLength(maxLength);
  edit->setTextMargins(0, 0, 0, 0);
  return edit;
}

void SetUpTripGrid(QTableView& grid) {
  static constexpr int widths[] = {35, 94, 45, 71, 67, 56, 57, 51, 58};
  // One pixel smaller than the forms: at 11 pixels the widest date
  // ("ПН-28-ИЮН-2024") and "На маршруте" overrun their columns' text margins.
  QFont font = FormFont();
  font.setPixelSize(10);
  grid.setFont(font);
  grid.horizontalHeader()->setFont(font);  // headers take a font of their own otherwise
  grid.verticalHeader()->hide();
  grid.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  grid.verticalHeader()->setDefaultSectionSize(18);
  grid.verticalHeader()->setMinimumSectionSize(18);
  grid.horizontalHeader()->setFixedHeight(18);
  grid.horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  grid.horizontalHeader()->setSectionsClickable(false);
  grid.horizontalHeader()->setHighlightSections(false);
  grid.horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  for (int c = 0; c < 9; ++c) grid.setColumnWidth(c, widths[c]);
  grid.setSelectionBehavior(QAbstractItemView::SelectRows);
  grid.setSelectionMode(QAbstractItemView::SingleSelection);
  grid.setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid.setTabKeyNavigation(false);  // Tab leaves the grid for the buttons below it; arrows move the row
  grid.setShowGrid(true);
  grid.setWordWrap(false);
  grid.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  grid.setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  grid.setCornerButtonEnabled(false);
  grid.setItemDelegate(new FixedColumnDelegate(&grid));
}

}  // namespace riventar::ui::style
