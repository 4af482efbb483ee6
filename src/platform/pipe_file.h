#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/usb_printer_nodes.h"

namespace kiln::platform {

// How one bulk transfer on a printer's pipe ended. Each pipe implementation translates
// its own operating system's errors into these at its own boundary (the lp node does so
// from errno in one place); the link decides from them alone.
enum class PipeStatus : uint8_t {
  kDone,       // the transfer finished; `bytes` moved (fewer than asked only where noted)
  kTimedOut,   // the time-out ended it before it finished
  kGone,       // the printer left USB, or the node no longer answers (hang-up)
  kDataError,  // the bus garbled the transfer (CRC, bit-stuffing, babble)
  kRefused,    // the node does not take this kind of transfer at all
  kFailed,     // any other failure; `error` tells which
};

// The one result of a transfer. `bytes` counts what moved, also when the transfer did not
// finish; `error` is the operating system's own error number behind a failure (errno on
// Linux), 0 when there is none, and is meant for trace lines only.
struct PipeResult {
  PipeStatus status = PipeStatus::kDone;
  uint32_t bytes = 0;
  int error = 0;
};

// One open bulk pipe of a printer: the device node on Linux, the in-process virtual
// printer in unit tests. The link owns it; destroying it closes it (nodes shared by
// several pipes close with the last of them).
class PipeFile {
 public:
  virtual ~PipeFile() = default;
  // Moves at most len bytes to the printer, waiting at most timeoutMs (0: no limit).
  // kDone once every byte reached the printer (a pipe that cannot tell may report fewer;
  // the link writes the rest again); kTimedOut when the time ran out first, in which case
  // some of the data may have moved and the pipe must not be used again.
  virtual PipeResult Write(const uint8_t* data, uint32_t len, uint32_t timeoutMs) = 0;
  // Reads what the printer sends, at most len bytes, waiting at most timeoutMs (0: no
  // limit) for the first of them. kDone with what arrived, which may be fewer than len and
  // 0 for a zero-length packet; kTimedOut when nothing arrived in time.
  virtual PipeResult Read(uint8_t* data, uint32_t len, uint32_t timeoutMs) = 0;
  // Abandons whatever the pipe still has under way; the pipe stays open.
  virtual void Cancel() = 0;
  // The number that stands for this pipe in trace lines (the file descriptor on Linux);
  // never 0, which the traces use for "no pipe".
  virtual int TraceHandle() const { return 1; }
};

// Why an open found the printer but did not take it.
struct OpenRefusal {
  enum class Kind : uint8_t {
    kNone,      // nothing known: the printer was not found, or the open worked
    kInUse,     // another program holds it (the node is open, the interface claimed)
    kNoAccess,  // the user may not open its node
    kOther,     // a driver holds it, or it has no usable printer interface
  };
  Kind kind = Kind::kNone;
  // For the user and the trace: what stands in the way and, where known, who holds it
  // or what grants access. Empty with kNone.
  std::string text;
};

// Opens a pipe by device path (read-write); nullptr when it cannot be opened.
class PipeOpener {
 public:
  virtual ~PipeOpener() = default;
  virtual std::unique_ptr<PipeFile> Open(const char* devicePath) = 0;
  // Opens a pipe to a printer as discovery found it, over the transport discovery chose
  // for it. Openers that reach printers by path alone open its node.
  virtual std::unique_ptr<PipeFile> OpenPrinter(const UsbPrinterNode& printer) {
    return Open(printer.node.c_str());
  }
  // Why the last open on this thread found the printer but did not take it (held by a
  // driver or another program, no access); kNone when nothing is known.
  virtual OpenRefusal LastRefusal() const { return {}; }
};

}  // namespace kiln::platform
