#include "settings/settings_store.h"

#include <cstring>
#include <utility>

#include "common/trace.h"
#include "settings/config_file.h"
#include "settings/settings_model.h"

namespace torvo {

SettingsStore::SettingsStore(const SettingsEnvironment& env, ConfigPublisher& publisher,
                             Desktop& desktop, DefaultProfileNameSource defaultProfileName)
    : env_(env),
      publisher_(publisher),
      desktop_(desktop),
      defaultProfileName_(std::move(defaultProfileName)) {}

void SettingsStore::Load() {
  config.header.activeSlot = -1;
  LoadConfig(env_, config);
  LoadProfileLibrary(env_, profileLibrary, defaultProfileName_);
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

  libraryProfile = BoundLibraryRecord();
  if (libraryProfile != nullptr) {
    std::memcpy(libraryProfile, &ActiveProfile(), kProfileRecordSize);
  }

  ::torvo::SaveConfig(env_, config);
  SaveProfileLibrary(env_, profileLibrary);

  const WindowHandle configurator = desktop_.FindWindowByTitle(kConfiguratorTitle);
  if (configurator != 0) desktop_.PostMessageTo(configurator, MSG_CFG_SETTINGS_SAVED, 0, 0);
}

bool SettingsStore::SaveConfig() {
  return ::torvo::SaveConfig(env_, config);
}

}  // namespace torvo
