#include "i18n/driver_error_text.h"

#include <iterator>
#include <string>

#include "i18n/error_catalogue.h"
#include "i18n/ui_language_code.h"
#include "models/model_table.h"
#include "platform/path_join.h"

namespace kiln::i18n {

namespace {

// The model's row in the table the driver texts are named after; nullptr when that
// table has none (serial 0, a serial beyond the table, or a first-generation lookup
// for a model that never had a first-generation driver).
const models::PrinterModel* DriverRow(uint32_t modelSerial, bool firstGen) {
  if (modelSerial == 0) return nullptr;
  if (firstGen) {
    return modelSerial < std::size(models::FirstGenModelTable)
               ? &models::FirstGenModelTable[modelSerial]
               : nullptr;
  }
  return models::ModelBySerial(modelSerial);
}

}  // namespace

LanguageText DriverLanguageFilePath(uint32_t modelSerial, bool firstGen,
                                    platform::PlatformProbes& os,
                                    platform::LanguageProbes& language) {
  const models::PrinterModel* row = DriverRow(modelSerial, firstGen);
  if (row == nullptr) return LanguageText();
  FixedText<kTextCapacity + 1> name;
  name.Append("ox");
  AppendLanguageTag(name, language);
  name.Append(row->driverCode);
  name.Append(".ini");
  const std::string path = platform::JoinPath(os.GetDriverDir(), name.view());
  // A cut path would name some other file; a folder that long has no driver texts.
  if (path.size() >= kTextCapacity) return LanguageText();
  return LanguageText(path);
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
