// The trip table, the data file, the spreadsheet export and clearing.
#include "ui/app/Main_form.h"
#include "ui/trips/trip_table_model.h"

namespace riventar::ui {

void TMonitor_Form::ReDraw_StringGrid() { model_->SetTripRows(static_cast<int>(TripList.size())); }
void TMonitor_Form::Read_Trip_From_File_Button_Click() {}
void TMonitor_Form::Save_Trip_To_File_Button_Click() {}
void TMonitor_Form::Clear_Trip_Table_Button_Click() {}
void TMonitor_Form::Vehicle_Info_Edits_Key_Press() { TripsUnsaved = true; }

}  // namespace riventar::ui
