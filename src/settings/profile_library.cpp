#include "settings/profile_library.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

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
  std::vector<std::uint8_t> bytes;
  const ReadResult read =
      env.fileSystem.ReadFile(path, std::numeric_limits<std::size_t>::max(), bytes);
  if (read != ReadResult::kRead) {
    auto record = std::make_unique<ProfileRecord>();
    MakeDefaultProfile(*record, 0);
    SetName(*record, DefaultName(defaultName));
    library.push_back(std::move(record));
    if (read == ReadResult::kNotFound) {
      Trace(u"SoftWare.data not found; a default profile library is made and saved\n");
      SaveProfileLibrary(env, library);
    } else {
      // The file may hold the user's profiles: it is left as it is.
      Trace(u"SoftWare.data could not be read; a default profile is used and the file is kept\n");
    }
    return read;
  }

  if (bytes.size() % kProfileRecordSize != 0) {
    Trace(u"SoftWare.data ends in a partial record; its rest is zero-filled\n");
  }
  for (std::size_t offset = 0; offset < bytes.size(); offset += kProfileRecordSize) {
    auto record = std::make_unique<ProfileRecord>();  // zero-filled
    const std::size_t count = std::min(kProfileRecordSize, bytes.size() - offset);
    std::memcpy(record.get(), bytes.data() + offset, count);
    library.push_back(std::move(record));
  }
  return ReadResult::kRead;
}

bool SaveProfileLibrary(const SettingsEnvironment& env, const ProfileLibrary& library) {
  const std::u16string path = GetSettingsFolder(env) + kProfileLibraryFileName;
  std::vector<std::uint8_t> image;
  image.reserve(library.size() * kProfileRecordSize);
  for (const auto& record : library) {
    if (!record) {  // keeps the positions of the records after it
      image.resize(image.size() + kProfileRecordSize, 0);
      continue;
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(record.get());
    image.insert(image.end(), bytes, bytes + kProfileRecordSize);
  }
  if (ReplaceFileAtomically(env.fileSystem, path, image.data(), image.size())) return true;
  Trace(u"SoftWare.data could not be written; the previous file is kept\n");
  return false;
}

}  // namespace torvo
