#include "settings/pending_saves.h"

#include <algorithm>
#include <new>
#include <span>
#include <utility>

#include "common/trace.h"
#include "settings/atomic_file.h"

namespace torvo {
namespace {

// The file's name without its folder, for the traces.
std::u16string FileName(const std::u16string& path) {
  const std::size_t slash = path.find_last_of(u"\\/");
  return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool PendingSaves::Save(const std::u16string& path, FilePieces pieces) {
  // Straight from the caller's pieces: a save that lands at once costs no
  // copy of its bytes.
  const std::u16string temporary = TemporaryPathFor(path);
  const bool written = fileSystem_.WriteFileDurably(temporary, pieces);
  if (!written) fileSystem_.RemoveFile(temporary);
  const bool landed = written && fileSystem_.MoveFileOver(temporary, path);
  Pending* waiting = Find(path);
  if (landed) {
    if (waiting != nullptr) {
      Trace(FileName(path) + u" is written; the older save that waited for it is dropped\n");
      pending_.erase(pending_.begin() + (waiting - pending_.data()));
    }
    return true;
  }

  std::vector<std::uint8_t> bytes;
  try {
    std::size_t size = 0;
    for (const auto piece : pieces) size += piece.size();
    bytes.reserve(size);
    for (const auto piece : pieces) bytes.insert(bytes.end(), piece.begin(), piece.end());
    if (waiting == nullptr) {
      pending_.push_back(Pending{path, {}, false});
      waiting = &pending_.back();
      Trace(FileName(path) +
            u" cannot be replaced now (another program may have it open); the save waits and is "
            u"tried again\n");
    }
  } catch (const std::bad_alloc&) {
    Trace(FileName(path) + u" could not be written (out of memory); the previous file is kept\n");
    return false;
  }
  // The newest content wins; when it waits in the temporary file already,
  // a retry only has to move it.
  waiting->bytes = std::move(bytes);
  waiting->temporaryWritten = written;
  return false;
}

bool PendingSaves::IsPending(const std::u16string& path) const {
  return std::any_of(pending_.begin(), pending_.end(),
                     [&](const Pending& save) { return save.path == path; });
}

void PendingSaves::Retry() {
  for (auto it = pending_.begin(); it != pending_.end();) {
    if (Land(*it)) {
      Trace(FileName(it->path) + u": the save that waited is written\n");
      it = pending_.erase(it);
    } else {
      ++it;
    }
  }
}

void PendingSaves::FinishAtExit() {
  Retry();
  for (const Pending& save : pending_) {
    if (save.temporaryWritten) fileSystem_.RemoveFile(TemporaryPathFor(save.path));
    Trace(FileName(save.path) +
          u" could not be written before exit; the file keeps its previous content\n");
  }
  pending_.clear();
}

bool PendingSaves::Land(Pending& save) {
  const std::u16string temporary = TemporaryPathFor(save.path);
  if (!save.temporaryWritten) {
    const std::span<const std::uint8_t> piece[] = {{save.bytes.data(), save.bytes.size()}};
    if (!fileSystem_.WriteFileDurably(temporary, FilePieces(piece))) {
      fileSystem_.RemoveFile(temporary);
      return false;
    }
    save.temporaryWritten = true;
  }
  if (fileSystem_.MoveFileOver(temporary, save.path)) return true;
  // Should the temporary file have gone meanwhile, the next try writes it
  // again.
  std::vector<std::uint8_t> probe;
  if (fileSystem_.ReadFile(temporary, 0, probe) == ReadResult::kNotFound) {
    save.temporaryWritten = false;
  }
  return false;
}

PendingSaves::Pending* PendingSaves::Find(const std::u16string& path) {
  for (Pending& save : pending_) {
    if (save.path == path) return &save;
  }
  return nullptr;
}

}  // namespace torvo
