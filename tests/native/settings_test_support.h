// Shared set-up of the settings tests: an in-memory disk with the settings
// folder of a fake user, and helpers to make and read record images.
#pragma once

#include <cstring>
#include <memory>
#include <string>

#include "fakes.h"
#include "settings/config_block.h"
#include "settings/settings_folder.h"

namespace torvo::settings_test {

using fakes::Bytes;

inline const std::u16string kFolder = u"C:\\Users\\kim\\AppData\\Roaming\\Vistrane\\";
inline const std::u16string kConfigPath = kFolder + u"Config.data";
inline const std::u16string kLibraryPath = kFolder + u"SoftWare.data";

struct Disk {
  fakes::FakeFileSystem files;
  fakes::FakeUserFolders folders;
  SettingsEnvironment env{files, folders};

  Disk() { files.directories.insert(u"C:\\Users\\kim\\AppData\\Roaming\\Vistrane"); }
};

template <typename Record>
Bytes ImageOf(const Record& record) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&record);
  return Bytes(bytes, bytes + sizeof(record));
}

// Bytes that differ from position to position and from seed to seed.
inline Bytes Pattern(std::size_t size, std::uint32_t seed) {
  Bytes bytes(size);
  std::uint32_t state = seed * 2654435761u + 1;
  for (auto& b : bytes) {
    state = state * 1103515245u + 12345u;
    b = static_cast<std::uint8_t>(state >> 16);
  }
  return bytes;
}

// A full Config.data image with a given active slot.
inline Bytes ConfigImage(std::uint32_t seed, std::int32_t activeSlot) {
  Bytes image = Pattern(kConfigBlockSize, seed);
  std::memcpy(image.data(), &activeSlot, sizeof(activeSlot));
  return image;
}

}  // namespace torvo::settings_test
