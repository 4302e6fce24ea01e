// Replacing a settings file so that it is never missing: the new bytes go to
// "<path>.tmp" in the same folder, are flushed, and the temporary file is then
// moved over the old one in one step. A failure at any point leaves the old
// file whole; a crash leaves either the old or the new file whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/file_system.h"

namespace torvo {

// The temporary file used while `path` is replaced.
std::u16string TemporaryPathFor(const std::u16string& path);

// True when `path` now holds exactly `size` bytes of `data`. On failure the
// temporary file is removed and `path` keeps its old content.
bool ReplaceFileAtomically(FileSystem& fileSystem, const std::u16string& path,
                           const std::uint8_t* data, std::size_t size);
// The same with the new content given as pieces written in order.
bool ReplaceFileAtomically(FileSystem& fileSystem, const std::u16string& path, FilePieces pieces);

}  // namespace torvo
