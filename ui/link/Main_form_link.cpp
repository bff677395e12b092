// Connecting and disconnecting.
#include "ui/app/Main_form.h"

namespace riventar::ui {

void TMonitor_Form::Connect_SpeedButton_Click() {}

void TMonitor_Form::DropConnection() {}

}  // namespace riventar::ui
