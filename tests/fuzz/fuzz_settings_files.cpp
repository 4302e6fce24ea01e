// Arbitrary bytes as Config.data and as SoftWare.data, through loading,
// validation and saving on the in-memory disk. The saved files must be the
// exact images of what was loaded, the block must end with a valid slot, and
// a file that could not be read must never be written over.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

#include "fakes.h"
#include "settings/config_file.h"
#include "settings/profile_library.h"
#include "settings/settings_model.h"
#include "settings/settings_store.h"

namespace {

using torvo::fakes::Bytes;

const std::u16string kFolder = u"C:\\Users\\kim\\AppData\\Roaming\\Vistrane\\";

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace torvo;
  const Bytes input(data, data + size);

  fakes::FakeFileSystem files;
  fakes::FakeUserFolders folders;
  SettingsEnvironment env{files, folders};
  const std::u16string configPath = kFolder + u"Config.data";
  const std::u16string libraryPath = kFolder + u"SoftWare.data";
  files.files[configPath] = input;
  files.files[libraryPath] = input;
  // The first byte, when present, picks a step that fails, so that failing
  // reads and writes are exercised too, and may make either file missing or
  // present but unreadable.
  if (size > 0 && (data[0] & 0x80) != 0) files.FailStep(data[0] & 0x1F);
  if (size > 0 && (data[0] & 0x60) == 0x20) files.unreadable.insert(configPath);
  if (size > 0 && (data[0] & 0x60) == 0x40) files.unreadable.insert(libraryPath);
  if (size > 0 && (data[0] & 0x60) == 0x60)
    files.files.erase(data[0] & 1 ? configPath : libraryPath);
  const auto onDisk = files.files;

  fakes::RecordingPublisher publisher;
  fakes::RecordingDesktop desktop;
  desktop.windows[u"Vistrane"] = 1;
  fakes::TraceRecorder traces;
  auto store = std::make_unique<SettingsStore>(
      env, publisher, desktop, [] { return std::optional<std::u16string>(u"Default"); });
  store->Load();

  // A file that could not be read is exactly as it was.
  auto unchanged = [&](const std::u16string& path) {
    const auto now = files.files.find(path);
    const auto was = onDisk.find(path);
    if (now == files.files.end() || was == onDisk.end()) {
      return now == files.files.end() && was == onDisk.end();
    }
    return now->second == was->second;
  };
  if (store->KeepsConfigFile()) Check(unchanged(configPath));
  if (store->KeepsLibraryFile()) Check(unchanged(libraryPath));
  Check(!files.HasFile(configPath + u".tmp") && !files.HasFile(libraryPath + u".tmp"));

  // Validation: whatever the files held, the slot is in range and the bound
  // record, if any, belongs to the library.
  Check(store->config.header.activeSlot >= 0 && store->config.header.activeSlot < 4);
  if (store->libraryProfile != nullptr) {
    bool found = false;
    for (const auto& record : store->profileLibrary) found |= record.get() == store->libraryProfile;
    Check(found);
  }

  // The block carries the file's bytes, laid over the defaults when short;
  // a missing or unreadable file gives the defaults.
  auto expected = std::make_unique<ConfigBlock>();
  MakeDefaultBlock(*expected);
  auto* expectedBytes = reinterpret_cast<std::uint8_t*>(expected.get());
  const bool configDefaults =
      traces.Contains(u"Config.data not found; the default settings are used and saved\n") ||
      traces.Contains(
          u"Config.data could not be read; the default settings are used and the file is kept\n");
  Check(configDefaults == (store->KeepsConfigFile() || onDisk.count(configPath) == 0));
  if (!configDefaults) {
    std::memcpy(expectedBytes, data, std::min(size, torvo::kConfigBlockSize));
    ValidateActiveSlot(expected->header);
  }
  const auto* block = reinterpret_cast<const std::uint8_t*>(&store->config);
  Check(std::memcmp(block, expectedBytes, torvo::kConfigBlockSize) == 0);

  // Saving writes exactly what is in memory, except over a file that could
  // not be read at start, which stays as it is (here: absent).
  files = fakes::FakeFileSystem();
  files.directories.insert(kFolder.substr(0, kFolder.size() - 1));
  store->config.slots[store->config.header.activeSlot].selectedFunction =
      static_cast<std::uint8_t>(1 + size % 8);
  store->SaveActiveProfile();
  Check(files.HasFile(configPath) != store->KeepsConfigFile());
  Check(files.HasFile(libraryPath) != store->KeepsLibraryFile());
  Check(files.files.size() ==
        static_cast<std::size_t>(!store->KeepsConfigFile() + !store->KeepsLibraryFile()));
  if (!store->KeepsLibraryFile()) {
    const Bytes& library = files.files[libraryPath];
    Check(library.size() == store->profileLibrary.size() * torvo::kProfileRecordSize);
    for (std::size_t i = 0; i < store->profileLibrary.size(); ++i) {
      Check(std::memcmp(library.data() + i * torvo::kProfileRecordSize,
                        store->profileLibrary[i].get(), torvo::kProfileRecordSize) == 0);
    }
  }
  if (store->KeepsConfigFile()) return 0;
  const Bytes& config = files.files[configPath];
  Check(config.size() == torvo::kConfigBlockSize);
  Check(std::memcmp(config.data(), block, config.size()) == 0);

  // And loading what was saved gives the same block back.
  auto again = std::make_unique<ConfigBlock>();
  LoadConfig(env, *again);
  Check(std::memcmp(again.get(), block, torvo::kConfigBlockSize) == 0);

  // A save that fails at some step leaves the previous file whole; it waits
  // and lands at the next retry, leaving no temporary file behind.
  const Bytes before = config;
  files.FailStep(files.steps() + (size > 1 ? data[1] % 4 : 0));
  store->config.header.word1 ^= 1;
  store->SaveConfig();
  const Bytes& after = files.files[configPath];
  Check(after.size() == torvo::kConfigBlockSize);
  Check(after == before || std::memcmp(after.data(), block, torvo::kConfigBlockSize) == 0);
  store->RetryPendingSaves();
  Check(!store->SavesPending());
  Check(std::memcmp(files.files[configPath].data(), block, torvo::kConfigBlockSize) == 0);
  Check(!files.HasFile(configPath + u".tmp"));
  return 0;
}
