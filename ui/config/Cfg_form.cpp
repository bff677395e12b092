#include "ui/config/Cfg_form.h"

namespace riventar::ui {

TConfig_Form::TConfig_Form(link::Link& link, Dialogs& dialogs, QWidget* owner)
    : QDialog(owner), link_(link), dialogs_(dialogs) {}

}  // namespace riventar::ui
