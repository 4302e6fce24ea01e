#include "settings/profile_library.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <span>
#include <vector>

#include "common/trace.h"
#include "settings/atomic_file.h"
#include "settings/settings_model.h"

namespace torvo {
namespace {

// The name array holds 250 characters including the terminator.
constexpr std::size_t kMaxNameLength = sizeof(ProfileRecord::name) / sizeof(char16_t) - 1;

void SetName(ProfileRecord& record, const std::u16string& name) {
  const std::size_t length = std::min(name.size(), kMaxNameLength);
  std::copy_n(name.data(), length, record.name);
  record.name[length] = u'\0';
}

std::u16string DefaultName(const DefaultProfileNameSource& source) {
  if (source) {
    std::optional<std::u16string> name = source();
    if (name && !name->empty()) return *name;
  }
  Trace(u"no name for the default profile; \"Default\" is used\n");
  return kFallbackProfileName;
}

}  // namespace

ReadResult LoadProfileLibrary(const SettingsEnvironment& env, ProfileLibrary& library,
                              const DefaultProfileNameSource& defaultName) {
  const std::u16string path = GetSettingsFolder(env) + kProfileLibraryFileName;
  std::unique_ptr<FileReader> reader;
  const ReadResult opened = env.fileSystem.OpenFileForReading(path, reader);
  if (opened != ReadResult::kRead) {
    auto record = std::make_unique<ProfileRecord>();
    MakeDefaultProfile(*record, 0);
    SetName(*record, DefaultName(defaultName));
    library.push_back(std::move(record));
    if (opened == ReadResult::kNotFound) {
      Trace(u"SoftWare.data not found; a default profile library is made and saved\n");
      SaveProfileLibrary(env, library);
    } else {
      // The file may hold the user's profiles: it is left as it is.
      Trace(u"SoftWare.data could not be read; a default profile is used and the file is kept\n");
    }
    return opened;
  }

  // Record by record, straight into the records kept, so that a library of
  // any size costs no more than itself.
  try {
    for (;;) {
      auto record = std::make_unique<ProfileRecord>();  // zero-filled
      std::size_t got = 0;
      if (!reader->ReadNext(reinterpret_cast<std::uint8_t*>(record.get()), kProfileRecordSize,
                            got)) {
        Trace(
            u"SoftWare.data could not be read to its end; the records read are used and the "
            u"file is kept\n");
        return ReadResult::kFailed;
      }
      if (got == 0) break;
      if (got < kProfileRecordSize) {
        Trace(u"SoftWare.data ends in a partial record; its rest is zero-filled\n");
      }
      library.push_back(std::move(record));
      if (got < kProfileRecordSize) break;
    }
  } catch (const std::bad_alloc&) {
    Trace(
        u"SoftWare.data does not fit in memory; the records read are used and the file is "
        u"kept\n");
    return ReadResult::kFailed;
  }
  return ReadResult::kRead;
}

bool SaveProfileLibrary(const SettingsEnvironment& env, const ProfileLibrary& library,
                        PendingSaves* saves) {
  const std::u16string path = GetSettingsFolder(env) + kProfileLibraryFileName;
  // Written from the records themselves: no second copy of the library.
  static const ProfileRecord kEmptyRecord{};
  std::vector<std::span<const std::uint8_t>> pieces;
  try {
    pieces.reserve(library.size());
  } catch (const std::bad_alloc&) {
    Trace(u"SoftWare.data could not be written (out of memory); the previous file is kept\n");
    return false;
  }
  for (const auto& record : library) {
    // A missing record keeps the positions of the records after it.
    const ProfileRecord& bytes = record ? *record : kEmptyRecord;
    pieces.emplace_back(reinterpret_cast<const std::uint8_t*>(&bytes), kProfileRecordSize);
  }
  if (saves != nullptr) return saves->Save(path, FilePieces(pieces));
  if (ReplaceFileAtomically(env.fileSystem, path, FilePieces(pieces))) return true;
  Trace(u"SoftWare.data could not be written; the previous file is kept\n");
  return false;
}

}  // namespace torvo
