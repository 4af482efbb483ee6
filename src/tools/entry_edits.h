#pragma once

#include <string>
#include <vector>

#include "platform/profile.h"

// How the maintenance dialogs change a model entry of Kiln.ini: every change of one OK
// goes into the file in one atomic replacement, so a failure leaves the file as it was.
namespace kiln::tools {

class EntryEdits {
 public:
  explicit EntryEdits(std::string section) : section_(std::move(section)) {}

  // Sets key to value, in place when the key exists, else at the end of the section.
  void Set(std::string key, std::string value);
  // Removes every line of key (the whole name, without regard to case) in the section.
  void Remove(std::string key);

  const std::string& section() const { return section_; }
  // Applies the edits in the order given.
  platform::ProfileEdit Apply(const char* path) const;

 private:
  struct Edit {
    std::string key;
    std::string value;
    bool remove;
  };
  std::string section_;
  std::vector<Edit> edits_;
};

enum class RemoveKeyResult { kRemoved, kNotFound, kCannotOpen, kCannotWrite };

// Removes key from section of the file at path. A missing file has nothing to remove.
RemoveKeyResult RemoveIniKey(const char* section, const char* key, const char* path);

// The section that model entry index is read from: "FW_INFO%d", except that entry 1
// stays in the older "FW_INFO" section while "FW_INFO1" has no key lines and
// "FW_INFO" has, as the configuration reader falls back to it.
std::string EntrySectionInUse(const char* iniPath, int index);

}  // namespace kiln::tools
