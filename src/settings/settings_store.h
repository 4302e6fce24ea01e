// The settings as the main window keeps them: the working block `config`,
// the profile library and the library record bound to the active slot, with
// the operations that load them at start and make a changed selection
// durable and visible.
#pragma once

#include "common/desktop.h"
#include "common/messages.h"
#include "settings/config_block.h"
#include "settings/pending_saves.h"
#include "settings/profile_library.h"
#include "settings/settings_folder.h"

namespace torvo {

// Copies the block into the memory shared with the suite's other programs
// (under the share mutex). False when nothing was copied.
class ConfigPublisher {
 public:
  virtual ~ConfigPublisher() = default;
  virtual bool Publish(const ConfigBlock& block) = 0;
};

class SettingsStore {
 public:
  // Posted to the configurator after SaveActiveProfile.

  SettingsStore(const SettingsEnvironment& env, ConfigPublisher& publisher, Desktop& desktop,
                DefaultProfileNameSource defaultProfileName);
  SettingsStore(const SettingsStore&) = delete;
  SettingsStore& operator=(const SettingsStore&) = delete;

  // Start-up: presets activeSlot to -1, loads Config.data and SoftWare.data
  // and binds `libraryProfile`. Afterwards activeSlot is within 0..3. A file
  // that exists but could not be read is not written for the rest of the
  // run, or, for Config.data, until the configurator hands the settings
  // over (see KeepsConfigFile).
  void Load();

  // The slot of `config` that activeSlot names (slot 0 while it is out of
  // range).
  ProfileRecord& ActiveProfile();

  // The library record that the active slot's libraryIndex names, or null
  // when the library has no such position.
  ProfileRecord* BoundLibraryRecord();

  // After a change of the active slot's selection: publishes the block,
  // copies the active slot onto its bound library record (not while defaults
  // stand in for Config.data), saves Config.data and SoftWare.data and tells
  // the configurator (1254).
  void SaveActiveProfile();
  // SaveActiveProfile in its parts, for a caller that publishes the block
  // itself (and may have to wait for the share mutex first): the bound
  // library record and both files, then the notice to the configurator.
  void SaveActiveProfileFiles();
  void AnnounceSavedProfile();

  // Config.data alone (after device events that change the block). False
  // when it was not written now (skipped, or waiting to be retried).
  bool SaveConfig();

  // True when Config.data (SoftWare.data) existed but could not be read by
  // Load: memory then holds defaults, not the file's content, and every
  // later save of that file is skipped with a trace, so that the user's file
  // is never replaced by defaults; while Config.data is kept, the active
  // slot is not copied onto its library record either. SoftWare.data is kept
  // for the rest of the run; Config.data until SettingsHandedOver.
  bool KeepsConfigFile() const { return keepConfigFile_; }
  bool KeepsLibraryFile() const { return keepLibraryFile_; }
  // The configurator's block was adopted whole: the settings in memory are
  // the user's again, and Config.data and the bound record are saved again.
  void SettingsHandedOver();

  // Saves that could not replace their file when they were made (another
  // program had it open) wait, the newest content of each file only (see
  // PendingSaves). The owner retries them on a timer while any waits, and
  // once more at exit, where what still cannot be written is traced.
  bool SavesPending() const { return saves_.AnyPending(); }
  void RetryPendingSaves() { saves_.Retry(); }
  void FinishSavesAtExit() { saves_.FinishAtExit(); }

  const SettingsEnvironment& Environment() const { return env_; }

  // The working copy; written on the UI thread only.
  ConfigBlock config{};
  // Owned for the life of the process; records never move.
  ProfileLibrary profileLibrary;
  // Points into profileLibrary, or null.
  ProfileRecord* libraryProfile = nullptr;

 private:
  // SoftWare.data with every library record, unless the file is kept.
  bool SaveLibrary();

  SettingsEnvironment env_;
  PendingSaves saves_{env_.fileSystem};
  ConfigPublisher& publisher_;
  Desktop& desktop_;
  DefaultProfileNameSource defaultProfileName_;
  bool keepConfigFile_ = false;
  bool keepLibraryFile_ = false;
};

}  // namespace torvo
