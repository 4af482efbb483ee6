#pragma once

#include <functional>
#include <optional>
#include <string>

namespace kiln::app {

// Asks the user for the folder that holds Kiln.ini; nullopt when the user cancels.
using FolderQuestion = std::function<std::optional<std::string>()>;

// The interactive mode's program folder. Started from the desktop menu, Kiln runs from
// its installed folder, which holds no Kiln.ini: without --dir (folderGiven false) and
// without Kiln.ini in programFolder, the user is asked for the folder. Cancel, or an
// empty answer, keeps programFolder.
std::string ChooseInteractiveFolder(const std::string& programFolder, bool folderGiven,
                                    const FolderQuestion& askFolder);

}  // namespace kiln::app
