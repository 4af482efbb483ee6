// The language texts and the driver error lookup on fuzzed language sections and
// language-monitor files. Every text must come back terminated and within its limit,
// also when a lookup is given a text the same source returned before.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "i18n/driver_error_text.h"
#include "i18n/error_catalogue.h"
#include "i18n/language_file.h"
#include "platform/os_probes.h"
#include "platform/ui_language.h"
#include "support/fuzz_input.h"
#include "support/scratch_dir.h"

namespace {

using kiln::fuzz::FuzzInput;
namespace i18n = kiln::i18n;
namespace platform = kiln::platform;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "language fuzz: %s\n", what);
  std::abort();
}

void CheckText(const char* text) {
  if (text == nullptr) Fail("no text");
  if (std::strlen(text) >= i18n::kTextCapacity) Fail("text beyond its capacity");
}
void CheckText(const i18n::LanguageText& text) {
  CheckText(text.c_str());
}

class ScratchFolderProbes final : public platform::PlatformProbes {
 public:
  std::string GetDriverDir() override { return kiln::fuzz::ScratchDir(); }
};

class FixedLanguage final : public platform::LanguageProbes {
 public:
  explicit FixedLanguage(platform::LangId id) : id_(id) {}
  std::optional<platform::LangId> GetUserDefaultUILanguage() override { return id_; }
  platform::LangId GetUserDefaultLangID() override { return id_; }

 private:
  platform::LangId id_;
};

// A texts source on a fuzzed file: lookups of fuzzed keys, of long keys, and of texts
// the source itself returned.
void LanguageSection(FuzzInput& in) {
  const std::string section = in.Text();
  const std::string path = kiln::fuzz::WriteScratchFile("Kiln.ini", in.Bytes(in.U16() % 4096));
  i18n::LanguageFile texts;
  (void)texts.SetFile(path);
  (void)texts.SetSection(in.Bool() ? section : std::string(1100, 'L') + section);
  while (!in.Empty()) {
    switch (in.Byte() % 4) {
      case 0:
        CheckText(texts.Translate(in.Text()));
        break;
      case 1:
        CheckText(texts.GetText(in.Text(), in.Byte()));
        break;
      case 2: {
        // A key longer than any text: it is cut, never overrun.
        const std::string key = std::string(in.U16() % 2048, 'k') + in.Text();
        CheckText(texts.Translate(key));
        break;
      }
      default: {
        const i18n::LanguageText previous = texts.Translate(in.Text());
        CheckText(texts.Translate(previous));
        CheckText(texts.GetText(previous, 1));
        break;
      }
    }
  }
}

void DriverError(FuzzInput& in) {
  const uint32_t model = in.Byte() % 40;
  const bool firstGen = in.Bool();
  const platform::LangId language = in.U16();
  // Either a code from the model's catalogue or any code at all.
  uint32_t code = in.U32();
  const i18n::ErrorCatalogue catalogue = i18n::ErrorCatalogueForModel(model);
  if ((code & 0x80000000u) == 0 && !catalogue.empty())
    code = catalogue[code % catalogue.size()].code;

  ScratchFolderProbes folder;
  FixedLanguage user(language);
  const i18n::LanguageText file = i18n::DriverLanguageFilePath(model, firstGen, folder, user);
  CheckText(file.c_str());
  if (!file.empty())
    kiln::fuzz::WriteScratchFile(file.c_str() + kiln::fuzz::ScratchDir().size() + 1, in.Rest());

  i18n::LanguageText out = "unchanged";
  const bool found = i18n::GetDriverErrorText(model, code, out, firstGen, folder, user);
  const char* english = i18n::FindErrorMessage(model, code);
  if (found != (english != nullptr && code != 0)) Fail("found a message the catalogue lacks");
  if (!found && out != "unchanged") Fail("a code without a message changed the text");
  CheckText(out.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  if (in.Bool()) {
    LanguageSection(in);
  } else {
    DriverError(in);
  }
  return 0;
}
