#include "ui/trips/vehicle_edit.h"

#include <QLineEdit>
#include <QValidator>
#include <algorithm>

#include "base/text/cp1251.h"

namespace riventar::ui {
namespace {

class VehicleTextValidator final : public QValidator {
 public:
  VehicleTextValidator(int typingLimit, std::function<void()> refused, QObject* parent)
      : QValidator(parent), limit_(typingLimit), allowed_(typingLimit), refused_(std::move(refused)) {}

  void AllowLength(qsizetype length) { allowed_ = std::max<qsizetype>(limit_, length); }

  State validate(QString& input, int&) const override {
    if (!text::FitsCp1251(input.toStdString())) {
      if (refused_) refused_();
      return Invalid;
    }
    // Refused whole rather than cut: a validator that changes the text
    // wipes the field's undo history.
    if (input.size() > allowed_) return Invalid;
    // A long header that the user shortens does not grow back past the limit.
    allowed_ = std::max(limit_, input.size());
    return Acceptable;
  }

 private:
  qsizetype limit_;
  mutable qsizetype allowed_;  // what the text may grow to: the limit, or a longer set text
  std::function<void()> refused_;
};

}  // namespace

void ApplyVehicleTextRules(QLineEdit& edit, int typingLimit, std::function<void()> refused) {
  edit.setMaxLength(32767);  // Qt's default: no cut of set text
  edit.setValidator(new VehicleTextValidator(typingLimit, std::move(refused), &edit));
}

void SetVehicleText(QLineEdit& edit, const QString& text) {
  for (QValidator* validator : edit.findChildren<QValidator*>(Qt::FindDirectChildrenOnly))
    if (auto* rules = dynamic_cast<VehicleTextValidator*>(validator)) rules->AllowLength(text.size());
  edit.setText(text);
}

}  // namespace riventar::ui
