#include "usb/usb_link.h"

#include "platform/lp_pipe.h"
#include "usb/io_right.h"
#include "usb/printer_node_source.h"

namespace kiln::usb {

namespace {
constexpr uint32_t kChunk = 0x40000;        // 256 KiB
constexpr uint32_t kWin2000Chunk = 0x1000;  // 4 KiB
}  // namespace

LinkServices LinkServices::Default() {
  return LinkServices{&platform::SystemProbes(), &platform::SystemPipeOpener(),
                      &SystemPrinterNodes(), &platform::SystemClock()};
}

CUsbLink::CUsbLink() : CUsbLink(LinkServices::Default()) {
  log_.OpenFromEnvironment();
}

CUsbLink::CUsbLink(const LinkServices& services)
    : services_(services),
      osVersion_(services.probes->GetOsVersionCode()),
      ioRight_(std::make_unique<IoRight>()),
      chunk_(osVersion_ == platform::kOsWin2000 ? kWin2000Chunk : kChunk) {}

CUsbLink::~CUsbLink() {
  CloseIOChannel();
}

OpenResult CUsbLink::OpenPipes() {
  struct PipeToOpen {
    LinkPipe* pipe;
    uint8_t bit;
    const char* suffix;  // before Windows 2000 each pipe is its own file below the path
  };
  const PipeToOpen pipes[] = {{&m_hPipeR, kPipeRead, "\\PIPE00"},
                              {&m_hPipeW, kPipeWrite, "\\PIPE01"},
                              {&m_hPipeS, kPipeStatus, "\\PIPE02"}};
  uint8_t opened = 0;
  for (const PipeToOpen& entry : pipes) {
    if ((pipeMask_ & entry.bit) == 0) continue;
    entry.pipe->Close();
    FixedText<260> path = devicePath_.view();
    if (osVersion_ < platform::kOsWin2000) path.Append(entry.suffix);
    entry.pipe->Open(services_.pipes->Open(path.c_str()));
    if (entry.pipe->IsOpen()) opened |= entry.bit;
  }
  if (opened == pipeMask_) {
    open_ = true;
    return kOpenOk;
  }
  CloseIOChannel();
  return opened != 0 ? kOpenSomePipes : kOpenNoPipe;
}

bool CUsbLink::IsChannelOpen() const {
  return open_;
}

void CUsbLink::CloseIOChannel() {
  open_ = false;
  m_hPipeR.Close();
  m_hPipeW.Close();
  m_hPipeS.Close();
  ioRight_->Close();
}

void CUsbLink::Finish() {
  log_.LogClose([this] { CloseIOChannel(); });
}

void CUsbLink::CancelPipes() {
  m_hPipeR.Cancel();
  m_hPipeW.Cancel();
  m_hPipeS.Cancel();
}

uint32_t CUsbLink::SetIORight() {
  return ioRight_->Set(devicePath_.view(), osVersion_);
}

bool CUsbLink::WaitIORight() {
  return ioRight_->Wait();
}

bool CUsbLink::ReleaseIORight() {
  ioRight_->Release();
  return true;
}

}  // namespace kiln::usb
