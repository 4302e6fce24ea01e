#include "settings/settings_store.h"

#include <cstring>
#include <string_view>
#include <vector>
#include <utility>

#include "common/trace.h"
#include "settings/config_file.h"
#include "settings/settings_model.h"

namespace torvo {
namespace {

// A file that existed but could not be read at start may hold the user's
// settings while memory holds defaults, so writing memory over it would lose
// them. Such a file is not written while the defaults stand in for it, even
// once it reads again: memory holds the defaults, not the file's content,
// and the next start loads the file. Before each skipped save the file is
// read once more, only to say in the trace whether it is readable again.
void TraceKeptFile(const SettingsEnvironment& env, const PendingSaves& saves,
                   std::u16string_view fileName) {
  const std::u16string name(fileName);
  const std::u16string path = GetSettingsFolder(env) + name;
  std::vector<std::uint8_t> probe;
  // A file with a save waiting is older than the settings: not read back.
  if (!saves.IsPending(path) && env.fileSystem.ReadFile(path, 1, probe) == ReadResult::kRead) {
    Trace(name + u" reads again; the file on disk is kept and this save skipped\n");
  } else {
    Trace(name + u" could not be read at start; this save is skipped\n");
  }
}

}  // namespace

SettingsStore::SettingsStore(const SettingsEnvironment& env, ConfigPublisher& publisher,
                             Desktop& desktop, DefaultProfileNameSource defaultProfileName)
    : env_(env),
      publisher_(publisher),
      desktop_(desktop),
      defaultProfileName_(std::move(defaultProfileName)) {}

void SettingsStore::Load() {
  config.header.activeSlot = -1;
  keepConfigFile_ = LoadConfig(env_, config) == ReadResult::kFailed;
  keepLibraryFile_ =
      LoadProfileLibrary(env_, profileLibrary, defaultProfileName_) == ReadResult::kFailed;
  libraryProfile = BoundLibraryRecord();
}

ProfileRecord& SettingsStore::ActiveProfile() {
  return config.slots[ActiveSlotIndex(config.header)];
}

ProfileRecord* SettingsStore::BoundLibraryRecord() {
  const std::int32_t index = config.header.libraryIndex[ActiveSlotIndex(config.header)];
  if (index < 0 || static_cast<std::size_t>(index) >= profileLibrary.size()) return nullptr;
  return profileLibrary[static_cast<std::size_t>(index)].get();
}

void SettingsStore::SaveActiveProfile() {
  if (!publisher_.Publish(config)) Trace(u"the settings block was not published\n");
  SaveActiveProfileFiles();
  AnnounceSavedProfile();
}

void SettingsStore::SaveActiveProfileFiles() {
  libraryProfile = BoundLibraryRecord();
  if (libraryProfile != nullptr) {
    if (keepConfigFile_) {
      // The slot holds defaults, not the user's profile: the user's record
      // in the library is not overwritten with them.
      Trace(u"The settings are defaults standing in for Config.data; the library record is kept\n");
    } else {
      std::memcpy(libraryProfile, &ActiveProfile(), kProfileRecordSize);
    }
  }

  SaveConfig();
  SaveLibrary();
}

void SettingsStore::AnnounceSavedProfile() {
  PostToWindow(desktop_, kConfiguratorTitle, MSG_CFG_SETTINGS_SAVED);
}

bool SettingsStore::SaveConfig() {
  if (keepConfigFile_) {
    TraceKeptFile(env_, saves_, kConfigFileName);
    return false;
  }
  return ::torvo::SaveConfig(env_, config, &saves_);
}

bool SettingsStore::SaveLibrary() {
  if (keepLibraryFile_) {
    TraceKeptFile(env_, saves_, kProfileLibraryFileName);
    return false;
  }
  return SaveProfileLibrary(env_, profileLibrary, &saves_);
}

void SettingsStore::SettingsHandedOver() {
  if (!keepConfigFile_) return;
  keepConfigFile_ = false;
  Trace(u"The configurator handed the settings over; Config.data is saved again\n");
}

}  // namespace torvo
