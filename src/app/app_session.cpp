#include "app/app_session.h"

#include "i18n/ui_language_code.h"
#include "platform/file_probe.h"

namespace kiln::app {

bool LocateConfig(AppSession& session, std::string_view programFolder,
                  const std::function<void()>& retextWindow) {
  session.folder = config::ConfigFolder::At(programFolder);
  if (!platform::FileExists(session.folder.iniPath.c_str())) return false;

  session.languageTag.Clear();
  i18n::AppendLanguageTag(session.languageTag);
  session.language.SetFile(session.folder.iniPath.c_str());
  session.language.SetSection(session.languageTag.c_str());
  if (retextWindow) retextWindow();
  return true;
}

}  // namespace kiln::app
