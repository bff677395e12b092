// Reading the stored trips from the device.
#include "ui/app/Main_form.h"

namespace riventar::ui {

void TMonitor_Form::Read_Trip_From_BK_Button_Click() {}

}  // namespace riventar::ui
