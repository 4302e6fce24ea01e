// Saves of the settings files that land now or, when the file cannot be
// replaced at this moment, later. Another program that has a settings file
// open (the configurator, a backup or sync tool, a virus scanner, an editor)
// keeps it from being replaced until it lets go; such a save is not dropped:
// its bytes are kept and the replace is tried again on every Retry, until it
// lands. Saves of the same file collapse: the newest content wins.
//
// Every replace is atomic (atomic_file.h): the file on disk is always whole,
// the old content or the new one. The file is never written in place, not
// even when the other program shares write access: a write in place that is
// cut short (a crash, a full disk) would leave a file that is neither, and
// the other program could read it half written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/file_system.h"

namespace torvo {

class PendingSaves {
 public:
  explicit PendingSaves(FileSystem& fileSystem) : fileSystem_(fileSystem) {}
  PendingSaves(const PendingSaves&) = delete;
  PendingSaves& operator=(const PendingSaves&) = delete;

  // Replaces `path` with the pieces. True when the file holds them now. When
  // it cannot happen now, a copy of the bytes waits in place of any older
  // content waiting for the same file (traced once when a save starts to
  // wait), and false is returned. A save that lands now also ends an older
  // one that waited for that file.
  bool Save(const std::u16string& path, FilePieces pieces);

  bool AnyPending() const { return !pending_.empty(); }
  // While this is true, the file on disk is older than the settings: it must
  // not be read back.
  bool IsPending(const std::u16string& path) const;

  // Tries every waiting save once more (traced when it lands).
  void Retry();
  // At exit: one last try. A save that still cannot land is traced with the
  // file's name and given up; the file keeps its previous content, whole.
  void FinishAtExit();

 private:
  struct Pending {
    std::u16string path;
    std::vector<std::uint8_t> bytes;
    // The bytes already wait, flushed, in the temporary file: a retry only
    // moves it over the file.
    bool temporaryWritten = false;
  };

  // One attempt to put `save` in place.
  bool Land(Pending& save);
  Pending* Find(const std::u16string& path);

  FileSystem& fileSystem_;
  std::vector<Pending> pending_;
};

}  // namespace torvo
