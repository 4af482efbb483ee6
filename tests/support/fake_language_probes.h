#pragma once

#include <stdlib.h>

#include <array>
#include <optional>
#include <string>
#include <utility>

#include "platform/os_probes.h"
#include "platform/ui_language.h"

namespace kiln::testing {

// A driver folder of the test's choosing.
class FolderOsProbes final : public platform::PlatformProbes {
 public:
  explicit FolderOsProbes(std::string folder) : folder_(std::move(folder)) {}
  std::string GetDriverDir() override { return folder_; }

 private:
  std::string folder_;
};

// A user with a chosen UI language (or none the system can report) and default
// language.
class FakeLanguageProbes final : public platform::LanguageProbes {
 public:
  FakeLanguageProbes(std::optional<platform::LangId> uiLanguage, platform::LangId defaultLanguage)
      : uiLanguage_(uiLanguage), defaultLanguage_(defaultLanguage) {}
  explicit FakeLanguageProbes(platform::LangId both) : FakeLanguageProbes(both, both) {}

  std::optional<platform::LangId> GetUserDefaultUILanguage() override {
    ++uiQueries;
    return uiLanguage_;
  }
  platform::LangId GetUserDefaultLangID() override { return defaultLanguage_; }

  int uiQueries = 0;

 private:
  std::optional<platform::LangId> uiLanguage_;
  platform::LangId defaultLanguage_;
};

// Saves the locale and driver-folder variables, clears them for the test and restores
// them when it ends.
class ScopedLanguageEnvironment {
 public:
  ScopedLanguageEnvironment() {
    for (std::size_t i = 0; i < kNames.size(); ++i) {
      const char* value = ::getenv(kNames[i]);
      saved_[i] = value != nullptr ? std::optional<std::string>(value) : std::nullopt;
      ::unsetenv(kNames[i]);
    }
  }
  ~ScopedLanguageEnvironment() {
    for (std::size_t i = 0; i < kNames.size(); ++i) {
      if (saved_[i]) {
        ::setenv(kNames[i], saved_[i]->c_str(), 1);
      } else {
        ::unsetenv(kNames[i]);
      }
    }
  }
  ScopedLanguageEnvironment(const ScopedLanguageEnvironment&) = delete;
  ScopedLanguageEnvironment& operator=(const ScopedLanguageEnvironment&) = delete;

  void Set(const char* name, const char* value) { ::setenv(name, value, 1); }

 private:
  static constexpr std::array<const char*, 4> kNames = {"LC_ALL", "LC_MESSAGES", "LANG",
                                                        "KILN_DRIVER_DIR"};
  std::array<std::optional<std::string>, 4> saved_;
};

}  // namespace kiln::testing
