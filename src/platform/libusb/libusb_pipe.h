#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/pipe_file.h"

namespace kiln::platform {

// How one libusb transfer ended: the error of the call that started or drove it
// (LIBUSB_SUCCESS when both worked), the status the transfer completed with
// (LIBUSB_TRANSFER_COMPLETED when it ran to its end, or did not run) and the bytes it moved.
struct LibusbOutcome {
  int error = 0;
  int status = 0;
  uint32_t bytes = 0;
};

// The PipeResult of a libusb transfer. Every libusb error and transfer status is
// translated here and nowhere else:
//   - completed: kDone with the bytes moved;
//   - time-out (LIBUSB_ERROR_TIMEOUT, LIBUSB_TRANSFER_TIMED_OUT): kTimedOut;
//   - the device left (LIBUSB_ERROR_NO_DEVICE, LIBUSB_TRANSFER_NO_DEVICE): kGone;
//   - the bus garbled it (LIBUSB_ERROR_IO, LIBUSB_TRANSFER_ERROR) or the device sent more
//     than asked (LIBUSB_ERROR_OVERFLOW, LIBUSB_TRANSFER_OVERFLOW): kDataError;
//   - a request the device or system does not take (LIBUSB_ERROR_INVALID_PARAM,
//     LIBUSB_ERROR_NOT_SUPPORTED): kRefused;
//   - a stall (LIBUSB_ERROR_PIPE, LIBUSB_TRANSFER_STALL) that clearing the halt did not
//     cure, a cancelled transfer and every other error: kFailed.
// The call error wins over the status. `error` carries the errno that stands for the
// libusb result (ENODEV, ETIMEDOUT, EPIPE...), so that trace lines read alike on both
// transports; `bytes` is the bytes moved also when the transfer did not finish.
PipeResult PipeResultFromLibusb(const LibusbOutcome& outcome);

// Whether the endpoint stalled.
bool IsStall(const LibusbOutcome& outcome);

// Runs a transfer; when its endpoint stalls, clears the halt once and, when nothing had
// moved, runs the transfer once more. A stall after some bytes moved ends as done with
// those bytes (the caller sends the rest again); a second stall, or a halt that cannot
// be cleared, fails. run() returns a LibusbOutcome, clearHalt() a libusb error.
template <typename Run, typename ClearHalt>
PipeResult RunClearingStallOnce(Run&& run, ClearHalt&& clearHalt) {
  LibusbOutcome outcome = run();
  if (IsStall(outcome)) {
    const int cleared = clearHalt();
    if (cleared != 0) {
      // A device gone while clearing is gone; any other failure leaves the stall.
      if (PipeResultFromLibusb({cleared, 0, 0}).status == PipeStatus::kGone) {
        outcome.error = cleared;
      }
    } else if (outcome.bytes == 0) {
      outcome = run();
    } else {
      outcome = LibusbOutcome{0, 0, outcome.bytes};
    }
  }
  return PipeResultFromLibusb(outcome);
}

// The bus and port numbers of a udev port path, as libusb names a device's place: "1-2.3"
// is bus 1, ports {2, 3}. False for any other text (no bus, an empty or zero port, a port
// above 255, a stray character), and then the outputs mean nothing.
bool ParsePortPath(const std::string& portPath, int* bus, std::vector<uint8_t>* ports);

// Opens printers over libusb: the device at the printer's port path, its printer-class
// interface claimed, a pipe per bulk endpoint direction (Write on bulk OUT, Read on bulk
// IN). Pipes opened on one printer share the open device; the interface is released and
// the device closed with the last of them. A printer whose interface a kernel driver
// (usblp) holds is never taken from it, and one that another program has claimed is not
// touched: both open nothing and LastRefusal() says why. Open(path) accepts the device
// node (/dev/bus/usb/BBB/DDD) and finds the device by bus number and address.
PipeOpener& LibusbPipeOpener();

}  // namespace kiln::platform
