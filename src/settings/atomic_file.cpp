#include "settings/atomic_file.h"

namespace torvo {

std::u16string TemporaryPathFor(const std::u16string& path) {
  return path + u".tmp";
}

bool ReplaceFileAtomically(FileSystem& fileSystem, const std::u16string& path,
                           const std::uint8_t* data, std::size_t size) {
  if (data == nullptr || size == 0) return ReplaceFileAtomically(fileSystem, path, FilePieces{});
  const std::span<const std::uint8_t> piece[] = {{data, size}};
  return ReplaceFileAtomically(fileSystem, path, FilePieces(piece));
}

bool ReplaceFileAtomically(FileSystem& fileSystem, const std::u16string& path, FilePieces pieces) {
  const std::u16string temporary = TemporaryPathFor(path);
  if (!fileSystem.WriteFileDurably(temporary, pieces)) {
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
