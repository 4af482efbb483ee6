// Opens one native dialog over a program folder, without the main window, for the window
// tests: kiln_dialog_host DIALOG FOLDER [ARGUMENTS] [--pick PATH]...
//   setting                         Kiln Setting (entry 1)
//   advanced ENTRY                  Advance Settings of model entry ENTRY
//   colour-mode CURRENT TAG [MODEL] Change Color Mode with the printer's mode CURRENT in
//                                   language TAG (target model MODEL, 1 by default)
//   make-bin                        Make BIN
// Each file choice takes the next --pick path ("-", or none left: cancelled), since the
// system's file dialog cannot be driven reliably; with --system-picker the system's
// file dialog is shown instead. Prints "result ok|cancel" or
// "selection N" when the dialog closes.

#include <windows.h>
// after windows.h
#include <shellapi.h>

#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "app/colour_mode_form.h"
#include "app/windows/dialogs/setting_dialog.h"
#include "app/windows/dialogs/tool_dialogs.h"
#include "platform/windows/wide_text.h"

namespace {

using kiln::platform::windows::Utf8;

std::vector<std::string> Arguments() {
  int count = 0;
  LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(Utf8(wide[i]));
  ::LocalFree(wide);
  return arguments;
}

}  // namespace

int main() {
  std::vector<std::string> arguments = Arguments();
  std::deque<std::string> picks;
  std::vector<std::string> positional;
  bool systemPicker = false;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    if (arguments[i] == "--system-picker") {
      systemPicker = true;
    } else if (arguments[i] == "--pick" && i + 1 < arguments.size()) {
      picks.push_back(arguments[++i]);
    } else {
      positional.push_back(arguments[i]);
    }
  }
  if (positional.size() < 2) {
    std::fprintf(stderr, "usage: kiln_dialog_host DIALOG FOLDER [ARGUMENTS] [--pick PATH]...\n");
    return 2;
  }
  const kiln::app::windows::FilePicker scripted =
      [&picks](HWND, const kiln::app::windows::FilePick&, std::string& path) {
        if (picks.empty()) return false;
        const std::string next = picks.front();
        picks.pop_front();
        if (next == "-") return false;
        path = next;
        return true;
      };
  const kiln::app::windows::FilePicker pick =
      systemPicker ? kiln::app::windows::FilePicker(&kiln::app::windows::SystemFilePicker)
                   : scripted;
  const std::string& dialog = positional[0];
  const kiln::config::ConfigFolder folder = kiln::config::ConfigFolder::At(positional[1]);
  if (dialog == "setting") {
    const bool ok = kiln::app::windows::RunSettingDialog(nullptr, folder, 1, pick);
    std::printf("result %s\n", ok ? "ok" : "cancel");
  } else if (dialog == "advanced" && positional.size() > 2) {
    const bool ok = kiln::app::windows::RunAdvancedSettingsDialog(nullptr, folder,
                                                                  std::stoi(positional[2]), pick);
    std::printf("result %s\n", ok ? "ok" : "cancel");
  } else if (dialog == "colour-mode" && positional.size() > 3) {
    const uint32_t model = positional.size() > 4 ? std::stoul(positional[4]) : 1;
    const kiln::app::ColourModeForm form(folder, 1, model, positional[2], positional[3]);
    std::printf("selection %d\n", kiln::app::windows::ColourModeDialogOver(nullptr)(form));
  } else if (dialog == "make-bin") {
    kiln::app::windows::RunMakeBinDialog(nullptr, folder.folder, pick);
    std::printf("result cancel\n");
  } else {
    std::fprintf(stderr, "unknown dialog %s\n", dialog.c_str());
    return 2;
  }
  std::fflush(stdout);
  return 0;
}
