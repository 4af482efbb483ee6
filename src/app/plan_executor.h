#pragma once

#include <optional>
#include <string>

#include "app/mode_record.h"
#include "app/printer_queries.h"
#include "app/update_plan.h"
#include "app/version_text.h"
#include "platform/clock.h"
#include "protocol/download_observer.h"
#include "protocol/firmware_download.h"
#include "protocol/update_queue_hold.h"
#include "usb/link_factory.h"

namespace kiln::app {

// What the mode that runs a plan makes of its course: the window shows texts, the silent
// update writes progress lines. Called on the thread that runs the plan, in this order:
// for each step OnStepStarts, OnStepEnded, then (after a step that succeeded) OnWaitSecond
// once per second of its visible wait; OnStopped when a stop ends the update early;
// OnHistoryNotWritten last.
class PlanEvents {
 public:
  virtual ~PlanEvents() = default;
  // A step's download begins.
  virtual void OnStepStarts(const PlanStep& step) = 0;
  // A step's download has ended; result says what became of each printer and why it failed.
  virtual void OnStepEnded(const PlanStep& step, const protocol::FlashResult& result) = 0;
  // One second of the wait shown after a step: left counts down to 1.
  virtual void OnWaitSecond(int /*left*/) {}
  // A stop was asked for: the step it came in has ended, and nothing more is sent.
  virtual void OnStopped() {}
  // The update history could not be written; reason says why. The update's result stands.
  virtual void OnHistoryNotWritten(const std::string& reason) = 0;
  // Where the version read again after the update is shown; none when it is not shown.
  virtual VersionDisplay* VersionShownOn() { return nullptr; }
};

// What a plan runs against.
struct PlanServices {
  usb::LinkFactory links = usb::DefaultLinkFactory();
  platform::Clock* clock = &platform::SystemClock();
  // The stop signal received so far (platform::StopRequested); none: never stopped.
  protocol::StopRequest stopRequested;
  protocol::QueueHolder holdQueues = protocol::SystemQueueHolder();
  // Records the update's printers once it has ended; none: nothing is recorded.
  HistoryWriter writeHistory;
};

// One plan to run, with what the mode has found before it.
struct PlanRun {
  const UpdatePlan& plan;
  // The mode's record so far (mode, package, a survey of the printers): the steps'
  // outcomes are merged into it.
  ModeRecord record;
  // The printer as the mode found it: the version read again after the update is its own.
  PrinterState printer;
};

// What running a plan did.
struct PlanOutcome {
  bool firmwareWritten = false;  // the normal firmware's download succeeded
  bool stopped = false;          // a stop ended the update before all of it was done
  // The printer's version read again after the update; none when it was not read.
  std::optional<VersionText> deviceVersion;
  ModeRecord record;  // the run's record, as written to the history
};

// Runs a plan's steps, in order, against the printers: each step's download, a stop
// checked before each step and (inside the download) before each printer's transfer, the
// visible wait after a step, the version read again at the end when the plan asks for it.
// A failed step that ends the update ends it; a stop lets the step under way end, with its
// printers counted down and checked, and starts nothing more. Each step's outcome per
// printer is merged into the record, and the printers a download began for are written to
// the history once, when the update has ended. Rules that differ by mode are the plan's.
class PlanExecutor {
 public:
  explicit PlanExecutor(PlanServices services);
  // observer gets the downloads' own notifications (count-down, printer errors, warnings).
  PlanOutcome Run(PlanRun run, PlanEvents& events, DownloadObserver* observer) const;

 private:
  bool StopRequested() const;
  // The wait shown after a step, a second at a time; a stop cuts it short.
  void WaitVisibly(int seconds, PlanEvents& events) const;
  std::optional<VersionText> RereadVersion(const PlanRun& run, PlanEvents& events) const;
  void WriteHistory(const ModeRecord& record, PlanEvents& events) const;

  PlanServices services_;
};

}  // namespace kiln::app
