// Program entry. No argument is examined; the result is 0 in every case.
#include <csignal>

#include "ui/app/application.h"
#include "ui/app/program.h"
#include "ui/common/dialogs.h"

int main(int argc, char** argv) {
  // A file-size limit must fail the write (and so the save), not kill the program.
  std::signal(SIGXFSZ, SIG_IGN);
  riventar::ui::QtDialogs dialogs;
  riventar::ui::Application app(argc, argv, dialogs);
  return riventar::ui::RunProgram(dialogs);
}
