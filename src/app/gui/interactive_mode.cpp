// The interactive mode: the main window until the user closes it.

#include "app/gui/interactive_mode.h"

#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <QtGlobal>
#include <cstdio>
#include <memory>
#include <optional>

#include "app/gui/colour_mode_dialog.h"
#include "app/gui/kiln_resources.h"
#include "app/gui/main_window.h"
#include "app/program_folder_choice.h"
#include "app/update_history.h"
#include "platform/device_monitor.h"
#include "platform/stop_signals.h"
#include "tools/maintenance_dialogs.h"

namespace kiln::app {

namespace {

// The folder dialog for a start without a program folder, opening in the user's home.
std::optional<std::string> AskFirmwareFolder() {
  QFileDialog dialog(nullptr, QStringLiteral("Select the firmware folder (with Kiln.ini)"),
                     QDir::homePath());
  dialog.setObjectName(QStringLiteral("FirmwareFolderDialog"));
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  // A desktop's own dialog cannot run without a desktop session (tests, offscreen).
  if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
    dialog.setOption(QFileDialog::DontUseNativeDialog);
  }
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return std::nullopt;
  return QFile::encodeName(chosen.first()).toStdString();
}

QtMessageHandler g_toolkitMessages = nullptr;

// A fatal message while the toolkit starts its platform means that the platform cannot
// run here: no plugin of that name, no frame buffer or graphics device, nothing serving
// the display. The toolkit would abort the process; Kiln ends as it does without a
// display instead. Other messages go where they went before.
void EndWithoutDisplayOnFatal(QtMsgType type, const QMessageLogContext& context,
                              const QString& message) {
  if (type != QtFatalMsg) {
    if (g_toolkitMessages != nullptr) g_toolkitMessages(type, context, message);
    return;
  }
  std::fprintf(stderr, "%s\n", qPrintable(message));
  std::fputs(kNoDisplayText, stderr);
  std::fflush(stderr);
  ::_exit(1);
}

// Lets a platform that cannot start end the program as a missing display, while it lives.
class PlatformStartGuard {
 public:
  PlatformStartGuard() { g_toolkitMessages = qInstallMessageHandler(EndWithoutDisplayOnFatal); }
  ~PlatformStartGuard() { qInstallMessageHandler(g_toolkitMessages); }
  PlatformStartGuard(const PlatformStartGuard&) = delete;
  PlatformStartGuard& operator=(const PlatformStartGuard&) = delete;
};

}  // namespace

void RunMainWindow(AppSession& session, const StartedProgram& program) {
  WindowServices services;
  services.writeHistory = WriteUserHistory;
  MainWindow window(session, std::move(services));
  // The hidden corner clicks open the maintenance dialogs on the window's current entry.
  window.SetMaintenanceDialogs(
      {[&](int entry) { return tools::ExecAdvancedSettingsDialog(&window, session.folder, entry); },
       [&] { return tools::ExecSettingDialog(&window, session.folder); }});
  window.SetColourModeChange([&](QWidget* parent, int activeEntry) {
    MainWindowController& controller = window.controller();
    PrinterQueries queries = controller.Queries();
    return ChangeColourMode(session, activeEntry, controller.TargetModel(),
                            controller.Entry().noBusyCheckAtStartup, queries,
                            ColourModeDialogOver(parent));
  });
  // The window shows first; the configuration and the printer are looked at once it is
  // on screen, so a slow printer or print system delays the status, not the window.
  QTimer::singleShot(0, &window, [&] {
    (void)window.Initialise(program.programFolder, &platform::OpenUsbPrinterMonitor);
  });
  // A stop signal closes the window, once any update under way has ended.
  std::unique_ptr<QSocketNotifier> stopSignal;
  if (platform::StopSignalDescriptor() >= 0) {
    stopSignal =
        std::make_unique<QSocketNotifier>(platform::StopSignalDescriptor(), QSocketNotifier::Read);
    QObject::connect(stopSignal.get(), &QSocketNotifier::activated, &window, [&] {
      stopSignal->setEnabled(false);
      if (window.controller().OnStopRequested()) window.done(QDialog::Rejected);
    });
  }
  window.exec();
}

void RunInteractiveMode(AppSession& session, const StartedProgram& program, int& argc,
                        char** argv) {
  std::optional<QApplication> application;
  {
    const PlatformStartGuard guard;
    application.emplace(argc, argv);
  }
  // A platform that started without a screen (a frame buffer it could not open) cannot
  // show a window either.
  if (QGuiApplication::primaryScreen() == nullptr) {
    std::fputs(kNoDisplayText, stderr);
    std::fflush(stderr);
    // As on a fatal start: the half-started platform is not taken down.
    ::_exit(1);
  }
  QApplication::setWindowIcon(KilnIcon());
  StartedProgram started = program;
  started.programFolder = ChooseInteractiveFolder(
      program.programFolder, !program.commandLine.extensions.dir.empty(), &AskFirmwareFolder);
  RunMainWindow(session, started);
}

}  // namespace kiln::app
