#pragma once

#include <string_view>

#include "app/app_session.h"
#include "app/command_line.h"
#include "app/mode_record.h"
#include "app/report_sink.h"
#include "usb/link_factory.h"

namespace kiln::app {

// The version report: reports the package's packed version (102) and, when the
// printer's version was asked for and could be read, the printer's (103; else 0). With a
// record (--json), also notes the package and the reports, and when the printer's version
// was asked for, every printer of the model with the version it reports.
void ReportVersions(AppSession& session, std::string_view programFolder,
                    const CommandLineOptions& options, ReportSink& reports,
                    const usb::LinkFactory& makeLink, ModeRecord* record = nullptr);

}  // namespace kiln::app
