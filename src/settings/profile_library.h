// SoftWare.data: the profile library, a plain sequence of 20864-byte
// ProfileRecords in list order.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "settings/config_block.h"
#include "settings/pending_saves.h"
#include "settings/settings_folder.h"

namespace torvo {

inline constexpr char16_t kProfileLibraryFileName[] = u"SoftWare.data";

// The library owns its records; positions count from 0 and are what the
// header's libraryIndex refers to. Records never move once loaded.
using ProfileLibrary = std::vector<std::unique_ptr<ProfileRecord>>;

// Supplies the name of the record made when there is no library file (the
// language library's string 1111); nothing when it is unavailable.
using DefaultProfileNameSource = std::function<std::optional<std::u16string>()>;

// Name used when the language library has no text for the default record.
inline constexpr char16_t kFallbackProfileName[] = u"Default";

// Appends the records of SoftWare.data to `library` and tells what the read
// found. Without a file (kNotFound) one default record named by
// `defaultName` (at most 249 characters) is made and saved at once. A file
// that exists but cannot be read (kFailed) gives the same record in memory
// only: the file is not written, since it may hold the user's profiles. An
// empty file gives an empty library; a file whose size is not a multiple of
// 20864 keeps its last record, zero-filled after the bytes present. The file
// is read one record at a time into the records kept; when a read fails
// midway or memory runs out, the records read so far are the library and
// the result is kFailed, so that the file is kept as it is.
ReadResult LoadProfileLibrary(const SettingsEnvironment& env, ProfileLibrary& library,
                              const DefaultProfileNameSource& defaultName);

// Replaces SoftWare.data with every record in list order, atomically. False
// (with a trace) when the file could not be replaced; the old file then stays.
// With `saves`, a replace that cannot happen now waits there and is retried.
bool SaveProfileLibrary(const SettingsEnvironment& env, const ProfileLibrary& library,
                        PendingSaves* saves = nullptr);

}  // namespace torvo
