// The disk and the user's folders on Windows. This header does not include
// <windows.h>, and its member names are not macros of <windows.h>, so it may
// be included before or after it.
#pragma once

#include "common/file_system.h"
#include "settings/settings_folder.h"

namespace torvo {

class Win32FileSystem final : public FileSystem {
 public:
  // ERROR_FILE_NOT_FOUND and ERROR_PATH_NOT_FOUND are kNotFound; every other
  // failure is kFailed.
  ReadResult ReadFile(const std::u16string& path, std::size_t maxBytes,
                      std::vector<std::uint8_t>& out) override;
  ReadResult OpenFileForReading(const std::u16string& path,
                                std::unique_ptr<FileReader>& reader) override;
  bool WriteFileDurably(const std::u16string& path, FilePieces pieces) override;
  bool MoveFileOver(const std::u16string& from, const std::u16string& to) override;
  bool RemoveFile(const std::u16string& path) override;
  bool DirectoryExists(const std::u16string& path) override;
  bool CreateFolder(const std::u16string& path) override;
};

// The roaming application-data folder (SHGetFolderPathW, CSIDL_APPDATA with
// CSIDL_FLAG_CREATE) and the folder of the running program file.
class Win32UserFolders final : public UserFolders {
 public:
  bool GetAppDataFolder(std::u16string& folder) override;
  std::u16string GetProgramFolder() override;
};

}  // namespace torvo
