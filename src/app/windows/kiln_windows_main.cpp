// kiln.exe: the window, or a command-line mode, on the system's own printers.

#include "app/windows/windows_program.h"

int main() {
  return kiln::app::windows::RunWindowsProgram(kiln::app::windows::Utf8Arguments());
}
