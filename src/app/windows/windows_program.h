#pragma once

#include <string>
#include <vector>

#include "app/windows/main_window.h"
#include "usb/link_factory.h"

namespace kiln::app::windows {

// What the program runs on: the real printer links and services for kiln.exe; a test
// build gives its own.
struct ProgramServices {
  usb::LinkFactory links = usb::DefaultLinkFactory();
  WindowOptions window;
};

// The command line as Windows holds it (UTF-16), in UTF-8 like every text of Kiln.
std::vector<std::string> Utf8Arguments();

// kiln.exe is a window program, so a console it was started from does not wait for it
// and gives it no output handles. What it writes goes to that console all the same:
// standard output and error that are not redirected go to it; redirected ones stay as they
// are. Started without a console (a double-click, a caller's CreateProcess), it has none
// and opens none.
void WriteToParentConsole();

// Kiln on Windows, from its arguments (the program's name first): one instance at a time,
// the command line, then the window or one command-line mode to its end; the exit status.
// A command-line mode writes to the console of the program that started it (unless its
// output is redirected); the window shows no console.
int RunWindowsProgram(const std::vector<std::string>& arguments, ProgramServices services = {});

}  // namespace kiln::app::windows
