#include "settings/settings_folder.h"

#include "common/trace.h"

namespace torvo {

std::u16string GetSettingsFolder(const SettingsEnvironment& env) {
  std::u16string appData;
  if (!env.userFolders.GetAppDataFolder(appData)) {
    std::u16string folder = env.userFolders.GetProgramFolder();
    if (!folder.empty() && folder.back() != u'\\' && folder.back() != u'/') folder += u'\\';
    return folder;
  }
  const std::u16string directory = appData + u"\\Vistrane";
  if (env.fileSystem.DirectoryExists(directory)) {
    Trace(u"mousehid exit\n");
  } else if (!env.fileSystem.CreateFolder(directory)) {
    Trace(u"settings folder could not be created\n");
  }
  return directory + u'\\';
}

std::u16string OsdDataPath(const SettingsEnvironment& env) {
  return GetSettingsFolder(env) + u"osd.data";
}

}  // namespace torvo
