#include "app/version_report_mode.h"

#include "app/mode_configuration.h"
#include "app/printer_queries.h"
#include "app/version_text.h"
#include "models/model_table.h"
#include "protocol/printer_survey.h"

namespace kiln::app {

void ReportVersions(AppSession& session, std::string_view programFolder,
                    const CommandLineOptions& options, ReportSink& reports,
                    const usb::LinkFactory& makeLink, ModeRecord* record) {
  ModeRecord unused;
  ModeRecord& noted = record != nullptr ? *record : unused;
  noted = ModeRecord{};
  noted.mode = "version-report";
  uint32_t packageValue = 0;
  uint32_t deviceValue = 0;
  const ModeConfiguration read = ReadModeConfiguration(session, programFolder);
  if (read.state == ConfigurationState::kReady) {
    const config::Package& package = read.package;
    packageValue = PackVersion(package.version);
    noted.package = PackageRecord(package);
    if (options.checkDeviceVersion) {
      PrinterState printer;
      printer.largeModel = models::IsLargeModel(package.targetModel);
      PrinterQueries queries(printer, nullptr, makeLink);
      // A version that cannot be read reports 0, never a text left from an earlier read.
      if (queries.ProbeConnection(package.targetModel)) {
        if (queries.QueryDeviceVersion()) deviceValue = PackVersion(printer.deviceVersion);
        if (record != nullptr) {
          noted.printers =
              protocol::SurveyPrinters(makeLink, printer.connectedModel, printer.largeModel);
        }
      }
    }
  }
  noted.result = deviceValue != 0    ? "package and printer versions read"
                 : packageValue != 0 ? "package version read"
                                     : "nothing read";
  noted.reports = {{report::kPackageVersion, packageValue}, {report::kDeviceVersion, deviceValue}};
  for (std::size_t i = 0; i < noted.reports.size(); ++i) {
    if (!reports.Report(noted.reports[i].first, noted.reports[i].second)) {
      noted.undelivered.push_back(i);
    }
  }
}

}  // namespace kiln::app
