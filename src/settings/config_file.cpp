#include "settings/config_file.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "common/trace.h"
#include "settings/atomic_file.h"
#include "settings/settings_model.h"

namespace torvo {

ReadResult LoadConfig(const SettingsEnvironment& env, ConfigBlock& block) {
  const std::u16string path = GetSettingsFolder(env) + kConfigFileName;
  std::vector<std::uint8_t> bytes;
  const ReadResult read = env.fileSystem.ReadFile(path, kConfigBlockSize, bytes);
  if (read != ReadResult::kRead) {
    MakeDefaultHeaderFields(block.header);
    for (int s = 0; s < kSlotCount; ++s) {
      std::memset(&block.slots[s], 0, sizeof(block.slots[s]));
      MakeDefaultProfile(block.slots[s], s);
    }
    if (read == ReadResult::kNotFound) {
      Trace(u"Config.data not found; the default settings are used and saved\n");
      SaveConfig(env, block);
    } else {
      // The file may hold the user's settings: it is left as it is.
      Trace(u"Config.data could not be read; the default settings are used and the file is kept\n");
    }
    return read;
  }

  const std::size_t count = std::min(bytes.size(), kConfigBlockSize);
  if (count < kConfigBlockSize) {
    // Whatever the file holds is kept; the bytes it lacks take their defaults.
    Trace(u"Config.data is short; the missing bytes take their defaults\n");
    auto image = std::make_unique<ConfigBlock>();
    MakeDefaultBlock(*image);
    if (count > 0) std::memcpy(image.get(), bytes.data(), count);
    std::memcpy(&block, image.get(), kConfigBlockSize);
  } else {
    std::memcpy(&block, bytes.data(), kConfigBlockSize);
  }
  ValidateActiveSlot(block.header);
  return ReadResult::kRead;
}

bool SaveConfig(const SettingsEnvironment& env, const ConfigBlock& block, PendingSaves* saves) {
  const std::u16string path = GetSettingsFolder(env) + kConfigFileName;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&block);
  if (saves != nullptr) {
    const std::span<const std::uint8_t> piece[] = {{bytes, kConfigBlockSize}};
    return saves->Save(path, FilePieces(piece));
  }
  if (ReplaceFileAtomically(env.fileSystem, path, bytes, kConfigBlockSize)) return true;
  Trace(u"Config.data could not be written; the previous file is kept\n");
  return false;
}

}  // namespace torvo
