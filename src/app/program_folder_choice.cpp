#include "app/program_folder_choice.h"

#include "platform/file_probe.h"

namespace kiln::app {

std::string ChooseInteractiveFolder(const std::string& programFolder, bool folderGiven,
                                    const FolderQuestion& askFolder) {
  if (folderGiven || !askFolder) return programFolder;
  if (platform::FileExists((programFolder + "/Kiln.ini").c_str())) return programFolder;
  std::optional<std::string> chosen = askFolder();
  if (!chosen || chosen->empty()) return programFolder;
  // The folder is joined with "/Kiln.ini" and the file names of Kiln.ini.
  while (chosen->size() > 1 && chosen->back() == '/') chosen->pop_back();
  return *chosen;
}

}  // namespace kiln::app
