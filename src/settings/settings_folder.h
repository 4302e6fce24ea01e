// Where the settings files live: "Vistrane\" in the user's roaming
// application-data folder, or the program folder when there is none.
#pragma once

#include <string>

#include "common/file_system.h"

namespace torvo {

// The two folders the platform tells us about.
class UserFolders {
 public:
  virtual ~UserFolders() = default;
  // The per-user (roaming) application-data folder, without a trailing
  // backslash. False when the platform has none.
  virtual bool GetAppDataFolder(std::u16string& folder) = 0;
  // The folder of the program file, ending with a backslash.
  virtual std::u16string GetProgramFolder() = 0;
};

// What the settings files need from outside: the disk and the folders.
struct SettingsEnvironment {
  FileSystem& fileSystem;
  UserFolders& userFolders;
};

// The settings folder, ending with a backslash. With an application-data
// folder, "<appdata>\Vistrane\" is created when missing (an existing one is
// traced as "mousehid exit"); without one, the program folder is used and
// nothing is created. Evaluated anew at every call.
std::u16string GetSettingsFolder(const SettingsEnvironment& env);

// The settings folder followed by "osd.data" (the display's hand-off file).
std::u16string OsdDataPath(const SettingsEnvironment& env);

}  // namespace torvo
