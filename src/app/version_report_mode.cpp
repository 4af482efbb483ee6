#include "app/version_report_mode.h"

#include "app/mode_configuration.h"
#include "app/printer_queries.h"
#include "app/sha256.h"
#include "app/version_text.h"
#include "protocol/printer_survey.h"

namespace kiln::app {

void ReportVersions(AppSession& session, std::string_view programFolder,
                    const CommandLineOptions& options, ReportSink& reports,
                    const usb::LinkFactory& makeLink, ModeRecord* record) {
  UpdateContext& context = session.context;
  ModeRecord unused;
  ModeRecord& noted = record != nullptr ? *record : unused;
  noted = ModeRecord{};
  noted.mode = "version-report";
  uint32_t packageValue = 0;
  uint32_t deviceValue = 0;
  config::PackageFiles files;
  if (ReadModeConfiguration(session, programFolder, record != nullptr ? &files : nullptr) ==
      ConfigurationState::kReady) {
    packageValue = PackVersion(context.packageVersion);
    noted.package = ModeRecord::Package{
        context.firmwarePath.c_str(), context.targetModel, context.packageVersion.c_str(),
        files.firmware.readable() ? Sha256Hex(*files.firmware.bytes) : std::string()};
    if (options.checkDeviceVersion) {
      PrinterQueries queries(context.printer, nullptr, makeLink);
      // A version that cannot be read reports 0, never a text left from an earlier read.
      if (queries.ProbeConnection(context.targetModel)) {
        if (queries.QueryDeviceVersion()) deviceValue = PackVersion(context.printer.deviceVersion);
        if (record != nullptr) {
          noted.printers = protocol::SurveyPrinters(makeLink, context.printer.connectedModel,
                                                    context.printer.largeModel);
        }
      }
    }
  }
  noted.result = deviceValue != 0    ? "package and printer versions read"
                 : packageValue != 0 ? "package version read"
                                     : "nothing read";
  noted.reports = {{report::kPackageVersion, packageValue}, {report::kDeviceVersion, deviceValue}};
  reports.Report(report::kPackageVersion, packageValue);
  reports.Report(report::kDeviceVersion, deviceValue);
}

}  // namespace kiln::app
