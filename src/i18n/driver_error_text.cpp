#include "i18n/driver_error_text.h"

#include <iterator>

#include "i18n/error_catalogue.h"
#include "i18n/ui_language_code.h"
#include "usb/model_table.h"

namespace kiln::i18n {

namespace {

// The model's row in the table the driver texts are named after; nullptr when that
// table has none (serial 0, a serial beyond the table, or a first-generation lookup
// for a model that never had a first-generation driver).
const usb::PrinterModel* DriverRow(uint32_t modelSerial, bool firstGen) {
  if (modelSerial == 0) return nullptr;
  if (firstGen) {
    return modelSerial < std::size(usb::FirstGenModelTable) ? &usb::FirstGenModelTable[modelSerial]
                                                            : nullptr;
  }
  return usb::ModelBySerial(modelSerial);
}

}  // namespace

LanguageText DriverLanguageFilePath(uint32_t modelSerial, bool firstGen,
                                    platform::PlatformProbes& os,
                                    platform::LanguageProbes& language) {
  LanguageText path;
  const usb::PrinterModel* row = DriverRow(modelSerial, firstGen);
  if (row == nullptr) return path;
  path = os.GetSpoolDriverDir(true);
  const char separator[] = {os.PathSeparator(), '\0'};
  path.Append(separator);
  path.Append("ox");
  AppendLanguageTag(path, os, language);
  path.Append(row->driverCode);
  path.Append(".ini");
  return path;
}

bool GetDriverErrorText(uint32_t modelSerial, uint32_t code, LanguageText& out, bool firstGen,
                        platform::PlatformProbes& os, platform::LanguageProbes& language) {
  if (code == 0) return false;
  const char* message = FindErrorMessage(modelSerial, code);
  if (message == nullptr) return false;

  LanguageFile driverTexts;
  driverTexts.SetFile(DriverLanguageFilePath(modelSerial, firstGen, os, language));
  driverTexts.SetSection(kLanguageMonitorSection);
  out = driverTexts.Translate(message);
  return true;
}

}  // namespace kiln::i18n
