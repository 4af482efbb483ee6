#include "i18n/error_catalogue.h"

#include <array>
#include <cstddef>
#include <iterator>

#include "models/model_table.h"

namespace kiln::i18n {

namespace {

// Every catalogue opens with the link and host-side rows, in this order.
constexpr ErrorRow kSharedRows[29] = {
    {0x00000013, "Write pointer is invalid."},
    {0x00000014, "Write Pipe is invalid."},
    {0x00000015, "WriteFile function error."},
    {0x00000016, "WriteFile time out."},
    {0x00000017, "Printer has no response."},
    {0x00000018, "Printer has no response."},
    {0x00000019, "Output data CRC error."},
    {0x0000001A, "Printer has no response."},
    {0x00000021, "Read header error."},
    {0x00000022, "Read length error."},
    {0x00000023, "Read pointer is invalid."},
    {0x00000024, "Read Pipe is invalid."},
    {0x00000025, "ReadFile function error."},
    {0x00000026, "ReadFile time out."},
    {0x00000027, "Printer has no response."},
    {0x00000028, "Printer has no response."},
    {0x00000029, "Printer response data CRC error."},
    {0x0000002A, "Printer has no response."},
    {0x00000042, "Read/Write pipe has been closed!"},
    {0x00000061, "Kernel error."},
    {0x0000274D, "Connection refused."},
    {0x00000080, "Printer is off-line!!"},
    {0x11000002, "Data format error!"},
    {0x11000003, "Not support to query paper cassette type."},
    {0x11000004, "The track data has wrong character."},
    {0x11000005, "Connect magnetic stripe encoding module fail!"},
    {0x11000006, "Encoding magnetic stripe fail!"},
    {0x11000007, "Memory is not enough!!"},
    {0x11000008, "System resource is insufficient to print this page."},
};

// Photo printers (models 1 to 18): the rows after the shared ones.
constexpr ErrorRow kPhotoRows[39] = {
    {0x000100FE, "Paper type mismatch!"},
    {0x000300FE, "Printing system encountered buffer under run."},
    {0x000301FE, "Command sequence error."},
    {0x00030001, "SRAM error!"},
    {0x00030101, "SDRAM error!"},
    {0x00030201, "ADC error!"},
    {0x00030301, "NVRAM error!"},
    {0x00030302, "Firmware code check sum error!"},
    {0x00030402, "DSP code check sum error!"},
    {0x00030501, "Cam Platen error!"},
    {0x00030601, "Adf Cam error!"},
    {0x00030701, "Firmware write error!"},
    {0x00030802, "Heating table check sum error!"},
    {0x00050001, "Cover open/Ribbon cassette door open!"},
    {0x00050101, "Cover open/Ribbon cassette door open!"},
    {0x00080004, "Ribbon missing!"},
    {0x00080103, "Out of ribbon!"},
    {0x000802FE, "Ribbon error!"},
    {0x000803FE, "Ribbon is not authenticated yet."},
    {0x000804FE, "Ribbon IC R/W error."},
    {0x000806FE, "Unsupported ribbon."},
    {0x000808FE, "Unknown ribbon."},
    {0x00030000, "Paper Jam!"},
    {0x00008000, "Paper out or feeding error."},
    {0x00008008, "Tray missing!"},
    {0x00000008, "Tray missing!"},
    {0x00008010, "Paper tray mismatch!"},
    {0x00008011, "Paper tray mismatch!"},
    {0x00008012, "Paper tray mismatch!"},
    {0x00008013, "Paper tray mismatch!"},
    {0x00008014, "Paper tray mismatch!"},
    {0x00008015, "Paper tray mismatch!"},
    {0x00080200, "Ribbon type mismatch!"},
    {0x00080201, "Ribbon type mismatch!"},
    {0x00080203, "Ribbon type mismatch!"},
    {0x00007538, "Attention:"},
    {0x00007539, "Printer is at Mobile Mode!"},
    {0x11000001, "Can not execute heating table function"},
    {0x00080104, "Out of ribbon!"},
};

// Dual printers (model 19, models 22 to 36): the rows after the shared ones.
constexpr ErrorRow kDualRows[62] = {
    {0x000100FE, "Paper type mismatch!"},
    {0x000300FE, "Printing system encountered buffer under run."},
    {0x000301FE, "Command sequence error."},
    {0x000302FE, "Nand flash unformatted."},
    {0x000303FE, "Nand flash space is not enough."},
    {0x00030001, "SRAM error!"},
    {0x00030101, "SDRAM error!"},
    {0x00030201, "ADC error!"},
    {0x00030301, "NVRAM R/W error!"},
    {0x00030302, "Check sum error - SDRAM!"},
    {0x00030402, "DSP code check sum error!"},
    {0x00030501, "Cam Platen error!"},
    {0x00030601, "Adf Cam error!"},
    {0x00030701, "Firmware write error!"},
    {0x00030502, "Nvram CRC error!"},
    {0x00030602, "Check sum error - SRAM!"},
    {0x00030702, "Check sum error - FLASH!"},
    {0x00030802, "Check sum error - wrong firmware!"},
    {0x00030901, "ADC error in slave printer!"},
    {0x00030A01, "Cam Platen error in slave printer!"},
    {0x00030B01, "Nvram R/W error in slave printer!"},
    {0x00030C02, "Nvram CRC error in slave printer!"},
    {0x00030D02, "Check sum error in slave printer - SDRAM!"},
    {0x00030E02, "Check sum error in slave printer - SRAM!"},
    {0x00030F02, "Check sum error in slave printer - FLASH!"},
    {0x00031002, "Check sum error in slave printer - wrong firmware!"},
    {0x00031101, "Communication error with slave printer!"},
    {0x00031201, "Nand flash error."},
    {0x00050001, "Cover open/Ribbon cassette door open!"},
    {0x00050101, "Cover open/Ribbon cassette door open!"},
    {0x00080004, "Ribbon missing!"},
    {0x00080103, "Out of ribbon!"},
    {0x00080104, "Out of ribbon!"},
    {0x000802FE, "Ribbon error!"},
    {0x000803FE, "Ribbon is not authenticated yet"},
    {0x00080204, "Ribbon missing in slave printer!"},
    {0x00080303, "Ribbon out in slave printer!"},
    {0x00080007, "Ribbon is just inserted."},
    {0x00080207, "Ribbon is just inserted in slave printer."},
    {0x000804FE, "Ribbon IC R/W error."},
    {0x000805FE, "Ribbon IC R/W error in slave printer."},
    {0x000806FE, "Unsupported ribbon."},
    {0x000807FE, "Unsupported ribbon in slave printer."},
    {0x000808FE, "Unknown ribbon."},
    {0x000809FE, "Unknown ribbon in slave printer."},
    {0x00030000, "Paper Jam!"},
    {0x00030100, "Paper Jam in paper path of slave printer!"},
    {0x00008000, "Paper out or feeding error."},
    {0x10008000, "Paper out or paper low."},
    {0x00008008, "Tray missing!"},
    {0x00000008, "Tray missing!"},
    {0x00008010, "Paper tray mismatch!"},
    {0x00008011, "Paper tray mismatch!"},
    {0x00008012, "Paper tray mismatch!"},
    {0x00008013, "Paper tray mismatch!"},
    {0x00008014, "Paper tray mismatch!"},
    {0x00008015, "Paper tray mismatch!"},
    {0x00080200, "Ribbon type mismatch!"},
    {0x00080201, "Ribbon type mismatch!"},
    {0x00080203, "Ribbon type mismatch!"},
    {0x00007538, "Attention:"},
    {0x00007539, "Printer is at Mobile Mode!"},
};

// Card printers (models 20, 21, 37, 38): the rows after the shared ones.
constexpr ErrorRow kCardRows[55] = {
    {0x000100FE, "Card mismatch."},
    {0x000301FE, "Command sequence error."},
    {0x00030001, "SRAM error!"},
    {0x00030101, "SDRAM error!"},
    {0x00030201, "ADC error!"},
    {0x00030301, "NVRAM R/W error."},
    {0x00030302, "Check sum error - SDRAM."},
    {0x00030701, "Firmware write error."},
    {0x00030502, "Nvram CRC error."},
    {0x00030602, "Check sum error - SRAM."},
    {0x00030702, "Check sum error - FLASH."},
    {0x00030802, "Check sum error - Wrong firmware."},
    {0x00030901, "Cam TPH error."},
    {0x00030A01, "Cam pinch error."},
    {0x00030B01, "Cam Mag error."},
    {0x00040001, "Cam flipper error."},
    {0x00030C01, "Cam TPH error of slave printer."},
    {0x00030D01, "Cam pinch error of slave printer."},
    {0x00030E01, "Cam Mag error of slave printer."},
    {0x00040101, "Cam flipper error of slave printer."},
    {0x00030F02, "ADC error in slave printer."},
    {0x00031001, "Nvram R/W error in slave printer."},
    {0x00031102, "Check sum error in slave printer - SDRAM."},
    {0x00031202, "Nvram CRC error in slave printer."},
    {0x00031302, "Check sum error in slave printer - SRAM."},
    {0x00031402, "Check sum error in slave printer - FLASH."},
    {0x00031502, "Check sum error in slave printer - Wrong firmware."},
    {0x00031601, "Communication error with slave printer."},
    {0x00050001, "Door open."},
    {0x00050201, "Door open in slave printer."},
    {0x00050301, "Rejected box missing."},
    {0x00050401, "Rejected box full."},
    {0x00080004, "Ribbon missing!"},
    {0x00080103, "Out of ribbon!"},
    {0x00080204, "Ribbon missing in slave printer."},
    {0x00080303, "Ribbon out in slave printer."},
    {0x00080007, "Ribbon is just inserted."},
    {0x00080207, "Ribbon is just inserted in slave printer."},
    {0x000804FE, "Ribbon IC R/W error."},
    {0x000805FE, "Ribbon IC R/W error in slave printer."},
    {0x000806FE, "Unsupported ribbon."},
    {0x000807FE, "Unsupported ribbon in slave printer."},
    {0x000808FE, "Unknown ribbon."},
    {0x000809FE, "Unknown ribbon in slave printer."},
    {0x00030000, "Card jam in card path."},
    {0x00040000, "Card jam in flipper."},
    {0x00050000, "Card jam in Rejected Box."},
    {0x00030100, "Card jam in card path of slave printer."},
    {0x00040100, "Card jam in flipper of slave printer."},
    {0x00050100, "Card jam in Rejected Box of slave printer."},
    {0x00008000, "Card out or feeding error."},
    {0x00008010, "Card thickness selector is not placed in the right position."},
    {0x00080200, "Unsupported ribbon."},
    {0x00080203, "Ribbon type mismatch!"},
    {0x00080104, "Out of ribbon!"},
};

constexpr std::size_t kSharedCount = std::size(kSharedRows);

// Start row, shared rows, the family's rows, terminator.
template <std::size_t N>
constexpr std::array<ErrorRow, kSharedCount + N + 2> Assemble(const ErrorRow (&familyRows)[N]) {
  std::array<ErrorRow, kSharedCount + N + 2> rows{};
  std::size_t at = 0;
  rows[at++] = {0, ""};
  for (const ErrorRow& row : kSharedRows) rows[at++] = row;
  for (const ErrorRow& row : familyRows) rows[at++] = row;
  rows[at] = {kCatalogueEnd, ""};
  return rows;
}

template <std::size_t N>
constexpr bool CodesAreUnique(const std::array<ErrorRow, N>& rows) {
  for (std::size_t i = 0; i < N; ++i) {
    for (std::size_t j = i + 1; j < N; ++j) {
      if (rows[i].code == rows[j].code) return false;
    }
  }
  return true;
}

constexpr auto kPhotoCatalogue = Assemble(kPhotoRows);
constexpr auto kDualCatalogue = Assemble(kDualRows);
constexpr auto kCardCatalogue = Assemble(kCardRows);

static_assert(kPhotoCatalogue.size() == kPhotoPrinterRowCount + 2);
static_assert(kDualCatalogue.size() == kDualPrinterRowCount + 2);
static_assert(kCardCatalogue.size() == kCardPrinterRowCount + 2);
static_assert(CodesAreUnique(kPhotoCatalogue));
static_assert(CodesAreUnique(kDualCatalogue));
static_assert(CodesAreUnique(kCardCatalogue));

}  // namespace

ErrorCatalogue PhotoPrinterCatalogue() {
  return kPhotoCatalogue;
}
ErrorCatalogue DualPrinterCatalogue() {
  return kDualCatalogue;
}
ErrorCatalogue CardPrinterCatalogue() {
  return kCardCatalogue;
}

ErrorCatalogue ErrorCatalogueForModel(uint32_t modelSerial) {
  switch (models::FamilyOfModel(modelSerial)) {
    case models::PrinterFamily::kPhoto:
      return PhotoPrinterCatalogue();
    case models::PrinterFamily::kCard:
      return CardPrinterCatalogue();
    case models::PrinterFamily::kDual:
      break;
  }
  return DualPrinterCatalogue();
}

const char* FindErrorMessage(uint32_t modelSerial, uint32_t code) {
  const ErrorCatalogue catalogue = ErrorCatalogueForModel(modelSerial);
  for (const ErrorRow& row : catalogue.subspan(1)) {
    if (row.code == kCatalogueEnd) break;
    if (row.code == code) return row.message;
  }
  return nullptr;
}

}  // namespace kiln::i18n
