#include "usb/usb_link.h"

#include "platform/printer_pipes.h"
#include "usb/io_right.h"
#include "usb/printer_node_source.h"
#include "usb/transport_text.h"

namespace kiln::usb {

LinkServices LinkServices::Default() {
  return LinkServices{&platform::SystemProbes(), &platform::SystemPrinterPipes(),
                      &SystemPrinterNodes(), &platform::SystemClock()};
}

CUsbLink::CUsbLink() : CUsbLink(LinkServices::Default()) {
  log_.OpenFromEnvironment();
}

CUsbLink::CUsbLink(const LinkServices& services)
    : services_(services), ioRight_(std::make_unique<IoRight>()) {}

CUsbLink::~CUsbLink() {
  CloseIOChannel();
}

OpenResult CUsbLink::OpenPipes() {
  struct PipeToOpen {
    LinkPipe* pipe;
    uint8_t bit;
  };
  // Every pipe is a pipe of the one printer, over the transport chosen for it.
  log_.LogPrint(2, "CUsbLink::OpenPipes, printer %s\n", TransportText(printer_).c_str());
  const PipeToOpen pipes[] = {
      {&readPipe_, kPipeRead}, {&writePipe_, kPipeWrite}, {&statusPipe_, kPipeStatus}};
  uint8_t opened = 0;
  for (const PipeToOpen& entry : pipes) {
    if ((pipeMask_ & entry.bit) == 0) continue;
    entry.pipe->Close();
    entry.pipe->Open(services_.pipes->OpenPrinter(printer_));
    if (entry.pipe->IsOpen()) opened |= entry.bit;
  }
  if (opened == pipeMask_) {
    open_ = true;
    return kOpenOk;
  }
  refusal_ = services_.pipes->LastRefusal();
  if (!refusal_.text.empty()) {
    log_.LogPrint(1, "CUsbLink::OpenPipes, printer %s: %s\n", identity_.c_str(),
                  refusal_.text.c_str());
  }
  CloseIOChannel();
  return opened != 0 ? kOpenSomePipes : kOpenNoPipe;
}

bool CUsbLink::IsChannelOpen() const {
  return open_;
}

void CUsbLink::CloseIOChannel() {
  open_ = false;
  readPipe_.Close();
  writePipe_.Close();
  statusPipe_.Close();
  ioRight_->Close();
}

void CUsbLink::Finish() {
  log_.LogClose([this] { CloseIOChannel(); });
}

void CUsbLink::CancelPipes() {
  readPipe_.Cancel();
  writePipe_.Cancel();
  statusPipe_.Cancel();
}

void CUsbLink::SetIORight() {
  // A right that cannot be set up leaves transactions unguarded.
  (void)ioRight_->Set(devicePath_.view());
}

bool CUsbLink::WaitIORight() {
  return ioRight_->Wait();
}

bool CUsbLink::ReleaseIORight() {
  ioRight_->Release();
  return true;
}

}  // namespace kiln::usb
