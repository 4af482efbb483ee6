#pragma once

#include <windows.h>

#include <functional>
#include <string>

// The file choice behind every "..." and "Add Table File" button of the native dialogs.
// The dialogs take it as a function, so that a test host can answer it; the shipped
// dialogs use the system's file dialog.
namespace kiln::app::windows {

struct FilePick {
  std::string title;             // empty: the system's own title
  std::string defaultExtension;  // "*.bin": added to a typed name without one
  std::string initialName;
  std::string filterName;  // "BIN(*.bin)"
  std::string pattern;     // "*.bin"
  std::string folder;      // where the dialog opens
  // A file to be written: a new name is accepted, an existing one after the user agreed
  // to replace it. Otherwise the file must exist.
  bool forWriting = false;
};

// Fills path (UTF-8, full) and returns true on a choice; false leaves path unchanged.
using FilePicker = std::function<bool(HWND owner, const FilePick& pick, std::string& path)>;

// The system's file-open (or save) dialog, with read-only files hidden.
bool SystemFilePicker(HWND owner, const FilePick& pick, std::string& path);

}  // namespace kiln::app::windows
