// A shared block written by another program and a run of device events,
// dial clicks, applies and foreground checks, all from arbitrary bytes,
// through the main window's core on fakes. Nothing may read outside a record
// (labels and paths without terminator, slots and functions out of range),
// and the working block must keep an active slot within 0..3.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window_core.h"
#include "common/file_system.h"
#include "core_rig.h"
#include "fakes.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// A disk that keeps nothing: this target saves Config.data after most
// events, and keeping 84 KB at every save would be most of its time. The
// files are read only at start, before anything is written, and then are
// missing, as on a first start.
class ForgetfulFileSystem final : public torvo::FileSystem {
 public:
  torvo::ReadResult ReadFile(const std::u16string&, std::size_t,
                             std::vector<std::uint8_t>& out) override {
    out.clear();
    return torvo::ReadResult::kNotFound;
  }
  torvo::ReadResult OpenFileForReading(const std::u16string&,
                                       std::unique_ptr<torvo::FileReader>& reader) override {
    reader.reset();
    return torvo::ReadResult::kNotFound;
  }
  bool WriteFileDurably(const std::u16string&, torvo::FilePieces) override { return true; }
  bool MoveFileOver(const std::u16string&, const std::u16string&) override { return true; }
  bool RemoveFile(const std::u16string&) override { return true; }
  bool DirectoryExists(const std::u16string&) override { return true; }
  bool CreateFolder(const std::u16string&) override { return true; }
};

struct Reader {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t at = 0;
  bool More() const { return at < size; }
  std::uint8_t Byte() { return at < size ? data[at++] : 0; }
  std::uint32_t Word() {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = (value << 8) | Byte();
    return value;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace torvo;
  ForgetfulFileSystem files;
  fakes::FakeUserFolders folders;
  SettingsEnvironment env{files, folders};
  fakes::CoreRig rig(env);
  rig.desktop.windows[kConfiguratorTitle] = 1;
  rig.desktop.windows[kOsdTitle] = 2;
  rig.flags.devicePresence = kDevicePresent;
  // The block other programs wrote: the input repeated over its bytes.
  if (size == 0) return 0;
  auto* block = reinterpret_cast<std::uint8_t*>(rig.shared.shared.get());
  // Copied in pieces: a loop over each byte would spend most of the run in
  // the fuzzer's comparison tracing.
  for (std::size_t i = 0; i < kConfigBlockSize; i += size) {
    std::memcpy(block + i, data, std::min(size, kConfigBlockSize - i));
  }
  rig.settings.Load();
  MainWindowCore& core = rig.core;
  core.SetOsdDataPath(u"C:\\osd.data");

  core.AdoptChangedSettings();
  Reader in{data, size};
  for (int step = 0; in.More() && step < 64; ++step) {
    switch (in.Byte() % 7) {
      case 0:
        core.HandleDeviceEvent(in.Word());
        break;
      case 1:
        core.ToggleDial();
        break;
      case 2:
        core.HideDial();
        break;
      case 3:
        core.CommitDialFunction(static_cast<std::int8_t>(in.Byte()));
        break;
      case 4:
        core.ApplyAllSetting(in.Byte());
        break;
      case 5: {
        std::u16string name;
        for (int i = in.Byte() % 12; i > 0; --i) name.push_back(static_cast<char16_t>(in.Byte()));
        core.FollowForegroundApplication(name);
        break;
      }
      default:
        core.AdoptChangedSettings();
        break;
    }
    const int slot = rig.settings.config.header.activeSlot;
    Check(slot >= 0 && slot < 4);
    Check(rig.dial.dialShown == 0 || rig.dial.dialShown == 1);
    Check(rig.dial.previewMode == 0 || rig.dial.previewMode == 1);
  }
  return 0;
}
