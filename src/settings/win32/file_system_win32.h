// The disk and the user's folders on Windows. This header does not include
// <windows.h>: FileSystem's CreateDirectory and ReplaceFile share their names
// with macros of <windows.h>, so callers include this header (or
// common/file_system.h) with the macros undefined or before <windows.h>.
#pragma once

#include "common/file_system.h"
#include "settings/settings_folder.h"

namespace torvo {

class Win32FileSystem final : public FileSystem {
 public:
  bool ReadFile(const std::u16string& path, std::size_t maxBytes,
                std::vector<std::uint8_t>& out) override;
  bool WriteFileDurably(const std::u16string& path, const std::uint8_t* data,
                        std::size_t size) override;
  bool ReplaceFile(const std::u16string& from, const std::u16string& to) override;
  bool RemoveFile(const std::u16string& path) override;
  bool DirectoryExists(const std::u16string& path) override;
  bool CreateDirectory(const std::u16string& path) override;
};

// The roaming application-data folder (SHGetFolderPathW, CSIDL_APPDATA with
// CSIDL_FLAG_CREATE) and the folder of the running program file.
class Win32UserFolders final : public UserFolders {
 public:
  bool GetAppDataFolder(std::u16string& folder) override;
  std::u16string GetProgramFolder() override;
};

}  // namespace torvo
