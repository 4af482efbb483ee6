#include "platform/windows/spooler.h"

#include <winspool.h>

#include <atomic>
#include <memory>

#include "platform/windows/wide_text.h"

namespace kiln::platform {

namespace {

struct PrinterCloser {
  void operator()(HANDLE printer) const { ::ClosePrinter(printer); }
};
using PrinterHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, PrinterCloser>;

// The spooler leaves fields it does not know null.
std::string Text(const wchar_t* text) {
  return text != nullptr ? windows::Utf8(text) : std::string();
}

// Opens a queue with the access asked for; null with the Win32 error in *error.
PrinterHandle OpenQueue(const std::string& queue, ACCESS_MASK access, DWORD* error) {
  std::wstring name = windows::Wide(queue);
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, access};
  HANDLE printer = nullptr;
  if (name.empty() || !::OpenPrinterW(name.data(), &printer, &defaults)) {
    *error = name.empty() ? ERROR_INVALID_PRINTER_NAME : ::GetLastError();
    return nullptr;
  }
  *error = ERROR_SUCCESS;
  return PrinterHandle(printer);
}

class WindowsSpooler final : public Spooler {
 public:
  std::optional<std::vector<SpoolerQueue>> Queues() override {
    const DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
    DWORD needed = 0;
    DWORD count = 0;
    std::vector<uint64_t> storage;  // aligned for the PRINTER_INFO_2W records
    // The list may grow between asking its size and reading it: ask again then.
    for (int attempt = 0; attempt < 3; ++attempt) {
      auto* buffer = reinterpret_cast<LPBYTE>(storage.data());
      const DWORD size = static_cast<DWORD>(storage.size() * sizeof(uint64_t));
      if (::EnumPrintersW(flags, nullptr, 2, buffer, size, &needed, &count)) {
        return ToQueues(reinterpret_cast<const PRINTER_INFO_2W*>(buffer), count);
      }
      if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::nullopt;
      storage.assign(needed / sizeof(uint64_t) + 1, 0);
    }
    return std::nullopt;
  }

  SpoolerLookup IsPaused(const std::string& queue, bool* paused) override {
    DWORD error = ERROR_SUCCESS;
    const PrinterHandle printer = OpenQueue(queue, PRINTER_ACCESS_USE, &error);
    if (!printer) {
      return error == ERROR_INVALID_PRINTER_NAME ? SpoolerLookup::kGone : SpoolerLookup::kUnknown;
    }
    DWORD needed = 0;
    ::GetPrinterW(printer.get(), 2, nullptr, 0, &needed);
    if (needed < sizeof(PRINTER_INFO_2W)) return SpoolerLookup::kUnknown;
    std::vector<uint64_t> storage(needed / sizeof(uint64_t) + 1, 0);
    auto* buffer = reinterpret_cast<LPBYTE>(storage.data());
    if (!::GetPrinterW(printer.get(), 2, buffer, needed, &needed)) return SpoolerLookup::kUnknown;
    *paused =
        (reinterpret_cast<const PRINTER_INFO_2W*>(buffer)->Status & PRINTER_STATUS_PAUSED) != 0;
    return SpoolerLookup::kFound;
  }

  DWORD Pause(const std::string& queue) override { return Control(queue, PRINTER_CONTROL_PAUSE); }
  DWORD Resume(const std::string& queue) override { return Control(queue, PRINTER_CONTROL_RESUME); }

 private:
  static std::vector<SpoolerQueue> ToQueues(const PRINTER_INFO_2W* printers, DWORD count) {
    std::vector<SpoolerQueue> queues;
    for (DWORD i = 0; i < count; ++i) {
      queues.push_back({Text(printers[i].pPrinterName), Text(printers[i].pPortName),
                        Text(printers[i].pDriverName),
                        (printers[i].Status & PRINTER_STATUS_PAUSED) != 0});
    }
    return queues;
  }

  // Pausing and resuming need the right to administer the printer.
  static DWORD Control(const std::string& queue, DWORD command) {
    DWORD error = ERROR_SUCCESS;
    const PrinterHandle printer = OpenQueue(queue, PRINTER_ACCESS_ADMINISTER, &error);
    if (!printer) return error;
    return ::SetPrinterW(printer.get(), 0, nullptr, command) ? ERROR_SUCCESS : ::GetLastError();
  }
};

std::atomic<Spooler*> g_spooler{nullptr};

}  // namespace

Spooler& SystemSpooler() {
  static WindowsSpooler spooler;
  return spooler;
}

void UseSpooler(Spooler* spooler) {
  g_spooler.store(spooler);
}

Spooler& CurrentSpooler() {
  Spooler* spooler = g_spooler.load();
  return spooler != nullptr ? *spooler : SystemSpooler();
}

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
  const std::wstring wideA = windows::Wide(a);
  const std::wstring wideB = windows::Wide(b);
  if (wideA.empty() || wideB.empty()) return a.empty() && b.empty();
  return ::CompareStringOrdinal(wideA.data(), static_cast<int>(wideA.size()), wideB.data(),
                                static_cast<int>(wideB.size()), TRUE) == CSTR_EQUAL;
}

uint32_t SpoolerInstalledPrinters::CountInstalledPrinters(const char* driverName) {
  if (driverName == nullptr || *driverName == '\0') return 0;
  const std::optional<std::vector<SpoolerQueue>> queues = spooler_.Queues();
  if (!queues) return 0;
  uint32_t matching = 0;
  for (const SpoolerQueue& queue : *queues) {
    if (SameNameIgnoringCase(queue.driverName, driverName)) ++matching;
  }
  return matching;
}

InstalledPrinters& SystemInstalledPrinters() {
  // The driver check follows UseSpooler, so that it can be tried on a stand-in too.
  class CurrentSpoolerPrinters final : public InstalledPrinters {
   public:
    uint32_t CountInstalledPrinters(const char* driverName) override {
      return SpoolerInstalledPrinters(CurrentSpooler()).CountInstalledPrinters(driverName);
    }
  };
  static CurrentSpoolerPrinters printers;
  return printers;
}

}  // namespace kiln::platform
