#pragma once

// The transport object through which every byte reaches a printer: it finds the
// printer (device discovery), owns its bulk pipes, moves buffers in chunks with
// per-chunk time-outs and write retries, and holds the inter-process I/O right that
// serialises command transactions on one printer. One link per printer task.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "log/debug_log.h"
#include "platform/clock.h"
#include "platform/fixed_text.h"
#include "platform/os_probes.h"
#include "platform/pipe_file.h"
#include "platform/usb_printer_nodes.h"
#include "usb/command_channel.h"
#include "usb/link_pipe.h"
#include "usb/result_code.h"

namespace kiln::usb {

class PrinterNodeSource;  // the printer nodes there are (libudev on Linux; a double in tests)
class IoRight;            // the pair of inter-process locks derived from the device path

// Channel-opening results, with the numbers the trace prints.
enum class OpenResult : uint32_t {
  kOk = 0,                 // every requested pipe is open
  kSomePipes = 1,          // some of the requested pipes are open
  kNoPipe = 2,             // the device is there, no pipe opened
  kNotActive = 0x111,      // no printer at that place in the list, or its node is missing
  kNoDevice = 0x11111111,  // no such model or instance
};
inline constexpr OpenResult kOpenOk = OpenResult::kOk;
inline constexpr OpenResult kOpenSomePipes = OpenResult::kSomePipes;
inline constexpr OpenResult kOpenNoPipe = OpenResult::kNoPipe;
inline constexpr OpenResult kOpenNotActive = OpenResult::kNotActive;
inline constexpr OpenResult kOpenNoDevice = OpenResult::kNoDevice;

// Enumeration mode flags. With kEnumByVidPid the model's printers are the nodes with its
// VID/PID; without it every printer node counts, and the link takes the model of the
// printer found from its product ID (when a model has it). kEnumByPort alone selects the
// node numbered instance index - 1.
// kEnumPresent changes nothing but the number the trace shows.
inline constexpr uint32_t kEnumPresent = 0x02;
inline constexpr uint32_t kEnumByVidPid = 0x100;
inline constexpr uint32_t kEnumByPort = 0x200;
inline constexpr uint32_t kEnumDefault = kEnumByVidPid | kEnumPresent;  // 0x102, every caller

// Pipe mask bits.
inline constexpr uint8_t kPipeRead = 0x01;
inline constexpr uint8_t kPipeWrite = 0x02;
inline constexpr uint8_t kPipeStatus = 0x04;

// The operating-system services a link stands on; production code uses Default().
struct LinkServices {
  // Not consulted by the link itself; kept so that every caller builds its services alike.
  platform::PlatformProbes* probes;
  platform::PipeOpener* pipes;
  PrinterNodeSource* nodes;
  platform::Clock* clock;
  static LinkServices Default();
};

class CUsbLink final : public CommandChannel {
 public:
  CUsbLink();  // Default() services; the debug log switched on from the environment
  explicit CUsbLink(const LinkServices& services);
  ~CUsbLink() override;
  CUsbLink(const CUsbLink&) = delete;
  CUsbLink& operator=(const CUsbLink&) = delete;

  // Discovery and opening.
  OpenResult OpenIOChannel(uint32_t modelSerial, uint32_t instanceIndex,
                           uint32_t enumMode = kEnumDefault,
                           uint8_t pipeMask = kPipeRead | kPipeWrite);
  uint32_t CountDevices(uint32_t modelSerial, uint32_t enumMode = kEnumDefault);
  // The identities of the model's printers present now, in enumeration order: where each
  // is plugged in, or its device path when that is unknown. A printer keeps its identity
  // when it restarts under a new node, so an update that spans restarts addresses each
  // printer by it rather than by its place in the list, which shifts as others come and go.
  std::vector<std::string> PrinterIdentities(uint32_t modelSerial);
  // Opens the printer of the model with that identity (VID/PID enumeration, read and write
  // pipes), found and opened from one listing of the printers: a list that changes
  // meanwhile (another printer restarting) can neither put another printer in its place
  // nor cost a second open. kOpenNoDevice when no printer of the model has it now.
  OpenResult OpenIOChannelTo(uint32_t modelSerial, const std::string& identity);
  OpenResult OpenPipes();
  bool IsChannelOpen() const;
  void CloseIOChannel();
  // Finish: closes the channel, then ends the log.
  void Finish();

  // Transfers.
  ResultCode WriteData(const uint8_t* data, uint32_t count, uint32_t* written) override;
  ResultCode ReadData(uint8_t* data, uint32_t count, uint32_t* read) override;
  void CancelPipes() override;

  // The I/O right around a command transaction.
  bool WaitIORight() override;
  bool ReleaseIORight() override;

  // State the protocol layer and the download read.
  uint32_t modelSerial() const override { return modelSerial_; }
  const char* devicePath() const { return devicePath_.c_str(); }
  // The identity (see PrinterIdentities) of the device last found.
  const std::string& identity() const { return identity_; }
  // How the printer last found is reached: "over usblp /dev/usb/lp0", "over libusb 1-2";
  // empty when none was found.
  std::string transportText() const;
  // Why the last open found the printer but did not take it (another program holds it,
  // the user may not open it, ...); kNone after an open that worked or found nothing.
  const platform::OpenRefusal& refusal() const { return refusal_; }
  // The USB serial number of the device last found; empty when it has none.
  const std::string& serial() const { return serial_; }
  uint32_t readTimeOut() const { return readTimeOut_; }
  uint32_t writeTimeOut() const { return writeTimeOut_; }
  void SetTimeOuts(uint32_t readMs, uint32_t writeMs) {
    readTimeOut_ = readMs;
    writeTimeOut_ = writeMs;
  }
  log::DebugLog& log() override { return log_; }
  platform::Clock& clock() override { return *services_.clock; }

 private:
  LinkServices services_;
  uint32_t modelSerial_ = 0;
  FixedText<260> devicePath_;
  platform::UsbPrinterNode printer_;  // the printer last found, as discovery listed it
  std::string identity_;
  std::string serial_;
  platform::OpenRefusal refusal_;
  uint32_t readTimeOut_ = 5000;
  uint32_t writeTimeOut_ = 5000;
  log::DebugLog log_;

  // Discovery (usb_link_discovery.cpp). Everything one open looks at comes from one
  // listing of the nodes.
  std::vector<platform::UsbPrinterNode> ListNodes(uint32_t modelSerial);
  OpenResult OpenFrom(const std::vector<platform::UsbPrinterNode>& nodes, uint32_t modelSerial,
                      uint32_t instanceIndex, uint32_t enumMode, uint8_t pipeMask);
  void Select(const platform::UsbPrinterNode* node);
  void SetIORight();

  bool open_ = false;
  InPipe readPipe_;
  OutPipe writePipe_;
  InPipe statusPipe_;
  std::unique_ptr<IoRight> ioRight_;
  uint8_t pipeMask_ = kPipeRead | kPipeWrite;
};

}  // namespace kiln::usb
