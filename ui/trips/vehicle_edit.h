#pragma once
// The vehicle fields' input rules. Typing stops at the field's limit, but
// text the program sets (a file's header) is shown and saved back whole, so
// QLineEdit::maxLength, which also cuts set text, is not used. Characters a
// ".dat" or ".csv" file cannot hold (outside Windows-1251) are refused.
#include <QString>
#include <functional>

class QLineEdit;

namespace riventar::ui {

// `refused` runs when typed or pasted text holds such a character.
void ApplyVehicleTextRules(QLineEdit& edit, int typingLimit, std::function<void()> refused);
// Sets the text whole; edits may keep it at that length but not lengthen it.
void SetVehicleText(QLineEdit& edit, const QString& text);

}  // namespace riventar::ui
