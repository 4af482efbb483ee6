#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/installed_printers.h"

namespace kiln::platform {

// A printer (print queue) as the spooler lists it.
struct SpoolerQueue {
  std::string name;        // e.g. "Orvix T08" or "\\server\Orvix T08" for a connection
  std::string portName;    // e.g. "USB001"
  std::string driverName;  // the printer driver it uses
  bool paused = false;     // PRINTER_STATUS_PAUSED: starts no job
};

enum class SpoolerLookup : uint8_t {
  kFound,    // the spooler has the queue and told its state
  kGone,     // the spooler has no such queue
  kUnknown,  // the spooler did not answer
};

// The few spooler calls the driver check and the queue hold make, behind an interface so
// that their rules can be tried without a spooler that pauses.
class Spooler {
 public:
  virtual ~Spooler() = default;
  // Every printer of this machine, local ones and connections; nullopt when the spooler
  // does not answer (the service is stopped).
  virtual std::optional<std::vector<SpoolerQueue>> Queues() = 0;
  // Whether the queue is paused right now; *paused is set on kFound.
  virtual SpoolerLookup IsPaused(const std::string& queue, bool* paused) = 0;
  // Pauses or resumes the queue; the Win32 error, ERROR_SUCCESS once it took.
  virtual DWORD Pause(const std::string& queue) = 0;
  virtual DWORD Resume(const std::string& queue) = 0;
};

// The spooler of this machine (EnumPrinters, OpenPrinter, GetPrinter, SetPrinter).
Spooler& SystemSpooler();

// Makes the queue hold and the driver check use this spooler instead of the system's;
// nullptr goes back to the system's. For tests.
void UseSpooler(Spooler* spooler);

// The spooler in use: the one set with UseSpooler, else the system's.
Spooler& CurrentSpooler();

// Whether two driver or queue names are the same without regard to case, as Windows
// compares them (ordinal, every script's letters folded).
bool SameNameIgnoringCase(const std::string& a, const std::string& b);

// The driver check on a spooler: the printers whose driver has the name.
class SpoolerInstalledPrinters final : public InstalledPrinters {
 public:
  explicit SpoolerInstalledPrinters(Spooler& spooler) : spooler_(spooler) {}
  uint32_t CountInstalledPrinters(const char* driverName) override;

 private:
  Spooler& spooler_;
};

}  // namespace kiln::platform
