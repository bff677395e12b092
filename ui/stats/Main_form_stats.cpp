// The period menu and the statistics windows it opens.
#include "ui/app/Main_form.h"

namespace riventar::ui {

void TMonitor_Form::Trip_Params_StringGridMouseDown(Qt::MouseButton, QPoint) {}

void TMonitor_Form::Popup_Menu_Click(int) {}

void TMonitor_Form::CloseStatisticWindows() {}

}  // namespace riventar::ui
