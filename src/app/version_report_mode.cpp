#include "app/version_report_mode.h"

#include "app/mode_configuration.h"
#include "app/printer_queries.h"
#include "app/version_text.h"

namespace kiln::app {

void ReportVersions(AppSession& session, std::string_view programFolder,
                    const CommandLineOptions& options, ReportSink& reports,
                    const usb::LinkFactory& makeLink) {
  UpdateContext& context = session.context;
  uint32_t packageValue = 0;
  uint32_t deviceValue = 0;
  if (ReadModeConfiguration(session, programFolder) == ConfigurationState::kReady) {
    packageValue = PackVersion(context.packageVersion);
    if (options.checkDeviceVersion) {
      PrinterQueries queries(context, nullptr, makeLink);
      // A version that cannot be read reports 0, never a text left from an earlier read.
      if (queries.ProbeConnection(context.targetModel) && queries.QueryDeviceVersion()) {
        deviceValue = PackVersion(context.deviceVersion);
      }
    }
  }
  reports.Report(report::kPackageVersion, packageValue);
  reports.Report(report::kDeviceVersion, deviceValue);
}

}  // namespace kiln::app
