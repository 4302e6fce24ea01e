// Arbitrary bytes as Config.data and as SoftWare.data, through loading,
// validation and saving on the in-memory disk. The saved files must be the
// exact images of what was loaded, and the block must end with a valid slot.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

#include "../native/fakes.h"
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
  files.files[kFolder + u"Config.data"] = input;
  files.files[kFolder + u"SoftWare.data"] = input;
  // The first byte, when present, picks a step that fails, so that failing
  // reads and writes are exercised too.
  if (size > 0 && (data[0] & 0x80) != 0) files.FailStep(data[0] & 0x1F);

  fakes::RecordingPublisher publisher;
  fakes::RecordingDesktop desktop;
  desktop.windows[u"Vistrane"] = 1;
  fakes::TraceRecorder traces;
  auto store = std::make_unique<SettingsStore>(
      env, publisher, desktop, [] { return std::optional<std::u16string>(u"Default"); });
  store->Load();

  // Validation: whatever the files held, the slot is in range and the bound
  // record, if any, belongs to the library.
  Check(store->config.header.activeSlot >= 0 && store->config.header.activeSlot < 4);
  if (store->libraryProfile != nullptr) {
    bool found = false;
    for (const auto& record : store->profileLibrary) found |= record.get() == store->libraryProfile;
    Check(found);
  }

  // The block carries the file's bytes, laid over the defaults when short;
  // a failed read gives the defaults.
  auto expected = std::make_unique<ConfigBlock>();
  MakeDefaultBlock(*expected);
  auto* expectedBytes = reinterpret_cast<std::uint8_t*>(expected.get());
  if (!traces.Contains(u"Config.data could not be read; the default settings are used\n")) {
    std::memcpy(expectedBytes, data, std::min(size, torvo::kConfigBlockSize));
    ValidateActiveSlot(expected->header);
  }
  const auto* block = reinterpret_cast<const std::uint8_t*>(&store->config);
  Check(std::memcmp(block, expectedBytes, torvo::kConfigBlockSize) == 0);

  // Saving writes exactly what is in memory.
  files = fakes::FakeFileSystem();
  files.directories.insert(kFolder.substr(0, kFolder.size() - 1));
  store->config.slots[store->config.header.activeSlot].selectedFunction =
      static_cast<std::uint8_t>(1 + size % 8);
  store->SaveActiveProfile();
  const Bytes& config = files.files[kFolder + u"Config.data"];
  Check(config.size() == torvo::kConfigBlockSize);
  Check(std::memcmp(config.data(), block, config.size()) == 0);
  const Bytes& library = files.files[kFolder + u"SoftWare.data"];
  Check(library.size() == store->profileLibrary.size() * torvo::kProfileRecordSize);
  for (std::size_t i = 0; i < store->profileLibrary.size(); ++i) {
    Check(std::memcmp(library.data() + i * torvo::kProfileRecordSize,
                      store->profileLibrary[i].get(), torvo::kProfileRecordSize) == 0);
  }
  Check(files.files.size() == 2);  // no temporary file left

  // And loading what was saved gives the same block back.
  auto again = std::make_unique<ConfigBlock>();
  LoadConfig(env, *again);
  Check(std::memcmp(again.get(), block, torvo::kConfigBlockSize) == 0);

  // A save that fails at some step leaves the previous file whole.
  const Bytes before = config;
  files.FailStep(files.steps() + (size > 1 ? data[1] % 4 : 0));
  store->config.header.word1 ^= 1;
  store->SaveConfig();
  const Bytes& after = files.files[kFolder + u"Config.data"];
  Check(after.size() == torvo::kConfigBlockSize);
  Check(after == before || std::memcmp(after.data(), block, torvo::kConfigBlockSize) == 0);
  Check(!files.HasFile(kFolder + u"Config.data.tmp"));
  return 0;
}
