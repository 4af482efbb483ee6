// The interactive mode: the main window until the user closes it.

#include "app/gui/interactive_mode.h"

#include <QApplication>
#include <QTimer>

#include "app/gui/colour_mode_dialog.h"
#include "app/gui/kiln_resources.h"
#include "app/gui/main_window.h"
#include "platform/device_monitor.h"
#include "tools/maintenance_dialogs.h"

namespace kiln::app {

void RunMainWindow(AppSession& session, const StartedProgram& program) {
  MainWindow window(session);
  // The hidden corner clicks open the maintenance dialogs on the window's current entry.
  window.SetMaintenanceDialogs(
      {[&](int entry) {
         return tools::ExecAdvancedSettingsDialog(&window, session.context, entry);
       },
       [&] { return tools::ExecSettingDialog(&window, session.context); }});
  window.SetColourModeChange([&](QWidget* parent, int activeEntry) {
    PrinterQueries queries = window.controller().Queries();
    return ChangeColourMode(parent, session, activeEntry, queries);
  });
  // The window shows first; the configuration and the printer are looked at once it is
  // on screen, so a slow printer or print system delays the status, not the window.
  QTimer::singleShot(0, &window, [&] {
    (void)window.Initialise(program.programFolder, &platform::OpenUsbPrinterMonitor);
  });
  window.exec();
}

void RunInteractiveMode(AppSession& session, const StartedProgram& program, int& argc,
                        char** argv) {
  QApplication application(argc, argv);
  QApplication::setWindowIcon(KilnIcon());
  RunMainWindow(session, program);
}

}  // namespace kiln::app
