#include "settings/atomic_file.h"

namespace torvo {

std::u16string TemporaryPathFor(const std::u16string& path) {
  return path + u".tmp";
}

bool ReplaceFileAtomically(FileSystem& fileSystem, const std::u16string& path,
                           const std::uint8_t* data, std::size_t size) {
  static const std::uint8_t kNoBytes = 0;
  if (data == nullptr) data = &kNoBytes;  // an empty image is still a valid file
  const std::u16string temporary = TemporaryPathFor(path);
  if (!fileSystem.WriteFileDurably(temporary, data, size)) {
    fileSystem.RemoveFile(temporary);
    return false;
  }
  if (!fileSystem.MoveFileOver(temporary, path)) {
    fileSystem.RemoveFile(temporary);
    return false;
  }
  return true;
}

}  // namespace torvo
